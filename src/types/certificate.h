// A certificate as the certificate stores keep it: its DER bytes and its properties, above
// all the key-provider information that says which container holds its private key. Shared
// by the stores, the provider layer and everything that signs with a certificate.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "types/types.h"

namespace orvane {

namespace csp {
class CryptContext;  // an open provider context (provider layer)
}

// CERT_KEY_PROV_INFO_PROP_ID.
struct KeyProvInfo {
  std::u16string containerName;  // as passed to AcquireContext (path or bare name)
  std::u16string providerName;
  std::uint32_t provType = 0;
  std::uint32_t flags = 0;    // CERT_SET_KEY_CONTEXT_PROP_ID once the context is kept
  std::uint32_t keySpec = 1;  // AT_KEYEXCHANGE
};

inline constexpr std::uint32_t CERT_SET_KEY_CONTEXT_PROP_ID = 1;

struct CertificateContext {
  Bytes der;
  std::optional<KeyProvInfo> keyProvInfo;
  // The provider context kept with the certificate after its first use, so that one PIN
  // entry serves the following operations on the same certificate.
  std::shared_ptr<csp::CryptContext> keyContext;
};

using CertificatePtr = std::shared_ptr<CertificateContext>;

}  // namespace orvane
