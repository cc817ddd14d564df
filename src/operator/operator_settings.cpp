#include "operator/operator_settings.h"

#include <algorithm>

namespace orvane::op {

OperatorSettings LoadOperatorSettings(platform::SettingsStore& settings, const platform::CertStoreOpener& stores,
                                      const RightsCheck& verify) {
  OperatorSettings out;
  if (!settings.Available()) return out;
  const auto stored = settings.ReadBinary("agentCertificate");
  if (!stored) return out;
  // With a stored certificate, a missing "blockCarrier" means the operator's carrier is blocked.
  out.blockCarrier = settings.ReadNumber("blockCarrier").value_or(1);
  if (stored->size() != 20) return out;
  platform::Sha1 thumbprint{};
  std::copy(stored->begin(), stored->end(), thumbprint.begin());
  std::uint32_t error = 0;
  auto store = stores("MY", platform::StoreLocation::CurrentUser, true, error);
  if (!store) return out;
  auto certificate = store->Find(thumbprint);
  if (!certificate) return out;
  out.rights = verify ? verify(certificate) : nullptr;
  if (out.rights) out.certificate = std::move(certificate);
  return out;
}

}  // namespace orvane::op
