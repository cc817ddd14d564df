// The text codecs: UTF-8 <-> UTF-16, Windows-1251 <-> UTF-16, BMPString, Base64, percent
// encoding, hexadecimal, trimming, prefix and case-insensitive comparison. The input is
// taken as bytes (UTF-8, Windows-1251, Base64 or percent-encoded text) and, pairwise, as
// UTF-16 units.
//
// Checked besides memory safety, as round trips and against an independent reading:
//  - UTF-16 -> UTF-8 -> UTF-16 gives the units back;
//  - Windows-1251 -> UTF-16 -> Windows-1251 gives the bytes back, and UTF-16 made only of
//    Windows-1251 characters survives the other way round;
//  - BMPString conversion agrees with the conversion of the same units;
//  - Base64 and percent encoding decode to what was encoded;
//  - the UTF-8 validity test agrees with a straightforward RFC 3629 reading, and valid UTF-8
//    of the Basic Multilingual Plane survives UTF-8 -> UTF-16 -> UTF-8;
//  - trimming is idempotent and leaves no blank or control character at either end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/fuzz_env.h"
#include "text/text.h"

using namespace orvane;

namespace {

// RFC 3629: the well-formed byte sequences of UTF-8 (table 3-7 of the Unicode standard).
// bmpOnly is cleared when a four-byte sequence is met.
bool ReferenceUtf8(std::string_view s, bool& bmpOnly) {
  bmpOnly = true;
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const auto in = [](unsigned char c, unsigned char lo, unsigned char hi) { return c >= lo && c <= hi; };
  while (i < s.size()) {
    const unsigned char c = at(i);
    if (c <= 0x7F) {
      i += 1;
    } else if (in(c, 0xC2, 0xDF)) {
      if (i + 1 >= s.size() || !in(at(i + 1), 0x80, 0xBF)) return false;
      i += 2;
    } else if (in(c, 0xE0, 0xEF)) {
      if (i + 2 >= s.size()) return false;
      const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
      const unsigned char hi = c == 0xED ? 0x9F : 0xBF;
      if (!in(at(i + 1), lo, hi) || !in(at(i + 2), 0x80, 0xBF)) return false;
      i += 3;
    } else if (in(c, 0xF0, 0xF4)) {
      if (i + 3 >= s.size()) return false;
      const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
      const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;
      if (!in(at(i + 1), lo, hi) || !in(at(i + 2), 0x80, 0xBF) || !in(at(i + 3), 0x80, 0xBF)) return false;
      bmpOnly = false;
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

bool IsCp1251Character(char16_t u) {
  if (u < 0x80) return true;
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (text::Cp1251Char(static_cast<unsigned char>(b)) == u) return true;
  }
  return false;
}

template <typename String>
void CheckTrimmed(const String& trimmed, const char* what) {
  if (!trimmed.empty()) {
    const auto front =
        static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<typename String::value_type>>(trimmed.front()));
    const auto back =
        static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<typename String::value_type>>(trimmed.back()));
    if (front <= 32 || back <= 32) fuzz::Finding(what, "blank or control character left at an end");
  }
  if (trimmed.find(typename String::value_type(0)) != String::npos) fuzz::Finding(what, "NUL left in trimmed text");
  if (text::TrimSpaces(trimmed) != trimmed) fuzz::Finding(what, "trimming is not idempotent");
}

void Bytes(std::string_view bytes) {
  // UTF-8 validity against the reference, and the BMP round trip.
  bool bmpOnly = true;
  const bool valid = ReferenceUtf8(bytes, bmpOnly);
  if (text::IsValidUtf8(bytes) != valid) fuzz::Finding("IsValidUtf8 disagrees with RFC 3629", bytes);
  const std::u16string wide = text::FromUtf8(bytes);
  if (valid && bmpOnly && text::ToUtf8(wide) != bytes) fuzz::Finding("valid UTF-8 changed by UTF-16 and back", bytes);

  // Windows-1251 round trip over every byte value.
  if (!bytes.empty()) {
    const auto w = text::Cp1251ToWide(bytes);
    if (!w || w->size() != bytes.size()) fuzz::Finding("Windows-1251 text of another length");
    const auto back = text::WideToCp1251(*w);
    if (!back || *back != bytes) fuzz::Finding("Windows-1251 changed by UTF-16 and back", bytes);
  }

  // Base64 of the bytes decodes to them; the text itself decodes without trouble.
  if (!bytes.empty()) {
    const auto* raw = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::string b64 = text::Base64Encode(raw, bytes.size());
    const auto decoded = text::Base64Decode(b64);
    if (!decoded || std::string_view(reinterpret_cast<const char*>(decoded->data()), decoded->size()) != bytes) {
      fuzz::Finding("Base64 does not decode to what was encoded");
    }
  }
  (void)text::Base64Decode(bytes);

  // Percent encoding, of everything and of the reserved bytes only.
  const std::string all = text::PercentEncode(bytes, [](unsigned char, std::size_t) { return false; });
  const auto allBack = text::PercentDecode(all.c_str());
  if (!allBack || *allBack != bytes) fuzz::Finding("percent encoding does not decode to what was encoded");
  const std::string some = text::PercentEncode(bytes, [](unsigned char c, std::size_t) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' ||
           c == '_' || c == '~';
  });
  const auto someBack = text::PercentDecode(some.c_str());
  if (!someBack || *someBack != bytes) fuzz::Finding("percent encoding does not decode to what was encoded");
  const std::string asText(bytes);
  (void)text::PercentDecode(asText.c_str());

  // Hexadecimal.
  const auto* raw = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::string hex = text::HexUpper(raw, bytes.size(), " ");
  if (hex.size() != (bytes.empty() ? 0 : 3 * bytes.size() - 1)) fuzz::Finding("hexadecimal text of another length");
  (void)text::HexLower(raw, bytes.size());

  CheckTrimmed(text::TrimSpaces(bytes), "narrow trim");
  (void)text::Cp1251ToWide(asText.c_str());
  (void)text::StartsWith(asText.c_str(), "CorrelationId=");

  const auto half = bytes.substr(0, bytes.size() / 2);
  if (text::EqualsIgnoreCase(half, bytes.substr(bytes.size() / 2)) !=
      text::EqualsIgnoreCase(bytes.substr(bytes.size() / 2), half)) {
    fuzz::Finding("case-insensitive comparison is not symmetric");
  }
  if (!text::EqualsIgnoreCase(bytes, bytes)) fuzz::Finding("case-insensitive comparison is not reflexive");
}

void Units(std::u16string_view units, const std::uint8_t* bigEndian) {
  if (units.empty()) return;
  // Every unit is encoded on its own, so any units come back from UTF-8.
  const auto utf8 = text::Utf16ToUtf8(units);
  if (!utf8) fuzz::Finding("UTF-16 without its UTF-8");
  const auto back = text::Utf8ToUtf16(utf8->data(), utf8->size());
  if (!back || *back != units) fuzz::Finding("UTF-16 changed by UTF-8 and back");

  const auto cp = text::WideToCp1251(units);
  if (!cp || cp->size() != units.size()) fuzz::Finding("Windows-1251 of another length than the units");
  bool representable = true;
  for (const char16_t u : units) representable = representable && IsCp1251Character(u);
  if (representable) {
    const auto again = text::Cp1251ToWide(*cp);
    if (!again || *again != units) fuzz::Finding("Windows-1251 characters changed by Windows-1251 and back");
  }

  // The same units as a BMPString (big-endian) must convert alike.
  const auto bmp = text::BmpStringToCp1251(bigEndian, units.size());
  if (bmp != cp) fuzz::Finding("BMPString conversion differs from the conversion of the same units");

  CheckTrimmed(text::TrimSpaces(units), "wide trim");
  const auto half = units.substr(0, units.size() / 2);
  if (!text::EqualsIgnoreCase(units, units)) fuzz::Finding("wide case-insensitive comparison is not reflexive");
  if (text::EqualsIgnoreCase(half, units.substr(units.size() / 2)) !=
      text::EqualsIgnoreCase(units.substr(units.size() / 2), half)) {
    fuzz::Finding("wide case-insensitive comparison is not symmetric");
  }
  const std::u16string terminated(units);
  (void)text::StartsWith(terminated.c_str(), u"1.2.643");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  std::u16string little(size / 2, u'\0');
  std::vector<std::uint8_t> big(size / 2 * 2);
  for (std::size_t i = 0; i < little.size(); ++i) {
    little[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    big[2 * i] = data[2 * i + 1];
    big[2 * i + 1] = data[2 * i];
  }
  Units(little, big.data());
  return 0;
}
