#include "carriers/token_info.h"

namespace orvane::carriers {
std::u16string DisplayText(const std::optional<std::u16string>& model, const std::optional<std::u16string>& serial,
                           const std::optional<std::u16string>& reader) {
  if (!serial) return reader.value_or(std::u16string());
  std::u16string result = model.value_or(std::u16string());
  result += u' ';
  result += *serial;
  for (char16_t& c : result) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
  }
  return result;
}

void tokenInfo::BuildDisplay() {
  display = DisplayText(model, serial, reader);
}

}  // namespace orvane::carriers
