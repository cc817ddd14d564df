// The reference system's GOST test CA: one self-signed root per key generation (GOST R
// 34.10-2001, 2012-256, 2012-512) with a Cyrillic common name, created on first start under
// the state folder and loaded afterwards. Issues certificates from PKCS#10 requests, signing
// with the root of the request key's generation.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "crypto/ossl.h"
#include "csp/gost_engine.h"

namespace orvane::refsys {

using Bytes = std::vector<std::uint8_t>;

struct IssueOptions {
  std::string crlUrl;     // CRL distribution point
  std::string caIssuers;  // AIA caIssuers address of the root
};

class TestCa {
 public:
  // Loads the roots from dir, creating the missing ones. None when the gost engine is
  // missing or the folder cannot be written; error says why.
  static std::optional<TestCa> Open(const std::string& dir, std::string& error);

  // The DER of a certificate for the request (signature verified first). The validity comes
  // from the request's name-value pairs, else one year from now. None with error set.
  std::optional<Bytes> Issue(const Bytes& requestDer, const IssueOptions& options, std::string& error);

  // Parses the request and verifies its signature; false with error set.
  bool VerifyRequest(const Bytes& requestDer, std::string& error) const;

  // The root of a generation, or null.
  X509* Root(csp::gost::Algorithm algorithm) const;
  // True when cert was issued by one of the roots (its signature verifies).
  bool IssuedByUs(X509* cert) const;
  // PEM of every root, concatenated.
  std::string RootsPem() const;

 private:
  struct RootKey {
    ossl::PkeyPtr key;
    ossl::X509Ptr cert;
  };
  std::map<csp::gost::Algorithm, RootKey> roots_;
  std::uint64_t nextSerial_ = 0;
};

// Digest of data with the digest of a key's generation; none for a non-GOST key.
std::optional<Bytes> GostDigest(EVP_PKEY* key, const Bytes& data);

// Verifies a raw signature over a hash value in the reversed byte order of the platform's
// providers (what a client's SignHash returns).
bool VerifyReversedHashSignature(EVP_PKEY* key, const Bytes& hash, const Bytes& reversedSignature);

}  // namespace orvane::refsys
