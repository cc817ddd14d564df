// A small DER writer of our own (byte-exact control over the request encoding) and a
// minimal reader for the few structures we take apart (SubjectPublicKeyInfo, certificates).
// Constructed values take their already encoded children in the order given: SET OF is
// written in the order the caller chooses, not sorted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::crypto::der {

using Bytes = std::vector<std::uint8_t>;

namespace tag {
inline constexpr std::uint8_t kBoolean = 0x01;
inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kBitString = 0x03;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kNull = 0x05;
inline constexpr std::uint8_t kOid = 0x06;
inline constexpr std::uint8_t kUtf8String = 0x0C;
inline constexpr std::uint8_t kNumericString = 0x12;
inline constexpr std::uint8_t kPrintableString = 0x13;
inline constexpr std::uint8_t kIa5String = 0x16;
inline constexpr std::uint8_t kBmpString = 0x1E;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kSet = 0x31;
}  // namespace tag

// Tag, definite length (short or long form) and contents.
Bytes Tlv(std::uint8_t tagByte, std::span<const std::uint8_t> contents);
// Concatenation of encoded children inside a constructed value.
Bytes Constructed(std::uint8_t tagByte, std::initializer_list<std::span<const std::uint8_t>> children);
Bytes Constructed(std::uint8_t tagByte, const std::vector<Bytes>& children);
inline Bytes Sequence(const std::vector<Bytes>& children) {
  return Constructed(tag::kSequence, children);
}
inline Bytes Set(const std::vector<Bytes>& children) {
  return Constructed(tag::kSet, children);
}
// [n] EXPLICIT around an encoded value; [n] IMPLICIT constructed around children.
Bytes ContextExplicit(unsigned n, std::span<const std::uint8_t> encoded);
Bytes ContextConstructed(unsigned n, const std::vector<Bytes>& children);

Bytes Boolean(bool value);
Bytes Integer(std::int64_t value);
// An INTEGER from big-endian magnitude bytes (unsigned); leading zeros trimmed, 0x00 added
// when the top bit is set.
Bytes UnsignedInteger(std::span<const std::uint8_t> bigEndian);
Bytes Null();
Bytes OctetString(std::span<const std::uint8_t> contents);
Bytes BitString(std::span<const std::uint8_t> contents, std::uint8_t unusedBits = 0);
// Dotted OID text; none when it is not a valid OID (at least two arcs, first 0-2, second
// below 40 under 0 and 1, digits only).
std::optional<Bytes> Oid(std::string_view dotted);
Bytes Utf8String(std::string_view utf8);
// UTF-16 code units, big-endian.
Bytes BmpString(std::u16string_view text);
// Restricted string types: none when a character is outside the type's alphabet.
std::optional<Bytes> NumericString(std::u16string_view text);    // digits and space
std::optional<Bytes> PrintableString(std::u16string_view text);  // X.680 PrintableString
std::optional<Bytes> Ia5String(std::u16string_view text);        // 0x00-0x7F
bool IsPrintableStringChar(char16_t c);

// ---- Reader ----
struct Element {
  std::uint8_t tag = 0;
  std::span<const std::uint8_t> contents;  // into the parsed buffer
  std::span<const std::uint8_t> whole;     // tag, length and contents
};

// The element at the start of data (DER definite lengths only); none when malformed.
std::optional<Element> Read(std::span<const std::uint8_t> data);
// The children of a constructed element; none when they do not exactly fill it.
std::optional<std::vector<Element>> Children(const Element& constructed);
// Dotted text of OID contents; none when malformed.
std::optional<std::string> OidText(std::span<const std::uint8_t> contents);

// The subjectPublicKey bits of a SubjectPublicKeyInfo (after the unused-bits byte), and its
// algorithm OID.
std::optional<Bytes> PublicKeyBits(std::span<const std::uint8_t> spki);
std::optional<std::string> PublicKeyAlgorithm(std::span<const std::uint8_t> spki);

}  // namespace orvane::crypto::der
