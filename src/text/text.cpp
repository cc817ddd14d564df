#include "text/text.h"

#include <array>
#include <cstring>

namespace orvane::text {
namespace {

// Bytes 0x80-0xFF of Windows-1251; 0x98 is undefined in the code page and maps to U+FFFD.
constexpr std::array<char16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

char UnitToCp1251(char16_t u) {
  if (u < 0x100) return static_cast<char>(u & 0xFF);
  for (std::size_t i = 0; i < kCp1251High.size(); ++i) {
    if (kCp1251High[i] == u) return static_cast<char>(0x80 + i);
  }
  return '?';
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <typename CharT>
std::basic_string<CharT> TrimImpl(std::basic_string_view<CharT> text) {
  const auto nul = text.find(CharT(0));
  if (nul != std::basic_string_view<CharT>::npos) text = text.substr(0, nul);
  std::size_t end = text.size();
  while (end > 0 && static_cast<std::make_unsigned_t<CharT>>(text[end - 1]) <= 32) --end;
  std::size_t begin = 0;
  while (begin < end && static_cast<std::make_unsigned_t<CharT>>(text[begin]) <= 32) ++begin;
  return std::basic_string<CharT>(text.substr(begin, end - begin));
}

}  // namespace

std::optional<std::string> Utf16ToUtf8(const char16_t* units, std::size_t count) {
  if (units == nullptr || count == 0) return std::nullopt;
  std::string out;
  out.reserve(3 * count);
  for (std::size_t i = 0; i < count; ++i) {
    const char16_t u = units[i];
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return out;
}

std::optional<std::u16string> Utf8ToUtf16(const char* bytes, std::size_t length) {
  if (bytes == nullptr) return std::nullopt;
  if (length == 0) length = std::strlen(bytes);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  std::u16string out;
  out.reserve(length);
  std::size_t i = 0;
  while (i < length) {
    const unsigned char lead = p[i];
    if (lead < 0x80) {
      out.push_back(lead);
      i += 1;
    } else if ((lead & 0xF0) == 0xE0) {
      if (i + 3 > length) break;
      out.push_back(static_cast<char16_t>(((lead & 0x0F) << 12) | ((p[i + 1] & 0x7F) << 6) | (p[i + 2] & 0x7F)));
      i += 3;
    } else {
      if (i + 2 > length) break;
      out.push_back(static_cast<char16_t>(((lead & 0x3F) << 6) | (p[i + 1] & 0x7F)));
      i += 2;
    }
  }
  return out;
}

std::optional<std::string> WideToCp1251(const char16_t* units, std::size_t count) {
  if (units == nullptr || count == 0) return std::nullopt;
  std::string out(count, '\0');
  for (std::size_t i = 0; i < count; ++i) out[i] = UnitToCp1251(units[i]);
  return out;
}

std::optional<std::string> BmpStringToCp1251(const std::uint8_t* bigEndianUnits, std::size_t count) {
  if (bigEndianUnits == nullptr || count == 0) return std::nullopt;
  std::string out(count, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    const auto u = static_cast<char16_t>((bigEndianUnits[2 * i] << 8) | bigEndianUnits[2 * i + 1]);
    out[i] = UnitToCp1251(u);
  }
  return out;
}

char16_t Cp1251Char(unsigned char byte) {
  return byte < 0x80 ? char16_t(byte) : kCp1251High[byte - 0x80];
}

std::optional<std::u16string> Cp1251ToWide(const char* text) {
  if (text == nullptr) return std::nullopt;
  return Cp1251ToWide(std::string_view(text));
}

std::optional<std::u16string> Cp1251ToWide(std::string_view text) {
  if (text.data() == nullptr || text.empty()) return std::nullopt;
  std::u16string out(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = Cp1251Char(static_cast<unsigned char>(text[i]));
  return out;
}

std::u16string TrimSpaces(std::u16string_view text) {
  return TrimImpl(text);
}
std::string TrimSpaces(std::string_view text) {
  return TrimImpl(text);
}

std::string Base64Encode(const std::uint8_t* bytes, std::size_t count) {
  std::string out;
  if (bytes == nullptr || count == 0) return out;
  out.reserve((count + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= count; i += 3) {
    const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back(kBase64Alphabet[v & 63]);
  }
  const std::size_t rest = count - i;
  if (rest == 1) {
    const std::uint32_t v = bytes[i] << 16;
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out += "==";
  } else if (rest == 2) {
    const std::uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8);
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back('=');
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> Base64Decode(const char* text) {
  if (text == nullptr) return std::nullopt;
  return Base64Decode(std::string_view(text));
}

std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text) {
  if (text.data() == nullptr || text.empty()) return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t group = 0;
  int n = 0;
  for (const char ch : text) {
    const int v = Base64Value(static_cast<unsigned char>(ch));
    if (v < 0) continue;
    group = (group << 6) | static_cast<std::uint32_t>(v);
    if (++n == 4) {
      out.push_back(static_cast<std::uint8_t>(group >> 16));
      out.push_back(static_cast<std::uint8_t>(group >> 8));
      out.push_back(static_cast<std::uint8_t>(group));
      group = 0;
      n = 0;
    }
  }
  if (n == 2) {
    out.push_back(static_cast<std::uint8_t>(group >> 4));
  } else if (n == 3) {
    out.push_back(static_cast<std::uint8_t>(group >> 10));
    out.push_back(static_cast<std::uint8_t>(group >> 2));
  }
  return out;
}

std::optional<std::string> PercentDecode(const char* text) {
  if (text == nullptr) return std::nullopt;
  const std::size_t len = std::strlen(text);
  std::string out;
  out.reserve(len);
  for (std::size_t i = 0; i < len; ++i) {
    if (text[i] == '%' && i + 2 < len) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>((hi << 4) | lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

bool StartsWith(const char* text, const char* prefix) {
  if (text == nullptr || prefix == nullptr) return false;
  return std::string_view(text).starts_with(prefix);
}

bool StartsWith(const char16_t* text, const char16_t* prefix) {
  if (text == nullptr || prefix == nullptr) return false;
  return std::u16string_view(text).starts_with(prefix);
}

std::string ToUtf8(std::u16string_view s) {
  return Utf16ToUtf8(s).value_or(std::string());
}

std::u16string FromUtf8(std::string_view s) {
  return Utf8ToUtf16(s).value_or(std::u16string());
}

namespace {

std::string Hex(const std::uint8_t* bytes, std::size_t count, const char* digits, std::string_view separator) {
  std::string out;
  if (bytes == nullptr) return out;
  out.reserve(count * (2 + separator.size()));
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) out += separator;
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0x0F];
  }
  return out;
}

char16_t FoldCase(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);  // А-Я
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 0x50);  // Ѐ-Џ (Ё among them)
  return c;
}

}  // namespace

std::string HexUpper(const std::uint8_t* bytes, std::size_t count, std::string_view separator) {
  return Hex(bytes, count, "0123456789ABCDEF", separator);
}

std::string HexLower(const std::uint8_t* bytes, std::size_t count, std::string_view separator) {
  return Hex(bytes, count, "0123456789abcdef", separator);
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= bytes.size()) return false;  // the sequence runs past the end
    for (std::size_t k = 1; k <= n; ++k) {
      const auto b = static_cast<unsigned char>(bytes[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

std::string PercentEncode(std::string_view bytes, bool (*keep)(unsigned char c, std::size_t index)) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (keep(c, i)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out += HexUpper(&c, 1);
    }
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

}  // namespace orvane::text
