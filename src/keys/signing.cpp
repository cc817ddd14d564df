#include "keys/signing.h"

#include <algorithm>

#include "crypto/der.h"
#include "crypto/gost.h"
#include "text/text.h"

namespace orvane::keys {
namespace {

// Opens (once) the container named by the certificate's key-provider property and keeps the
// context with the certificate.
csp::CryptContext* KeyContext(CertificateContext& certificate, const csp::ProviderRegistry& registry,
                              std::uint32_t& error) {
  auto& info = *certificate.keyProvInfo;
  info.flags = CERT_SET_KEY_CONTEXT_PROP_ID;
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

std::uint32_t HashAlgIdFor(GostGeneration generation) {
  switch (generation) {
    case crypto::kGost2012_256:
      return csp::CALG_GR3411_2012_256;
    case crypto::kGost2012_512:
      return csp::CALG_GR3411_2012_512;
    default:
      return csp::CALG_GR3411;
  }
}

std::optional<std::string> SignMessage(CertificateContext* certificate, const std::uint8_t* data, std::size_t length,
                                       const csp::ProviderRegistry& registry) {
  if (certificate == nullptr || (data == nullptr && length != 0)) return std::nullopt;
  if (!certificate->keyProvInfo) return std::nullopt;
  const GostGeneration generation = crypto::CertificateGeneration(certificate);
  const auto hashOid = crypto::HashOidFor(generation);
  const auto parts = crypto::SplitCertificate(certificate->der);
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

  const auto hashAlgOid = crypto::der::Oid(*hashOid);
  const auto keyAlgOid = crypto::der::Oid(parts->publicKeyOid);
  if (!hashAlgOid || !keyAlgOid) return std::nullopt;
  const Bytes digestAlgorithm = crypto::der::Sequence({*hashAlgOid});
  const Bytes signerInfo = crypto::der::Sequence(
      {crypto::der::Integer(1),
       crypto::der::Sequence(
           {Bytes(parts->issuer.begin(), parts->issuer.end()), Bytes(parts->serial.begin(), parts->serial.end())}),
       digestAlgorithm, crypto::der::Sequence({*keyAlgOid}), crypto::der::OctetString(signature)});
  const Bytes encapsulated = crypto::der::Sequence(
      {*crypto::der::Oid("1.2.840.113549.1.7.1"), crypto::der::ContextExplicit(0, crypto::der::OctetString(content))});
  const Bytes signedData = crypto::der::Sequence(
      {crypto::der::Integer(1), crypto::der::Set({digestAlgorithm}), encapsulated, crypto::der::Set({signerInfo})});
  const Bytes contentInfo =
      crypto::der::Sequence({*crypto::der::Oid("1.2.840.113549.1.7.2"), crypto::der::ContextExplicit(0, signedData)});
  return text::Base64Encode(contentInfo);
}

bool SignHash(CertificateContext* certificate, const std::uint8_t* hash, std::size_t hashLength, Bytes* signature,
              std::uint32_t* error, const csp::ProviderRegistry& registry) {
  if (certificate == nullptr || hash == nullptr || hashLength == 0 || signature == nullptr || error == nullptr) {
    if (error != nullptr) *error = 0xFFFFFFFF;
    return false;
  }
  signature->clear();
  const GostGeneration generation = crypto::CertificateGeneration(certificate);
  if (!certificate->keyProvInfo) {
    *error = 0;
    return false;
  }
  // The given value must be exactly one hash of the algorithm; nothing past it is read.
  // A certificate of no GOST generation is tried with GOST R 34.11-94, as its hash id says.
  const std::size_t expected = generation == crypto::kGostNone ? 32 : crypto::HashLengthFor(generation);
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

}  // namespace orvane::keys
