// Signing primitives and thumbprints: the SHA-1 thumbprint of a certificate, its GOST
// generation, an attached PKCS#7 SignedData made with its key, and a raw signature of a
// given hash value. The private-key work is done by the certificate's provider through the
// provider layer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "csp/catalogue.h"
#include "csp/certificate.h"
#include "csp/provider.h"

namespace orvane::crypto {

using csp::Bytes;
using csp::CertificateContext;
using csp::GostGeneration;

// 40 upper-case hexadecimal digits of SHA-1 over the certificate's DER; none without one.
std::optional<std::string> CertificateThumbprint(const CertificateContext* certificate);
// The same digest, raw.
std::optional<std::array<std::uint8_t, 20>> CertificateSha1(const CertificateContext* certificate);

// From the certificate's signature algorithm: 1.2.643.2.2.3 -> 0, 1.2.643.7.1.1.3.2 -> 1,
// 1.2.643.7.1.1.3.3 -> 2; anything else or no certificate -> -1.
GostGeneration CertificateGeneration(const CertificateContext* certificate);
GostGeneration CertificateGeneration(std::span<const std::uint8_t> der);

// Hash OID (SignMessage) and hash algorithm id (SignHash) of a generation; none / 0x801E
// for -1. Hash length 32, 32, 64; 0 for -1.
std::optional<std::string> HashOidFor(GostGeneration generation);
std::uint32_t HashAlgIdFor(GostGeneration generation);
std::size_t HashLengthFor(GostGeneration generation);

// Base64 of an attached PKCS#7 SignedData over data: the hash of the certificate's
// generation, no certificates, no CRLs, no signed or unsigned attributes. None on any
// failure (no key, non-GOST certificate, provider failure).
std::optional<std::string> SignMessage(CertificateContext* certificate, const std::uint8_t* data, std::size_t length,
                                       const csp::ProviderRegistry& registry);
std::optional<std::string> SignMessage(CertificateContext* certificate, const std::uint8_t* data, std::size_t length);

// A raw signature of the given hash value with the certificate's key, in the byte order of
// the platform provider (reversed relative to the X.509 layout). Missing inputs: false with
// 0xFFFFFFFF; no key-provider property: false with 0; a hash whose length is not the
// algorithm's: false with NTE_BAD_LEN; otherwise the provider's last error.
bool SignHash(CertificateContext* certificate, const std::uint8_t* hash, std::size_t hashLength, Bytes* signature,
              std::uint32_t* error, const csp::ProviderRegistry& registry);
bool SignHash(CertificateContext* certificate, const std::uint8_t* hash, std::size_t hashLength, Bytes* signature,
              std::uint32_t* error);

}  // namespace orvane::crypto
