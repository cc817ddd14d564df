// Login at the authentication host with an operator certificate: six HTTPS exchanges on
// fresh clients (request, certificate page with the CorrelationId cookie, hash to sign, the
// signature check, the account, the authorisation) and one local hash signature. Yields the
// login token that "/a/cert_verify" accepts. Shows no message: the caller words a failure.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/deployment_config.h"
#include "platform/proxy_settings.h"

namespace orvane::net {

struct LoginContext {
  std::optional<std::string> correlationId;
  std::optional<std::string> requestId;
  std::optional<std::string> hashToSign;
  std::optional<std::string> signature;
  std::optional<std::string> userId;
  std::optional<std::string> authToken;
  int failedStep = 0;  // 1-7 when Login failed, for diagnostics and tests
};

struct LoginPeer {
  std::string authHost;
  std::uint16_t authPort = 443;
  std::string requestHost;  // for the return URL "http://<host>/"
  std::string clientSecret;
  std::shared_ptr<platform::ProxyResolver> resolver;  // null: the user's settings
  std::string extraCaFile;                            // trusted besides the system store
};

// The deployment's authentication host, request-system host, client secret and CA file.
LoginPeer LoginPeerFrom(const config::DeploymentConfig& deployment);

// Signs a hash value with the certificate's key; the signature in the provider's byte order,
// none on failure.
using HashSigner = std::function<std::optional<std::vector<std::uint8_t>>(const std::vector<std::uint8_t>& hash)>;

// Runs the seven steps; true when ctx.authToken has been obtained.
bool Login(LoginContext& ctx, const LoginPeer& peer, const std::vector<std::uint8_t>& certificateDer,
           const HashSigner& signHash);

}  // namespace orvane::net
