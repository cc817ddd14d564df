// Small helpers over OpenSSL's ASN.1 types for the rendering code: whole-value decoding, OID
// and time texts (the owning pointers are crypto/ossl.h's).
#pragma once

#include <openssl/asn1.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "crypto/ossl.h"
#include "render/document_text.h"

namespace orvane::render::ossl {

using ::orvane::ossl::Deleter;
using ::orvane::ossl::Ptr;

// Decodes a value that must take up exactly the given bytes; null otherwise. A value that
// does not decode leaves nothing on the thread's OpenSSL error queue: stale entries would be
// read later as the cause of an unrelated failure (TLS errors are taken from that queue).
template <auto FreeFn, typename T>
Ptr<T, FreeFn> DecodeWhole(T* (*d2i)(T**, const unsigned char**, long), std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return nullptr;
  ERR_set_mark();
  const unsigned char* p = bytes.data();
  Ptr<T, FreeFn> out(d2i(nullptr, &p, static_cast<long>(bytes.size())));
  if (out && p != bytes.data() + bytes.size()) out.reset();
  ERR_pop_to_mark();
  return out;
}

inline std::string ObjectText(const ASN1_OBJECT* object) {
  if (object == nullptr) return std::string();
  char buf[128];
  const int n = OBJ_obj2txt(buf, sizeof buf, object, 1);
  if (n <= 0) return std::string();
  if (static_cast<std::size_t>(n) < sizeof buf) return std::string(buf, static_cast<std::size_t>(n));
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  const int m = OBJ_obj2txt(big.data(), n + 1, object, 1);
  if (m <= 0) return std::string();
  big.resize(static_cast<std::size_t>(m));
  return big;
}

inline std::optional<UtcTime> TimeOf(const ASN1_TIME* time) {
  if (time == nullptr) return std::nullopt;
  std::tm tm{};
  if (ASN1_TIME_to_tm(time, &tm) != 1) return std::nullopt;
  return UtcTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

inline std::span<const std::uint8_t> StringBytes(const ASN1_STRING* s) {
  if (s == nullptr || s->data == nullptr || s->length <= 0) return {};
  return {s->data, static_cast<std::size_t>(s->length)};
}

// The DER contents of an INTEGER (a leading 00 kept where the encoding needs it).
Bytes IntegerContents(const ASN1_INTEGER* value);

// The DER of a Name.
std::span<const std::uint8_t> NameDer(const X509_NAME* name);

}  // namespace orvane::render::ossl
