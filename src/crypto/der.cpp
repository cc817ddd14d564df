#include "crypto/der.h"

namespace orvane::crypto::der {

Bytes Tlv(std::uint8_t tagByte, std::span<const std::uint8_t> contents) {
  Bytes out;
  out.reserve(contents.size() + 6);
  out.push_back(tagByte);
  const std::size_t n = contents.size();
  if (n < 0x80) {
    out.push_back(static_cast<std::uint8_t>(n));
  } else {
    std::uint8_t len[sizeof(std::size_t)];
    int count = 0;
    for (std::size_t v = n; v != 0; v >>= 8) len[count++] = static_cast<std::uint8_t>(v);
    out.push_back(static_cast<std::uint8_t>(0x80 | count));
    for (int i = count - 1; i >= 0; --i) out.push_back(len[i]);
  }
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

Bytes Constructed(std::uint8_t tagByte, std::initializer_list<std::span<const std::uint8_t>> children) {
  Bytes body;
  for (const auto& c : children) body.insert(body.end(), c.begin(), c.end());
  return Tlv(tagByte, body);
}

Bytes Constructed(std::uint8_t tagByte, const std::vector<Bytes>& children) {
  Bytes body;
  for (const auto& c : children) body.insert(body.end(), c.begin(), c.end());
  return Tlv(tagByte, body);
}

Bytes ContextExplicit(unsigned n, std::span<const std::uint8_t> encoded) {
  return Tlv(static_cast<std::uint8_t>(0xA0 | (n & 0x1F)), encoded);
}

Bytes ContextConstructed(unsigned n, const std::vector<Bytes>& children) {
  return Constructed(static_cast<std::uint8_t>(0xA0 | (n & 0x1F)), children);
}

Bytes Boolean(bool value) {
  const std::uint8_t v = value ? 0xFF : 0x00;
  return Tlv(tag::kBoolean, std::span<const std::uint8_t>(&v, 1));
}

Bytes Integer(std::int64_t value) {
  Bytes bytes;
  // Two's complement, minimal length.
  for (int i = 7; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
  std::size_t start = 0;
  while (start < 7 && ((bytes[start] == 0x00 && (bytes[start + 1] & 0x80) == 0) ||
                       (bytes[start] == 0xFF && (bytes[start + 1] & 0x80) != 0))) {
    ++start;
  }
  return Tlv(tag::kInteger, std::span<const std::uint8_t>(bytes).subspan(start));
}

Bytes UnsignedInteger(std::span<const std::uint8_t> bigEndian) {
  std::size_t start = 0;
  while (start + 1 < bigEndian.size() && bigEndian[start] == 0) ++start;
  Bytes body;
  if (bigEndian.empty()) {
    body.push_back(0);
  } else {
    if ((bigEndian[start] & 0x80) != 0) body.push_back(0);
    body.insert(body.end(), bigEndian.begin() + static_cast<std::ptrdiff_t>(start), bigEndian.end());
  }
  return Tlv(tag::kInteger, body);
}

Bytes Null() {
  return {tag::kNull, 0x00};
}

Bytes OctetString(std::span<const std::uint8_t> contents) {
  return Tlv(tag::kOctetString, contents);
}

Bytes BitString(std::span<const std::uint8_t> contents, std::uint8_t unusedBits) {
  Bytes body;
  body.reserve(contents.size() + 1);
  body.push_back(unusedBits);
  body.insert(body.end(), contents.begin(), contents.end());
  return Tlv(tag::kBitString, body);
}

std::optional<Bytes> Oid(std::string_view dotted) {
  std::vector<std::uint64_t> arcs;
  std::uint64_t current = 0;
  bool haveDigit = false;
  for (char c : dotted) {
    if (c == '.') {
      if (!haveDigit) return std::nullopt;
      arcs.push_back(current);
      current = 0;
      haveDigit = false;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    if (current > (UINT64_MAX - 9) / 10) return std::nullopt;
    current = current * 10 + static_cast<unsigned>(c - '0');
    haveDigit = true;
  }
  if (!haveDigit) return std::nullopt;
  arcs.push_back(current);
  if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] >= 40)) return std::nullopt;
  if (arcs[1] > UINT64_MAX - 80) return std::nullopt;
  Bytes body;
  auto put = [&body](std::uint64_t v) {
    std::uint8_t tmp[10];
    int n = 0;
    do {
      tmp[n++] = static_cast<std::uint8_t>(v & 0x7F);
      v >>= 7;
    } while (v != 0);
    for (int i = n - 1; i >= 0; --i) body.push_back(static_cast<std::uint8_t>(tmp[i] | (i != 0 ? 0x80 : 0)));
  };
  put(arcs[0] * 40 + arcs[1]);
  for (std::size_t i = 2; i < arcs.size(); ++i) put(arcs[i]);
  return Tlv(tag::kOid, body);
}

Bytes Utf8String(std::string_view utf8) {
  return Tlv(tag::kUtf8String,
             std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()));
}

Bytes BmpString(std::u16string_view text) {
  Bytes body;
  body.reserve(text.size() * 2);
  for (char16_t c : text) {
    body.push_back(static_cast<std::uint8_t>(c >> 8));
    body.push_back(static_cast<std::uint8_t>(c));
  }
  return Tlv(tag::kBmpString, body);
}

namespace {
std::optional<Bytes> Restricted(std::uint8_t tagByte, std::u16string_view text, bool (*allowed)(char16_t)) {
  Bytes body;
  body.reserve(text.size());
  for (char16_t c : text) {
    if (!allowed(c)) return std::nullopt;
    body.push_back(static_cast<std::uint8_t>(c));
  }
  return Tlv(tagByte, body);
}
}  // namespace

bool IsPrintableStringChar(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')) return true;
  switch (c) {
    case u' ':
    case u'\'':
    case u'(':
    case u')':
    case u'+':
    case u',':
    case u'-':
    case u'.':
    case u'/':
    case u':':
    case u'=':
    case u'?':
      return true;
    default:
      return false;
  }
}

std::optional<Bytes> NumericString(std::u16string_view text) {
  return Restricted(tag::kNumericString, text, [](char16_t c) { return (c >= u'0' && c <= u'9') || c == u' '; });
}

std::optional<Bytes> PrintableString(std::u16string_view text) {
  return Restricted(tag::kPrintableString, text, IsPrintableStringChar);
}

std::optional<Bytes> Ia5String(std::u16string_view text) {
  return Restricted(tag::kIa5String, text, [](char16_t c) { return c < 0x80; });
}

std::optional<Element> Read(std::span<const std::uint8_t> data) {
  if (data.size() < 2) return std::nullopt;
  Element e;
  e.tag = data[0];
  if ((e.tag & 0x1F) == 0x1F) return std::nullopt;  // high tag numbers are not used here
  std::size_t pos = 1;
  std::size_t len = data[pos++];
  if (len & 0x80) {
    const std::size_t count = len & 0x7F;
    if (count == 0 || count > sizeof(std::size_t) || pos + count > data.size()) return std::nullopt;
    len = 0;
    for (std::size_t i = 0; i < count; ++i) len = (len << 8) | data[pos++];
  }
  if (len > data.size() - pos) return std::nullopt;
  e.contents = data.subspan(pos, len);
  e.whole = data.subspan(0, pos + len);
  return e;
}

std::optional<std::vector<Element>> Children(const Element& constructed) {
  std::vector<Element> out;
  std::span<const std::uint8_t> rest = constructed.contents;
  while (!rest.empty()) {
    auto e = Read(rest);
    if (!e) return std::nullopt;
    out.push_back(*e);
    rest = rest.subspan(e->whole.size());
  }
  return out;
}

std::optional<std::string> OidText(std::span<const std::uint8_t> contents) {
  if (contents.empty()) return std::nullopt;
  std::string out;
  std::uint64_t v = 0;
  bool first = true;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    if (v > (UINT64_MAX >> 7)) return std::nullopt;
    v = (v << 7) | (contents[i] & 0x7F);
    if (contents[i] & 0x80) {
      if (i + 1 == contents.size()) return std::nullopt;
      continue;
    }
    if (first) {
      const std::uint64_t a = v < 80 ? v / 40 : 2;
      out = std::to_string(a) + "." + std::to_string(v - a * 40);
      first = false;
    } else {
      out += "." + std::to_string(v);
    }
    v = 0;
  }
  return out;
}

std::optional<Bytes> PublicKeyBits(std::span<const std::uint8_t> spki) {
  auto top = Read(spki);
  if (!top || top->tag != tag::kSequence) return std::nullopt;
  auto kids = Children(*top);
  if (!kids || kids->size() != 2 || (*kids)[1].tag != tag::kBitString || (*kids)[1].contents.empty()) {
    return std::nullopt;
  }
  const auto bits = (*kids)[1].contents.subspan(1);
  return Bytes(bits.begin(), bits.end());
}

std::optional<std::string> PublicKeyAlgorithm(std::span<const std::uint8_t> spki) {
  auto top = Read(spki);
  if (!top || top->tag != tag::kSequence) return std::nullopt;
  auto kids = Children(*top);
  if (!kids || kids->size() != 2 || (*kids)[0].tag != tag::kSequence) return std::nullopt;
  auto alg = Children((*kids)[0]);
  if (!alg || alg->empty() || (*alg)[0].tag != tag::kOid) return std::nullopt;
  return OidText((*alg)[0].contents);
}

}  // namespace orvane::crypto::der
