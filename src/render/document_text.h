// The conventions shared by the request and certificate documents: windows-1251 text, the
// character-reference escaping, the three hexadecimal renderings of DER values, the reading of
// names into (OID, text) attributes, and the Russian form of certificate times.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::render {

using Bytes = std::vector<std::uint8_t>;

// The namespace of the documents; both stylesheets bind the prefix pki to it.
inline constexpr const char* kDocumentNamespace = "http://www.csp-vendor.example/2001/Schema/RU1-VED";

// One attribute of a distinguished name: its dotted OID and its value as text.
struct NameAttribute {
  std::string oid;
  std::u16string value;
};
using NameAttributes = std::vector<NameAttribute>;

// The attributes of a DER-encoded Name in encoded order (every attribute of a multi-valued
// RDN on its own). None when the bytes are not a well-formed Name.
std::optional<NameAttributes> ReadNameAttributes(std::span<const std::uint8_t> nameDer);

// The text of a DER string value by its tag: UTF8String through UTF-8, BMPString and
// UniversalString by their code units, every other type byte by byte as windows-1251.
std::u16string StringValueText(std::uint8_t tag, std::span<const std::uint8_t> contents);

// Wide text as windows-1251 ("?" for characters without a windows-1251 form).
std::string ToCp1251(std::u16string_view text);
// A UTF-8 literal of this program as windows-1251.
std::string Cp1251(std::string_view utf8);

// Escapes windows-1251 text for use between tags: " & ' < > become &#x22; &#x26; &#x27;
// &#x3C; &#x3E;. Bytes that XML cannot carry (control codes other than tab, line feed and
// carriage return, and 0x98, which windows-1251 leaves undefined) become "?".
std::string EscapeXmlText(std::string_view cp1251);
void AppendEscapedXmlText(std::string& out, std::string_view cp1251);

// H1: "tt ll" with the tag and the content length in lower-case hex, then " xx" per content
// byte. Bytes that are not one DER element are dumped byte by byte.
std::string HexDumpLower(std::span<const std::uint8_t> element);
// H2: "TTLL", then " XXXX" per pair of content bytes; a final odd byte is not written.
std::string HexPairsUpper(std::span<const std::uint8_t> element);
// H3: the last 64 bytes of a signature BIT STRING's contents (all of them when there are 64
// or fewer) in reverse order, as "XXXX " per pair.
std::string SignatureHex(std::span<const std::uint8_t> bitStringContents);
// Lower-case hex bytes separated by single spaces.
std::string HexBytesSpaced(std::span<const std::uint8_t> bytes);

struct UtcTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// "5 марта 2024 г. 09:30:00 UTC" in windows-1251; none without a time or with a month out of
// range.
std::optional<std::string> FormatCertificateTime(const std::optional<UtcTime>& time);

}  // namespace orvane::render
