#include "carriers/scard_list.h"

#include <algorithm>
#include <utility>

namespace orvane::carriers {

namespace pcsc = platform::pcsc;
using platform::PcscContextHandle;

SCardList::SCardList(CarrierServices services) : services_(std::move(services)) {
  services_.driverOffers = &offers_;
}

std::optional<SCardList::ReaderReading> SCardList::QueryReader(PcscContextHandle context,
                                                               const std::u16string& reader) const {
  platform::PcscReaderState state;
  state.reader = reader;
  state.currentState = pcsc::kStateUnaware;
  if (services_.pcsc->GetStatusChange(context, 0, std::span(&state, 1)) != pcsc::kSuccess) return std::nullopt;
  ReaderReading reading;
  reading.present = (state.eventState & pcsc::kStatePresent) != 0;
  reading.atr = std::move(state.atr);
  reading.events = state.eventState >> 16;
  return reading;
}

void SCardList::StoreState(SCardItem& item, const ReaderReading& reading) {
  item.cardPresent = reading.present;
  item.events = reading.events;
  if (reading.present) {
    item.atrLength = static_cast<std::uint32_t>(std::min(reading.atr.size(), kMaxAtrLength));
    std::copy_n(reading.atr.begin(), item.atrLength, item.atr.begin());
  } else {
    item.atrLength = 0;  // the old ATR bytes stay, as the reader-state query leaves them
  }
}

bool SCardList::Unchanged(const SCardItem& item, const ReaderReading& reading) {
  if (item.cardPresent != reading.present) return false;
  if (!reading.present) return true;
  const std::size_t length = std::min(reading.atr.size(), kMaxAtrLength);
  return item.events == reading.events && item.atrLength == length &&
         std::equal(reading.atr.begin(), reading.atr.begin() + static_cast<std::ptrdiff_t>(length), item.atr.begin());
}

std::optional<tokenInfo> SCardList::Identify(const SCardItem& item) {
  return IdentifyCarrier(&item, services_);
}

void SCardList::Rebuild(PcscContextHandle context) {
  if (context == 0) {
    count_ = 0;
    return;
  }
  std::vector<std::u16string> readers;
  if (services_.pcsc->ListReaders(context, &readers) != pcsc::kSuccess || readers.empty()) {
    count_ = 0;
    return;
  }
  if (items_) {
    items_->clear();
  } else {
    items_.emplace();
  }
  for (const auto& name : readers) {
    const auto reading = QueryReader(context, name);
    if (!reading) continue;
    auto item = std::make_shared<SCardItem>();
    item->reader = name;
    StoreState(*item, *reading);
    if (reading->present) item->token = Identify(*item);
    items_->push_back(std::move(item));
  }
  count_ = static_cast<std::uint32_t>(items_->size());
}

std::optional<SCardChange> SCardList::Poll() {
  platform::ScopedPcscContext context(*services_.pcsc, pcsc::kScopeUser);
  if (!context) return std::nullopt;
  std::vector<std::u16string> readers;
  if (services_.pcsc->ListReaders(context.get(), &readers) != pcsc::kSuccess || readers.empty()) return std::nullopt;

  // Offers gathered by earlier calls stay for their own takers; this cycle reports its own.
  std::vector<std::int32_t> earlier = std::exchange(offers_, {});
  auto finish = [&](std::optional<SCardChange> change) {
    if (change) change->driverOffers = std::exchange(offers_, {});
    offers_.insert(offers_.begin(), earlier.begin(), earlier.end());
    return change;
  };

  std::uint32_t seen = 0;
  for (const auto& name : readers) {
    const auto reading = QueryReader(context.get(), name);
    if (!reading) continue;
    const auto item = Find(&name);
    if (item && Unchanged(*item, *reading)) {
      ++seen;
      continue;
    }
    if (item) {
      StoreState(*item, *reading);
      item->token.reset();
      item->token = Identify(*item);
      SCardChange change;
      if (reading->present) change.reader = name;
      return finish(change);
    }
    if (reading->present) {
      SCardChange change;
      change.reader = name;
      Rebuild(context.get());
      return finish(change);
    }
    ++seen;
  }
  if (seen < count_) {
    Rebuild(context.get());
    return finish(SCardChange{});
  }
  return finish(std::nullopt);
}

std::shared_ptr<SCardItem> SCardList::Find(const std::u16string* reader) const {
  if (reader == nullptr || !items_) return nullptr;
  for (const auto& item : *items_) {
    if (item->reader == *reader) return item;
  }
  return nullptr;
}

void SCardList::RefreshReader(const std::u16string& reader) {
  platform::ScopedPcscContext context(*services_.pcsc, pcsc::kScopeUser);
  if (!context) return;
  const auto reading = QueryReader(context.get(), reader);
  if (!reading) return;
  const auto item = Find(&reader);
  if (!item) return;
  StoreState(*item, *reading);
  item->token.reset();
  item->token = Identify(*item);
}

std::vector<std::int32_t> SCardList::TakeDriverOffers() {
  return std::exchange(offers_, {});
}

}  // namespace orvane::carriers
