// The GOST algorithm generations and the one table of their object identifiers (signature
// and hash algorithms), the fields of a certificate that signing needs, and the SHA-1
// thumbprint by which the request system names certificates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "types/certificate.h"

namespace orvane::crypto {

// GOST algorithm generation: 0 GOST R 34.10-2001, 1 GOST R 34.10-2012 256-bit,
// 2 GOST R 34.10-2012 512-bit, -1 not GOST.
using GostGeneration = std::int32_t;
inline constexpr GostGeneration kGost2001 = 0;
inline constexpr GostGeneration kGost2012_256 = 1;
inline constexpr GostGeneration kGost2012_512 = 2;
inline constexpr GostGeneration kGostNone = -1;

// Signature algorithm OID of a generation (1.2.643.2.2.3, 1.2.643.7.1.1.3.2,
// 1.2.643.7.1.1.3.3); none for -1.
std::optional<std::string> SignatureOidFor(GostGeneration generation);
// The generation of a signature algorithm OID; -1 for any other.
GostGeneration GenerationOfSignatureOid(std::string_view oid);
// Hash OID of a generation (1.2.643.2.2.9, 1.2.643.7.1.1.2.2, 1.2.643.7.1.1.2.3); none for -1.
std::optional<std::string> HashOidFor(GostGeneration generation);
// Hash length of a generation: 32, 32, 64; 0 for -1.
std::size_t HashLengthFor(GostGeneration generation);

// Fields of a certificate's DER that signing needs; none when it is not a certificate.
struct CertificateFields {
  std::span<const std::uint8_t> serial;  // whole INTEGER
  std::span<const std::uint8_t> issuer;  // whole Name
  std::string signatureOid;
  std::string publicKeyOid;
};
std::optional<CertificateFields> SplitCertificate(std::span<const std::uint8_t> der);

// From the certificate's signature algorithm: 1.2.643.2.2.3 -> 0, 1.2.643.7.1.1.3.2 -> 1,
// 1.2.643.7.1.1.3.3 -> 2; anything else or no certificate -> -1.
GostGeneration CertificateGeneration(std::span<const std::uint8_t> der);
GostGeneration CertificateGeneration(const CertificateContext* certificate);

// SHA-1 (CPSha1) over the certificate's DER, raw and as 40 upper-case hexadecimal digits;
// none without a certificate.
std::optional<std::array<std::uint8_t, 20>> CertificateSha1(const CertificateContext* certificate);
std::optional<std::string> CertificateThumbprint(const CertificateContext* certificate);
std::string ThumbprintOf(std::span<const std::uint8_t> der);

}  // namespace orvane::crypto
