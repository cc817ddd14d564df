// The request and certificate documents: a parsed PKCS#10 request or X.509 certificate turned
// into an XML document in windows-1251 that the form stylesheets render. Every field appears
// in readable form (labels, extension texts, hexadecimal dumps of binary values).
#pragma once

#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "crypto/ossl.h"
#include "render/document_text.h"

namespace orvane::render {

// The parts of a SubjectPublicKeyInfo as the documents show them.
struct PublicKeyParts {
  std::string algorithm;   // dotted OID
  std::string parameters;  // H1
  int unusedBits = 0;
  std::string value;  // H2
};
PublicKeyParts ReadPublicKey(const X509_PUBKEY* key);

// The algorithm and signature of a signed object (to-be-signed part, algorithm, BIT STRING).
struct SignatureParts {
  std::string algorithm;  // dotted OID
  std::string value;      // H3
};
std::optional<SignatureParts> ReadSignature(std::span<const std::uint8_t> encoded);

class X509Request {
 public:
  // Decodes the DER of a request; the request counts as undecoded when the bytes are not
  // exactly one well-formed request.
  explicit X509Request(std::span<const std::uint8_t> der);
  virtual ~X509Request() = default;
  X509Request(const X509Request&) = delete;
  X509Request& operator=(const X509Request&) = delete;

  bool Decoded() const { return info_ != nullptr; }
  // The whole document (declaration first), or none when the request did not decode.
  std::optional<std::string> BuildRequestXml() const;

 private:
  ::orvane::ossl::X509ReqPtr info_;
  Bytes encoded_;
};

class X509Certificate {
 public:
  explicit X509Certificate(std::span<const std::uint8_t> der);
  virtual ~X509Certificate() = default;
  X509Certificate(const X509Certificate&) = delete;
  X509Certificate& operator=(const X509Certificate&) = delete;

  bool Decoded() const { return certificate_ != nullptr; }
  std::optional<std::string> BuildCertificateXml() const;
  // The subject's attributes; none without a decoded certificate.
  std::optional<NameAttributes> SubjectAttributes() const;

 private:
  ::orvane::ossl::X509Ptr certificate_;
  Bytes encoded_;
};

// "yes" when an issuer common name has no Latin letter (or is empty); "no" otherwise, also
// without any common name.
bool IsQualifiedIssuer(const NameAttributes& issuer);

}  // namespace orvane::render
