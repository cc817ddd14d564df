#include "net/auth_login.h"

#include "net/http_client.h"
#include "text/text.h"

namespace orvane::net {
namespace {

// Reply texts are read into a scratch area of this size (the text and its terminator).
constexpr std::size_t kScratch = 32768;

struct StepReply {
  int status = -1;
  std::optional<std::string> text;  // at most 32,767 bytes
  std::optional<std::u16string> correlation;
};

StepReply Exchange(const LoginPeer& peer, const LoginContext& ctx, bool get, const std::u16string& path,
                   const FormFields* form, bool withCookie) {
  StepReply out;
  HttpClient client(peer.resolver, peer.extraCaFile);
  if (!client.Connect(text::FromUtf8(peer.authHost), peer.authPort)) return out;
  if (withCookie) {
    const std::string cookie = "CorrelationId=" + ctx.correlationId.value_or(std::string());
    client.AddRequestHeader("Cookie", cookie.c_str());
  }
  HttpReply reply = get ? client.Get(path) : client.PostForm(path, form);
  out.status = reply.status;
  out.correlation = client.FindCorrelationCookie();
  client.CloseRequest();
  if (reply.body) {
    std::string t(static_cast<std::size_t>(std::min<std::int64_t>(reply.body->Length(), kScratch - 1)), '\0');
    const std::int64_t n = t.empty() ? 0 : reply.body->Read(t.data(), static_cast<std::int64_t>(t.size()));
    t.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    // The scratch is NUL-terminated text: an embedded NUL ends it.
    if (const auto nul = t.find('\0'); nul != std::string::npos) t.resize(nul);
    out.text = std::move(t);
  }
  return out;
}

bool Fail(LoginContext& ctx, int step) {
  ctx.failedStep = step;
  return false;
}

bool HasText(const StepReply& r) {
  return r.status == 200 && r.text && !r.text->empty();
}

}  // namespace

LoginPeer LoginPeerFrom(const config::DeploymentConfig& c) {
  return LoginPeer{c.authHost, c.authPort, c.requestHost, c.clientSecret, nullptr, c.extraCaFile};
}

bool Login(LoginContext& ctx, const LoginPeer& peer, const std::vector<std::uint8_t>& certificateDer,
           const HashSigner& signHash) {
  ctx = LoginContext{};
  if (certificateDer.empty()) return Fail(ctx, 1);

  // 1. Login request: the reply names the login request; its id is after the last "/".
  FormFields form1;
  AddField(form1, "Secret", peer.clientSecret);
  AddField(form1, "ReturnUrl", "http://" + peer.requestHost + "/");
  const StepReply r1 = Exchange(peer, ctx, false, u"/login/request", &form1, false);
  if (!HasText(r1)) return Fail(ctx, 1);
  const auto slash = r1.text->rfind('/');
  if (slash == std::string::npos || slash + 1 >= r1.text->size()) return Fail(ctx, 1);
  // The id as the server meant it: without the line break or blanks a reply may end with.
  ctx.requestId = text::TrimSpaces(std::string_view(*r1.text).substr(slash + 1));
  if (ctx.requestId->empty()) return Fail(ctx, 1);

  // 2. Certificate page: the CorrelationId cookie. The id goes into the path percent-encoded:
  // whatever the server sent, it stays one path segment.
  std::u16string path2 =
      u"/login/certificate/" + text::FromUtf8(text::PercentEncode(*ctx.requestId, [](unsigned char c, std::size_t) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' ||
               c == '_' || c == '~';
      }));
  if (path2.size() > 1024) path2.resize(1024);
  const StepReply r2 = Exchange(peer, ctx, true, path2, nullptr, false);
  if (r2.status != 200 || !r2.correlation) return Fail(ctx, 2);
  const std::string correlationUtf8 = text::ToUtf8(*r2.correlation);
  ctx.correlationId = text::PercentDecode(correlationUtf8.c_str());
  if (!ctx.correlationId) return Fail(ctx, 2);

  // 3. The hash the server wants signed.
  FormFields form3;
  AddField(form3, "RequestId", *ctx.requestId);
  AddField(form3, "Certificate", text::Base64Encode(certificateDer));
  const StepReply r3 = Exchange(peer, ctx, false, u"/login/ComputeHashForSignature", &form3, true);
  if (!HasText(r3)) return Fail(ctx, 3);
  ctx.hashToSign = *r3.text;

  // 4. Local signature of the hash value.
  const auto hash = text::Base64Decode(*ctx.hashToSign);
  if (!hash || hash->empty() || !signHash) return Fail(ctx, 4);
  const auto signature = signHash(*hash);
  if (!signature || signature->empty()) return Fail(ctx, 4);
  ctx.signature = text::Base64Encode(*signature);

  // 5. Signature check.
  FormFields form5;
  AddField(form5, "RequestId", *ctx.requestId);
  AddField(form5, "Signature", *ctx.signature);
  if (Exchange(peer, ctx, false, u"/login/VerifySignature", &form5, true).status != 200) return Fail(ctx, 5);

  // 6. Account: the value of the quoted name "id".
  FormFields form6;
  AddField(form6, "RequestId", *ctx.requestId);
  const StepReply r6 = Exchange(peer, ctx, false, u"/login/Users", &form6, true);
  if (!HasText(r6)) return Fail(ctx, 6);
  const auto idAt = r6.text->find("\"id\"");
  if (idAt == std::string::npos || idAt + 5 > r6.text->size()) return Fail(ctx, 6);
  const auto open = r6.text->find('"', idAt + 5);
  if (open == std::string::npos) return Fail(ctx, 6);
  const auto close = r6.text->find('"', open + 1);
  if (close == std::string::npos) return Fail(ctx, 6);
  ctx.userId = r6.text->substr(open + 1, close - open - 1);

  // 7. Authorisation: everything after "auth_token=".
  FormFields form7;
  AddField(form7, "requestId", *ctx.requestId);
  AddField(form7, "userId", *ctx.userId);
  const StepReply r7 = Exchange(peer, ctx, false, u"/login/Authorize", &form7, true);
  if (!HasText(r7)) return Fail(ctx, 7);
  static constexpr std::string_view kMarker = "auth_token=";
  const auto at = r7.text->find(kMarker);
  if (at == std::string::npos || at + kMarker.size() >= r7.text->size()) return Fail(ctx, 7);
  ctx.authToken = r7.text->substr(at + kMarker.size());
  return true;
}

}  // namespace orvane::net
