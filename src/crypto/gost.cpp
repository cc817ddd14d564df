#include "crypto/gost.h"

#include "crypto/der.h"
#include "crypto/sha1.h"
#include "text/text.h"

namespace orvane::crypto {
namespace {

struct GenerationOids {
  GostGeneration generation;
  const char* signature;
  const char* hash;
  std::size_t hashLength;
};

constexpr GenerationOids kTable[] = {
    {kGost2001, "1.2.643.2.2.3", "1.2.643.2.2.9", 32},
    {kGost2012_256, "1.2.643.7.1.1.3.2", "1.2.643.7.1.1.2.2", 32},
    {kGost2012_512, "1.2.643.7.1.1.3.3", "1.2.643.7.1.1.2.3", 64},
};

const GenerationOids* Row(GostGeneration generation) {
  for (const auto& row : kTable) {
    if (row.generation == generation) return &row;
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> SignatureOidFor(GostGeneration generation) {
  const auto* row = Row(generation);
  if (row == nullptr) return std::nullopt;
  return row->signature;
}

GostGeneration GenerationOfSignatureOid(std::string_view oid) {
  for (const auto& row : kTable) {
    if (oid == row.signature) return row.generation;
  }
  return kGostNone;
}

std::optional<std::string> HashOidFor(GostGeneration generation) {
  const auto* row = Row(generation);
  if (row == nullptr) return std::nullopt;
  return row->hash;
}

std::size_t HashLengthFor(GostGeneration generation) {
  const auto* row = Row(generation);
  return row == nullptr ? 0 : row->hashLength;
}

std::optional<CertificateFields> SplitCertificate(std::span<const std::uint8_t> der) {
  auto cert = der::Read(der);
  if (!cert || cert->tag != der::tag::kSequence) return std::nullopt;
  auto top = der::Children(*cert);
  if (!top || top->size() != 3 || (*top)[0].tag != der::tag::kSequence || (*top)[1].tag != der::tag::kSequence) {
    return std::nullopt;
  }
  CertificateFields parts;
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

GostGeneration CertificateGeneration(std::span<const std::uint8_t> der) {
  const auto parts = SplitCertificate(der);
  return parts ? GenerationOfSignatureOid(parts->signatureOid) : kGostNone;
}

GostGeneration CertificateGeneration(const CertificateContext* certificate) {
  if (certificate == nullptr) return kGostNone;
  return CertificateGeneration(certificate->der);
}

std::optional<std::array<std::uint8_t, 20>> CertificateSha1(const CertificateContext* certificate) {
  if (certificate == nullptr) return std::nullopt;
  return CPSha1::Of(certificate->der.data(), certificate->der.size());
}

std::optional<std::string> CertificateThumbprint(const CertificateContext* certificate) {
  if (certificate == nullptr) return std::nullopt;
  return ThumbprintOf(certificate->der);
}

std::string ThumbprintOf(std::span<const std::uint8_t> der) {
  const auto digest = CPSha1::Of(der.data(), der.size());
  return text::HexUpper(digest.data(), digest.size());
}

}  // namespace orvane::crypto
