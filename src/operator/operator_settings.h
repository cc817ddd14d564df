// Loading the operator certificate at start: the stored thumbprint, the certificate from the
// user's "MY" store, and its rights (the rights check). Without rights there is no operator
// certificate for this run; the stored value is kept.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "operator/rights_check.h"
#include "platform/cert_store.h"
#include "platform/settings_store.h"
#include "types/certificate.h"

namespace orvane::op {

struct OperatorSettings {
  csp::CertificatePtr certificate;             // none: no operator certificate this run
  std::shared_ptr<verifyClientResult> rights;  // the rights check's result
  std::uint32_t blockCarrier = 0;              // the "blockCarrier" setting
};

using RightsCheck = std::function<std::shared_ptr<verifyClientResult>(const csp::CertificatePtr&)>;

OperatorSettings LoadOperatorSettings(platform::SettingsStore& settings, const platform::CertStoreOpener& stores,
                                      const RightsCheck& verify);

}  // namespace orvane::op
