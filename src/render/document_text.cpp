#include "render/document_text.h"

#include <cstdio>

#include "crypto/der.h"
#include "text/format.h"
#include "text/text.h"

namespace orvane::render {

namespace der = crypto::der;

std::optional<NameAttributes> ReadNameAttributes(std::span<const std::uint8_t> nameDer) {
  const auto top = der::Read(nameDer);
  if (!top || top->tag != der::tag::kSequence || top->whole.size() != nameDer.size()) return std::nullopt;
  const auto rdns = der::Children(*top);
  if (!rdns) return std::nullopt;
  NameAttributes out;
  for (const auto& rdn : *rdns) {
    if (rdn.tag != der::tag::kSet) return std::nullopt;
    const auto atvs = der::Children(rdn);
    if (!atvs) return std::nullopt;
    for (const auto& atv : *atvs) {
      const auto parts = der::Children(atv);
      if (atv.tag != der::tag::kSequence || !parts || parts->size() != 2 || (*parts)[0].tag != der::tag::kOid) {
        return std::nullopt;
      }
      auto oid = der::OidText((*parts)[0].contents);
      if (!oid) return std::nullopt;
      out.push_back({std::move(*oid), StringValueText((*parts)[1].tag, (*parts)[1].contents)});
    }
  }
  return out;
}

std::u16string StringValueText(std::uint8_t tag, std::span<const std::uint8_t> contents) {
  std::u16string out;
  switch (tag) {
    case der::tag::kUtf8String:
      if (!contents.empty()) {
        out = text::Utf8ToUtf16(reinterpret_cast<const char*>(contents.data()), contents.size()).value_or(u"");
      }
      break;
    case der::tag::kBmpString:
      for (std::size_t i = 0; i + 1 < contents.size(); i += 2) {
        out.push_back(static_cast<char16_t>(contents[i] << 8 | contents[i + 1]));
      }
      break;
    case 0x1C:  // UniversalString
      for (std::size_t i = 0; i + 3 < contents.size(); i += 4) {
        const std::uint32_t c = static_cast<std::uint32_t>(contents[i]) << 24 |
                                static_cast<std::uint32_t>(contents[i + 1]) << 16 |
                                static_cast<std::uint32_t>(contents[i + 2]) << 8 | contents[i + 3];
        out.push_back(c <= 0xFFFF && (c < 0xD800 || c > 0xDFFF) ? static_cast<char16_t>(c) : u'?');
      }
      break;
    default:
      for (std::uint8_t b : contents) out.push_back(text::Cp1251Char(b));
      break;
  }
  return out;
}

std::string ToCp1251(std::u16string_view text) {
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u < 0x100) {
      out[i] = static_cast<char>(u);
    } else if (u >= 0x410 && u <= 0x44F) {  // А-я, the bulk of the texts
      out[i] = static_cast<char>(u - 0x350);
    } else {
      out[i] = text::WideToCp1251(&text[i], 1).value_or("?")[0];
    }
  }
  return out;
}

std::string Cp1251(std::string_view utf8) {
  // Fast path for ASCII and the Cyrillic letters of this program's own texts; anything else
  // goes through the general conversion.
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      const unsigned u = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      if (u >= 0x410 && u <= 0x44F) {
        out.push_back(static_cast<char>(u - 0x350));
        ++i;
        continue;
      }
    }
    return ToCp1251(text::FromUtf8(utf8));
  }
  return out;
}

std::string EscapeXmlText(std::string_view cp1251) {
  std::string out;
  AppendEscapedXmlText(out, cp1251);
  return out;
}

void AppendEscapedXmlText(std::string& out, std::string_view cp1251) {
  for (char ch : cp1251) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "&#x22;";
        break;
      case '&':
        out += "&#x26;";
        break;
      case '\'':
        out += "&#x27;";
        break;
      case '<':
        out += "&#x3C;";
        break;
      case '>':
        out += "&#x3E;";
        break;
      default:
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x98) {
          out.push_back('?');
        } else {
          out.push_back(ch);
        }
    }
  }
}

namespace {

// A tag or a length: at least two digits (a length may need more).
void AppendHex(std::string& out, const char* format, unsigned value) {
  out += text::Format(format, value);
}

}  // namespace

std::string HexBytesSpaced(std::span<const std::uint8_t> bytes) {
  return text::HexLower(bytes.data(), bytes.size(), " ");
}

std::string HexDumpLower(std::span<const std::uint8_t> element) {
  const auto e = der::Read(element);
  if (!e) return HexBytesSpaced(element);
  std::string out;
  out.reserve(e->contents.size() * 3 + 8);
  AppendHex(out, "%02x", e->tag);
  out.push_back(' ');
  AppendHex(out, "%02x", static_cast<unsigned>(e->contents.size()));
  if (!e->contents.empty()) {
    out.push_back(' ');
    out += text::HexLower(e->contents.data(), e->contents.size(), " ");
  }
  return out;
}

std::string HexPairsUpper(std::span<const std::uint8_t> element) {
  const auto e = der::Read(element);
  if (!e) return std::string();
  std::string out;
  out.reserve(e->contents.size() * 3 + 8);
  AppendHex(out, "%02X", e->tag);
  AppendHex(out, "%02X", static_cast<unsigned>(e->contents.size()));
  for (std::size_t i = 0; i + 1 < e->contents.size(); i += 2) {
    out.push_back(' ');
    out += text::HexUpper(&e->contents[i], 2);
  }
  return out;
}

std::string SignatureHex(std::span<const std::uint8_t> bitStringContents) {
  const std::size_t n = bitStringContents.size();
  const std::span<const std::uint8_t> tail = n > 64 ? bitStringContents.subspan(n - 64) : bitStringContents;
  std::string out;
  out.reserve(tail.size() * 3);
  std::size_t i = tail.size();
  while (i >= 2) {
    const std::uint8_t pair[2] = {tail[i - 1], tail[i - 2]};
    out += text::HexUpper(pair, 2);
    out.push_back(' ');
    i -= 2;
  }
  if (i == 1) {
    out += text::HexUpper(&tail[0], 1);
    out.push_back(' ');
  }
  return out;
}

std::optional<std::string> FormatCertificateTime(const std::optional<UtcTime>& time) {
  static const char* const kMonths[12] = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                                          "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
  if (!time || time->month < 1 || time->month > 12) return std::nullopt;
  char buf[128];
  std::snprintf(buf, sizeof buf, "%d %s %04d г. %02d:%02d:%02d UTC", time->day, kMonths[time->month - 1], time->year,
                time->hour, time->minute, time->second);
  return Cp1251(buf);
}

}  // namespace orvane::render
