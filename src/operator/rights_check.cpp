#include "operator/rights_check.h"

#include <ctime>

#include "crypto/gost.h"
#include "keys/signing.h"

namespace orvane::op {

int LocalYear() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm.tm_year + 1900;
}

std::shared_ptr<verifyClientResult> VerifyOperator(WizardUi& ui, WindowHandle owner,
                                                   const csp::CertificatePtr& certificate,
                                                   const RightsCheckPeers& peers) {
  if (!certificate || peers.requestSystem == nullptr || peers.registry == nullptr) return nullptr;
  if (crypto::CertificateGeneration(certificate.get()) == crypto::kGost2001 &&
      (peers.year ? peers.year() : LocalYear()) >= 2020) {
    ui.ShowError(owner, u"Использование ГОСТ 34.10-2001 запрещено с 01.01.2020");
    return nullptr;
  }
  net::LoginContext login;
  const bool loggedIn = net::Login(login, peers.login, certificate->der, [&](const std::vector<std::uint8_t>& hash) {
    Bytes signature;
    std::uint32_t error = 0;
    if (!keys::SignHash(certificate.get(), hash.data(), hash.size(), &signature, &error, *peers.registry)) {
      return std::optional<std::vector<std::uint8_t>>();
    }
    return std::optional<std::vector<std::uint8_t>>(std::move(signature));
  });
  if (!loggedIn) {
    ui.ShowError(owner, u"Произошла ошибка аутентификации на сервере");
    return nullptr;
  }
  const auto thumbprint = crypto::CertificateThumbprint(certificate.get());
  if (!thumbprint) return nullptr;
  const auto flags = peers.requestSystem->CertVerify(owner, *thumbprint, login.authToken);
  if (!flags) return nullptr;
  if (!flags->agentMode && !flags->clientAllowed) {
    ui.ShowError(owner, u"Для выбранного сертификата не определены права. Обратитесь к администратору.");
    return nullptr;
  }
  auto result = std::make_shared<verifyClientResult>();
  result->agentMode = flags->agentMode;
  result->clientAllowed = flags->clientAllowed;
  result->authToken = login.authToken;
  return result;
}

std::optional<net::OperatorIdentity> OperatorIdentityFor(const csp::CertificatePtr& certificate,
                                                         const verifyClientResult& rights,
                                                         const csp::ProviderRegistry& registry) {
  if (!certificate) return std::nullopt;
  const auto thumbprint = crypto::CertificateThumbprint(certificate.get());
  if (!thumbprint) return std::nullopt;
  net::OperatorIdentity id;
  id.thumbprint = *thumbprint;
  id.authToken = rights.authToken;
  id.signMessage = [certificate, &registry](const std::vector<std::uint8_t>& message) {
    return keys::SignMessage(certificate.get(), message.data(), message.size(), registry);
  };
  return id;
}

}  // namespace orvane::op
