// Certificates made with the DER writer for tests that look at a certificate's fields, not
// its signature: the public key of head CA root B, a chosen signature algorithm, subject,
// validity and extended key usage, and a made-up signature.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/head_ca_roots.h"
#include "crypto/der.h"
#include "text/text.h"
#include "types/certificate.h"

namespace orvane::test {

inline constexpr const char* kClientAuth = "1.3.6.1.5.5.7.3.2";
inline constexpr const char* kEmailProtection = "1.3.6.1.5.5.7.3.4";
inline constexpr const char* kGost2012_256Signature = "1.2.643.7.1.1.3.2";
inline constexpr const char* kGost2001Signature = "1.2.643.2.2.3";

struct FakeCertificate {
  std::vector<std::pair<std::string, std::string>> subject = {{"2.5.4.3", "Иванов Иван Иванович"}};
  std::vector<std::pair<std::string, std::string>> issuer = {{"2.5.4.3", "Тестовый УЦ"}};
  std::string signatureOid = kGost2012_256Signature;
  std::vector<std::string> usages = {kClientAuth, kEmailProtection};  // no extension when empty
  std::string notBefore = "240305093000Z";                            // UTCTime
  std::string notAfter = "20251231235959Z";                           // GeneralizedTime
  int serial = 1;
  bool withKey = true;  // key-provider information

  static crypto::der::Bytes Name(const std::vector<std::pair<std::string, std::string>>& attributes) {
    std::vector<crypto::der::Bytes> rdns;
    for (const auto& [oid, value] : attributes) {
      rdns.push_back(
          crypto::der::Set({crypto::der::Sequence({*crypto::der::Oid(oid), crypto::der::Utf8String(value)})}));
    }
    return crypto::der::Sequence(rdns);
  }
  static crypto::der::Bytes Ascii(std::uint8_t tag, const std::string& s) {
    return crypto::der::Tlv(tag, std::vector<std::uint8_t>(s.begin(), s.end()));
  }

  crypto::der::Bytes Der() const {
    namespace der = crypto::der;
    const auto root = *text::Base64Decode(std::string(app::HeadCaRootB().base64));
    const auto top = der::Read(root);
    const auto tbsKids = der::Children((*der::Children(*top))[0]);
    const der::Bytes spki((*tbsKids)[6].whole.begin(), (*tbsKids)[6].whole.end());
    const auto alg = der::Sequence({*der::Oid(signatureOid)});
    std::vector<der::Bytes> tbs = {der::ContextExplicit(0, der::Integer(2)),
                                   der::Integer(serial),
                                   alg,
                                   Name(issuer),
                                   der::Sequence({Ascii(0x17, notBefore), Ascii(0x18, notAfter)}),
                                   Name(subject),
                                   spki};
    if (!usages.empty()) {
      std::vector<der::Bytes> oids;
      for (const auto& u : usages) oids.push_back(*der::Oid(u));
      const auto eku = der::Sequence({*der::Oid("2.5.29.37"), der::OctetString(der::Sequence(oids))});
      tbs.push_back(der::ContextExplicit(3, der::Sequence({eku})));
    }
    std::vector<std::uint8_t> signature(64, 0x5a);
    return der::Sequence({der::Sequence(tbs), alg, der::BitString(signature)});
  }

  CertificatePtr Make() const {
    auto c = std::make_shared<CertificateContext>();
    c->der = Der();
    if (withKey) c->keyProvInfo = KeyProvInfo{u"operator", u"Test Provider", 80, 0, 1};
    return c;
  }
};

}  // namespace orvane::test
