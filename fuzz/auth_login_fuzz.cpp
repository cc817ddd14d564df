// The login at the authentication host reading the replies of its steps: the login request's
// address, the CorrelationId cookie, the hash to sign (Base64), the account list and the
// authorisation address. The input is a script of HTTP replies (format in
// common/fake_curl.h), one per exchange in order: request, certificate page, hash,
// signature check, account, authorisation. Missing replies fail to connect.
//
// Checked besides memory safety: nothing a reply carries reaches a request header as a line
// break or the address as a blank (the fake transport checks each request), a successful
// login has its token, request id and account, a failed one names its step, and no login
// makes more than its six exchanges.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/fake_curl.h"
#include "common/fuzz_env.h"
#include "net/auth_login.h"
#include "platform/proxy_settings.h"

using namespace orvane;

namespace {

class NoProxy : public platform::ProxyResolver {
 public:
  std::optional<platform::UserProxySettings> ReadUserSettings() override { return platform::UserProxySettings{}; }
  std::optional<std::string> Discover(const std::string&) override { return std::string(); }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UsePrivateTempDir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetScriptedReplies(fuzz::ParseReplyScript({data, size}), /*cycle=*/false);
  const net::LoginPeer peer{"auth.fuzz.invalid",         443, "lk.fuzz.invalid", "client-secret",
                            std::make_shared<NoProxy>(), ""};
  // A certificate is only passed on (Base64) by the login; its content does not matter here.
  const std::vector<std::uint8_t> certificate = {0x30, 0x03, 0x02, 0x01, 0x01};
  net::LoginContext ctx;
  const bool ok = net::Login(ctx, peer, certificate, [](const std::vector<std::uint8_t>& hash) {
    if (hash.empty()) fuzz::Finding("an empty hash was handed to the signer");
    return std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>(64, 0x5A));
  });
  if (ok) {
    if (!ctx.authToken || ctx.authToken->empty()) fuzz::Finding("login succeeded without a token");
    if (!ctx.requestId || ctx.requestId->empty()) fuzz::Finding("login succeeded without a request id");
    if (!ctx.userId) fuzz::Finding("login succeeded without an account");
    if (ctx.failedStep != 0) fuzz::Finding("login succeeded with a failed step");
  } else if (ctx.failedStep < 1 || ctx.failedStep > 7) {
    fuzz::Finding("failed login without its step");
  }
  if (fuzz::PerformedExchanges() > 6) fuzz::Finding("more than six exchanges in one login");
  return 0;
}
