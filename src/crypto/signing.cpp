#include "crypto/signing.h"

#include <algorithm>

#include "crypto/der.h"
#include "crypto/sha1.h"
#include "text/text.h"

namespace orvane::crypto {
namespace {

// Fields of a certificate's TBSCertificate that signing needs.
struct CertificateParts {
  std::span<const std::uint8_t> serial;  // whole INTEGER
  std::span<const std::uint8_t> issuer;  // whole Name
  std::string signatureOid;
  std::string publicKeyOid;
};

std::optional<CertificateParts> SplitCertificate(std::span<const std::uint8_t> der) {
  auto cert = der::Read(der);
  if (!cert || cert->tag != der::tag::kSequence) return std::nullopt;
  auto top = der::Children(*cert);
  if (!top || top->size() != 3 || (*top)[0].tag != der::tag::kSequence || (*top)[1].tag != der::tag::kSequence) {
    return std::nullopt;
  }
  CertificateParts parts;
  auto sigAlg = der::Children((*top)[1]);
  if (!sigAlg || sigAlg->empty() || (*sigAlg)[0].tag != der::tag::kOid) return std::nullopt;
  auto sigOid = der::OidText((*sigAlg)[0].contents);
  if (!sigOid) return std::nullopt;
  parts.signatureOid = *sigOid;
  auto tbs = der::Children((*top)[0]);
  if (!tbs) return std::nullopt;
  std::size_t i = 0;
  if (i < tbs->size() && (*tbs)[i].tag == 0xA0) ++i;  // [0] version
  if (tbs->size() < i + 6) return std::nullopt;
  if ((*tbs)[i].tag != der::tag::kInteger || (*tbs)[i + 2].tag != der::tag::kSequence ||
      (*tbs)[i + 5].tag != der::tag::kSequence) {
    return std::nullopt;
  }
  parts.serial = (*tbs)[i].whole;
  parts.issuer = (*tbs)[i + 2].whole;
  auto keyOid = der::PublicKeyAlgorithm((*tbs)[i + 5].whole);
  if (!keyOid) return std::nullopt;
  parts.publicKeyOid = *keyOid;
  return parts;
}

// Opens (once) the container named by the certificate's key-provider property and keeps the
// context with the certificate.
csp::CryptContext* KeyContext(CertificateContext& certificate, const csp::ProviderRegistry& registry,
                              std::uint32_t& error) {
  auto& info = *certificate.keyProvInfo;
  info.flags = csp::CERT_SET_KEY_CONTEXT_PROP_ID;
  if (!certificate.keyContext) {
    auto context = registry.AcquireContext(info.containerName, info.providerName, info.provType, 0);
    if (!context) {
      error = csp::GetLastError();
      return nullptr;
    }
    certificate.keyContext = std::move(context);
  }
  return certificate.keyContext.get();
}

}  // namespace

std::optional<std::array<std::uint8_t, 20>> CertificateSha1(const CertificateContext* certificate) {
  if (certificate == nullptr) return std::nullopt;
  return CPSha1::Of(certificate->der.data(), certificate->der.size());
}

std::optional<std::string> CertificateThumbprint(const CertificateContext* certificate) {
  const auto digest = CertificateSha1(certificate);
  if (!digest) return std::nullopt;
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : *digest) {
    out.push_back(hex[b >> 4]);
    out.push_back(hex[b & 15]);
  }
  return out;
}

GostGeneration CertificateGeneration(std::span<const std::uint8_t> der) {
  const auto parts = SplitCertificate(der);
  if (!parts) return csp::kGostNone;
  if (parts->signatureOid == "1.2.643.2.2.3") return csp::kGost2001;
  if (parts->signatureOid == "1.2.643.7.1.1.3.2") return csp::kGost2012_256;
  if (parts->signatureOid == "1.2.643.7.1.1.3.3") return csp::kGost2012_512;
  return csp::kGostNone;
}

GostGeneration CertificateGeneration(const CertificateContext* certificate) {
  if (certificate == nullptr) return csp::kGostNone;
  return CertificateGeneration(certificate->der);
}

std::optional<std::string> HashOidFor(GostGeneration generation) {
  switch (generation) {
    case csp::kGost2001:
      return "1.2.643.2.2.9";
    case csp::kGost2012_256:
      return "1.2.643.7.1.1.2.2";
    case csp::kGost2012_512:
      return "1.2.643.7.1.1.2.3";
    default:
      return std::nullopt;
  }
}

std::uint32_t HashAlgIdFor(GostGeneration generation) {
  switch (generation) {
    case csp::kGost2012_256:
      return csp::CALG_GR3411_2012_256;
    case csp::kGost2012_512:
      return csp::CALG_GR3411_2012_512;
    default:
      return csp::CALG_GR3411;
  }
}

std::size_t HashLengthFor(GostGeneration generation) {
  switch (generation) {
    case csp::kGost2001:
    case csp::kGost2012_256:
      return 32;
    case csp::kGost2012_512:
      return 64;
    default:
      return 0;
  }
}

std::optional<std::string> SignMessage(CertificateContext* certificate, const std::uint8_t* data, std::size_t length,
                                       const csp::ProviderRegistry& registry) {
  if (certificate == nullptr || (data == nullptr && length != 0)) return std::nullopt;
  if (!certificate->keyProvInfo) return std::nullopt;
  const GostGeneration generation = CertificateGeneration(certificate);
  const auto hashOid = HashOidFor(generation);
  const auto parts = SplitCertificate(certificate->der);
  if (!hashOid || !parts) return std::nullopt;
  std::uint32_t error = 0;
  csp::CryptContext* context = KeyContext(*certificate, registry, error);
  if (context == nullptr) return std::nullopt;

  const std::span<const std::uint8_t> content(data, length);
  Bytes digest;
  Bytes signature;
  if (!context->HashData(HashAlgIdFor(generation), content, digest) ||
      !context->SignHash(certificate->keyProvInfo->keySpec, HashAlgIdFor(generation), digest, signature)) {
    return std::nullopt;
  }
  // SignerInfo carries the signature in the X.509 layout; the provider gives it reversed.
  std::reverse(signature.begin(), signature.end());

  const auto hashAlgOid = der::Oid(*hashOid);
  const auto keyAlgOid = der::Oid(parts->publicKeyOid);
  if (!hashAlgOid || !keyAlgOid) return std::nullopt;
  const Bytes digestAlgorithm = der::Sequence({*hashAlgOid});
  const Bytes signerInfo = der::Sequence({der::Integer(1),
                                          der::Sequence({Bytes(parts->issuer.begin(), parts->issuer.end()),
                                                         Bytes(parts->serial.begin(), parts->serial.end())}),
                                          digestAlgorithm, der::Sequence({*keyAlgOid}), der::OctetString(signature)});
  const Bytes encapsulated =
      der::Sequence({*der::Oid("1.2.840.113549.1.7.1"), der::ContextExplicit(0, der::OctetString(content))});
  const Bytes signedData =
      der::Sequence({der::Integer(1), der::Set({digestAlgorithm}), encapsulated, der::Set({signerInfo})});
  const Bytes contentInfo = der::Sequence({*der::Oid("1.2.840.113549.1.7.2"), der::ContextExplicit(0, signedData)});
  return text::Base64Encode(contentInfo);
}

std::optional<std::string> SignMessage(CertificateContext* certificate, const std::uint8_t* data, std::size_t length) {
  return SignMessage(certificate, data, length, csp::DefaultRegistry());
}

bool SignHash(CertificateContext* certificate, const std::uint8_t* hash, std::size_t hashLength, Bytes* signature,
              std::uint32_t* error, const csp::ProviderRegistry& registry) {
  if (certificate == nullptr || hash == nullptr || hashLength == 0 || signature == nullptr || error == nullptr) {
    if (error != nullptr) *error = 0xFFFFFFFF;
    return false;
  }
  signature->clear();
  const GostGeneration generation = CertificateGeneration(certificate);
  if (!certificate->keyProvInfo) {
    *error = 0;
    return false;
  }
  // The given value must be exactly one hash of the algorithm; nothing past it is read.
  // A certificate of no GOST generation is tried with GOST R 34.11-94, as its hash id says.
  const std::size_t expected = generation == csp::kGostNone ? 32 : HashLengthFor(generation);
  if (hashLength != expected) {
    *error = csp::NTE_BAD_LEN;
    return false;
  }
  std::uint32_t openError = 0;
  csp::CryptContext* context = KeyContext(*certificate, registry, openError);
  if (context == nullptr) {
    *error = openError;
    return false;
  }
  Bytes out;
  if (!context->SignHash(certificate->keyProvInfo->keySpec, HashAlgIdFor(generation),
                         std::span<const std::uint8_t>(hash, hashLength), out)) {
    *error = csp::GetLastError();
    return false;
  }
  *signature = std::move(out);
  *error = 0;
  return true;
}

bool SignHash(CertificateContext* certificate, const std::uint8_t* hash, std::size_t hashLength, Bytes* signature,
              std::uint32_t* error) {
  return SignHash(certificate, hash, hashLength, signature, error, csp::DefaultRegistry());
}

}  // namespace orvane::crypto
