#include "wizard/carrier_panel.h"

#include "text/text.h"

namespace orvane::wizard {

void CarrierPanel::FillCarrierList(const std::vector<std::shared_ptr<carriers::SCardItem>>* readers,
                                   const std::optional<std::u16string>& preferredReader, bool blockOperatorCarrier,
                                   const std::optional<csp::keyLocation>& operatorKey) {
  items.clear();
  int chosen = 0;
  if (readers != nullptr) {
    for (const auto& item : *readers) {
      if (!item || !item->cardPresent || !item->token) continue;
      if (blockOperatorCarrier && operatorKey && text::EqualsIgnoreCase(item->reader, operatorKey->readerName)) {
        continue;
      }
      if (preferredReader && item->token->reader && *preferredReader == *item->token->reader) {
        chosen = static_cast<int>(items.size());
      }
      items.push_back(item->token->display);
    }
  }
  if (items.empty()) {
    selection = -1;
    ShowCarrier(readers, -1);
  } else {
    selection = chosen;
    ShowCarrier(readers, chosen);
  }
}

void CarrierPanel::ShowCarrier(const std::vector<std::shared_ptr<carriers::SCardItem>>* readers, int position) {
  if (readers == nullptr) {
    carrier.reset();
    return;
  }
  if (position < 0 || position >= static_cast<int>(items.size())) {
    for (auto& line : lines) line = PanelLine{};
    lines[4] = PanelLine{u"Вставьте ключевой носитель", kPanelRed};
    carrier.reset();
    createEnabled = false;
    getEnabled = false;
    return;
  }
  const std::u16string& text = items[static_cast<std::size_t>(position)];
  std::shared_ptr<carriers::SCardItem> found;
  for (const auto& item : *readers) {
    if (item && item->token && item->token->display == text) {
      found = item;
      break;
    }
  }
  if (!found) {
    carrier.reset();
    createEnabled = false;
    getEnabled = false;
    return;
  }
  auto copy = std::make_shared<carriers::tokenInfo>(*found->token);  // deep copy: strings are values
  const auto or_empty = [](const std::optional<std::u16string>& s) { return s.value_or(std::u16string()); };
  lines[0] = PanelLine{u"Тип: " + or_empty(copy->model), kPanelGrey};
  lines[1] = PanelLine{u"Метка: " + or_empty(copy->label), kPanelGrey};
  lines[2] = PanelLine{u"Серийный номер: " + or_empty(copy->serial), kPanelGrey};
  lines[3] = PanelLine{copy->freeMemory == -1
                           ? std::u16string(u"Доступная память: неизвестно")
                           : u"Доступная память: " + text::FromUtf8(std::to_string(copy->freeMemory)) + u" байт",
                       kPanelGrey};
  const bool enough = copy->freeMemory == -1 || copy->freeMemory >= kMinimumFreeMemory;
  if (enough) {
    lines[4] = PanelLine{u"Состояние: ОК", kPanelGrey};
  } else {
    lines[4] = PanelLine{u"Недостаточно памяти", kPanelRed};
    lines[3].colour = kPanelRed;
  }
  createEnabled = enough;
  getEnabled = true;
  carrier = std::move(copy);
}

}  // namespace orvane::wizard
