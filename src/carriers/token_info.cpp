#include "carriers/token_info.h"

namespace orvane::carriers {
namespace {

char16_t FoldCase(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);  // А-Я
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);  // Ѐ-Џ (Ё among them)
  return c;
}

}  // namespace

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

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  if (bytes == nullptr) return out;
  out.reserve(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

}  // namespace orvane::carriers
