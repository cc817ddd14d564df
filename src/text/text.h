// Text and encoding utilities: UTF-16 <-> UTF-8, UTF-16 <-> Windows-1251, Base64,
// percent-decoding, trimming and prefix tests. Pure functions; each returns a new
// string owned by the caller, or std::nullopt where the input is absent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::text {

// Every unit is encoded on its own (surrogates are not combined): 1, 2 or 3 bytes per unit.
// None when the input is absent or the count is 0.
std::optional<std::string> Utf16ToUtf8(const char16_t* units, std::size_t count);
inline std::optional<std::string> Utf16ToUtf8(std::u16string_view s) {
  return Utf16ToUtf8(s.data(), s.size());
}

// One unit per 1-, 2- or 3-byte sequence, without validation; a sequence that would run past
// the end stops the output. length 0 means "up to the first NUL". None when the input is absent.
std::optional<std::u16string> Utf8ToUtf16(const char* bytes, std::size_t length);
inline std::optional<std::u16string> Utf8ToUtf16(std::string_view s) {
  if (s.data() == nullptr) return std::nullopt;
  if (s.empty()) return std::u16string();
  return Utf8ToUtf16(s.data(), s.size());
}

// Units below 0x100 become their low byte; others are looked up in the Windows-1251 table,
// "?" when missing. Exactly count bytes. None when the input is absent or the count is 0.
std::optional<std::string> WideToCp1251(const char16_t* units, std::size_t count);
inline std::optional<std::string> WideToCp1251(std::u16string_view s) {
  return WideToCp1251(s.data(), s.size());
}

// As WideToCp1251 over big-endian UTF-16 (ASN.1 BMPString contents); count is in units.
std::optional<std::string> BmpStringToCp1251(const std::uint8_t* bigEndianUnits, std::size_t count);

// Windows-1251 to UTF-16 (0x98 becomes U+FFFD). The pointer form stops at the first NUL.
// None when the input is absent or empty.
std::optional<std::u16string> Cp1251ToWide(const char* text);
std::optional<std::u16string> Cp1251ToWide(std::string_view text);

// The UTF-16 character of a Windows-1251 byte.
char16_t Cp1251Char(unsigned char byte);

// Drops trailing characters with codes 0-32 and leading ones with codes 1-32. The text ends
// at its first NUL, as a C string would.
std::u16string TrimSpaces(std::u16string_view text);
std::string TrimSpaces(std::string_view text);

// RFC 4648 Base64 without line breaks; empty text for 0 bytes.
std::string Base64Encode(const std::uint8_t* bytes, std::size_t count);
inline std::string Base64Encode(const std::vector<std::uint8_t>& bytes) {
  return Base64Encode(bytes.data(), bytes.size());
}

// Characters outside the alphabet ("=", blanks, CR, LF, ...) are skipped. A trailing group
// of 2 or 3 characters gives 1 or 2 bytes, a single character nothing.
// None when the text is absent or empty.
std::optional<std::vector<std::uint8_t>> Base64Decode(const char* text);
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

// Every byte that keep(byte, index) refuses becomes "%" and two upper-case hexadecimal
// digits; the others stay.
std::string PercentEncode(std::string_view bytes, bool (*keep)(unsigned char c, std::size_t index));

// "%" and two hexadecimal digits (either case) become one byte; any other "%" stays; "+" stays.
std::optional<std::string> PercentDecode(const char* text);

// Case-sensitive prefix test; false when either side is absent or the text is shorter.
bool StartsWith(const char* text, const char* prefix);
bool StartsWith(const char16_t* text, const char16_t* prefix);
inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.starts_with(prefix);
}
inline bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.starts_with(prefix);
}

// Two hexadecimal digits per byte, the separator between bytes ("3B8B01", "3b 8b 01").
// Empty for no bytes.
std::string HexUpper(const std::uint8_t* bytes, std::size_t count, std::string_view separator = {});
std::string HexLower(const std::uint8_t* bytes, std::size_t count, std::string_view separator = {});

// Well-formed UTF-8: no stray continuation bytes, no truncated or overlong sequences, no
// surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Equality ignoring the case of ASCII letters (narrow text), and of ASCII and Cyrillic
// letters (wide text: А-Я, Ѐ-Џ fold to their lower-case forms).
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// Convenience for literals and logs: UTF-8 of wide text, "" for empty, never none.
std::string ToUtf8(std::u16string_view s);
std::u16string FromUtf8(std::string_view s);

}  // namespace orvane::text
