// The readable view of an X.509 certificate that the certificate viewer shows: the general part
// (owner, issuer, validity, thumbprint) and one (name, value) row per field, with the same
// texts the certificate form uses for names, dates, algorithms and extensions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace orvane::render {

struct CertificateView {
  std::u16string owner;      // the subject's common name, else the whole subject in one line
  std::u16string issuer;     // the same for the issuer
  std::u16string validFrom;  // "5 марта 2024 г. 09:30:00 UTC"
  std::u16string validTo;
  std::u16string thumbprint;  // SHA-1, 40 upper-case hexadecimal digits
  // Версия, Серийный номер, Алгоритм подписи, Издатель, Действителен с, Действителен по,
  // Субъект, Открытый ключ, one row per extension, Подпись, Отпечаток.
  std::vector<std::pair<std::u16string, std::u16string>> fields;
};

// None when the bytes are not exactly one well-formed certificate.
std::optional<CertificateView> DescribeCertificate(std::span<const std::uint8_t> der);

}  // namespace orvane::render
