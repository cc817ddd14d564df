// The operator rights check: a GOST 2001 certificate is refused from 2020 on, the
// certificate logs in to the authentication host, and "/a/cert_verify" says whether its
// holder is an operator or an allowed client. Every failure shows one message and gives none.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "csp/provider.h"
#include "net/auth_login.h"
#include "net/request_system.h"
#include "types/certificate.h"

namespace orvane::op {

struct verifyClientResult {
  bool agentMode = false;
  bool clientAllowed = false;
  std::optional<std::string> authToken;
};

// The current year of the local date; tests set their own.
using YearSource = std::function<int()>;
int LocalYear();

struct RightsCheckPeers {
  net::RequestSystem* requestSystem = nullptr;
  const csp::ProviderRegistry* registry = nullptr;  // opens the certificate's key
  net::LoginPeer login;
  YearSource year = LocalYear;
};

std::shared_ptr<verifyClientResult> VerifyOperator(WizardUi& ui, WindowHandle owner,
                                                   const csp::CertificatePtr& certificate,
                                                   const RightsCheckPeers& peers);

// The identity the request-system operations send for an operator: thumbprint, token and a
// signer of messages with the certificate's key.
// The registry must outlive the identity.
std::optional<net::OperatorIdentity> OperatorIdentityFor(const csp::CertificatePtr& certificate,
                                                         const verifyClientResult& rights,
                                                         const csp::ProviderRegistry& registry);

}  // namespace orvane::op
