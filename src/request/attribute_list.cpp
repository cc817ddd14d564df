#include "request/attribute_list.h"

#include "text/text.h"
#include "text/tokenizer.h"

namespace orvane::request {
namespace {

constexpr char16_t kQuote = u'"';
constexpr char16_t kUnstructuredName[] = u"1.2.840.113549.1.9.2";

std::u16string Unescape(const std::u16string& value) {
  std::u16string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    out.push_back(value[i]);
    if (value[i] == kQuote && i + 1 < value.size() && value[i + 1] == kQuote) ++i;
  }
  if (out.size() >= 2 && out.front() == kQuote && out.back() == kQuote) out = out.substr(1, out.size() - 2);
  return out;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// "#" followed by the hexadecimal digits of one DER element: its content as UTF-8 text.
// The declared length is never allowed to run past the bytes given.
std::optional<std::u16string> DecodeHexValue(const std::u16string& value) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 1; i + 1 < value.size(); i += 2) {
    const int hi = HexDigit(value[i]);
    const int lo = HexDigit(value[i + 1]);
    if (hi < 0 || lo < 0) break;
    bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
  }
  if (bytes.size() < 2) return std::nullopt;
  std::size_t pos = 1;
  std::size_t length = bytes[pos++];
  if (length & 0x80) {
    const std::size_t count = length & 0x03;
    length = 0;
    for (std::size_t k = 0; k < count; ++k) {
      if (pos >= bytes.size()) return std::nullopt;
      length = (length << 8) | bytes[pos++];
    }
  }
  if (length == 0 || length > bytes.size() - pos) return std::nullopt;
  auto decoded = text::Utf8ToUtf16(reinterpret_cast<const char*>(bytes.data() + pos), length);
  if (!decoded || decoded->empty()) return std::nullopt;
  return decoded;
}

}  // namespace

std::optional<AttributeList> ParseAttributeList(const std::optional<std::u16string>& textIn) {
  if (!textIn) return std::nullopt;
  AttributeList list;
  text::WideTokenizer tokens(*textIn, u",", kQuote, 1);
  while (auto token = tokens.NextToken()) {
    const auto eq = token->find(u'=');
    if (eq == std::u16string::npos) continue;
    auto entry = std::make_shared<tripleValueWide>();
    entry->oid = text::TrimSpaces(std::u16string_view(*token).substr(0, eq));
    entry->value = Unescape(text::TrimSpaces(std::u16string_view(*token).substr(eq + 1)));
    if (entry->oid == kUnstructuredName && !entry->value.empty() && entry->value.front() == u'#') {
      entry->display = DecodeHexValue(entry->value);
    } else {
      entry->display = entry->value;
    }
    list.push_back(std::move(entry));
  }
  return list;
}

}  // namespace orvane::request
