// Signing with a certificate's key: an attached PKCS#7 SignedData and a raw signature of a
// given hash value. The private-key work is done by the certificate's provider, opened
// through the registry it is given. Thumbprints and generations are in crypto/gost.h.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "crypto/gost.h"
#include "csp/provider.h"
#include "types/certificate.h"

namespace orvane::keys {

using crypto::GostGeneration;
using csp::Bytes;
using csp::CertificateContext;

// Hash algorithm id (SignHash) of a generation; 0x801E for -1.
std::uint32_t HashAlgIdFor(GostGeneration generation);

// Base64 of an attached PKCS#7 SignedData over data: the hash of the certificate's
// generation, no certificates, no CRLs, no signed or unsigned attributes. None on any
// failure (no key, non-GOST certificate, provider failure).
std::optional<std::string> SignMessage(CertificateContext* certificate, const std::uint8_t* data, std::size_t length,
                                       const csp::ProviderRegistry& registry);

// A raw signature of the given hash value with the certificate's key, in the byte order of
// the platform provider (reversed relative to the X.509 layout). Missing inputs: false with
// 0xFFFFFFFF; no key-provider property: false with 0; a hash whose length is not the
// algorithm's: false with NTE_BAD_LEN; otherwise the provider's last error.
bool SignHash(CertificateContext* certificate, const std::uint8_t* hash, std::size_t hashLength, Bytes* signature,
              std::uint32_t* error, const csp::ProviderRegistry& registry);

}  // namespace orvane::keys
