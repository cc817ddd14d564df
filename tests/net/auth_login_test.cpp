// The seven-step login against a scripted authentication host: the replies' shapes it must
// read, and what a hostile host must not get out of it.
#include "net/auth_login.h"

#include <gtest/gtest.h>

#include <map>

#include "support/tls_test_server.h"

using namespace orvane;
using namespace orvane::net;
using test::Connection;
using test::HttpResponse;
using test::RawRequest;
using test::RawServer;

namespace {

class NoProxy : public platform::ProxyResolver {
 public:
  std::optional<platform::UserProxySettings> ReadUserSettings() override { return platform::UserProxySettings{}; }
  std::optional<std::string> Discover(const std::string&) override { return std::string(); }
};

class LoginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    certs = test::MakeTestCertificates(dir.Path());
    server = std::make_unique<RawServer>(
        [this](const RawRequest& r, Connection& c) {
          const std::string path = r.path.starts_with("/login/certificate/") ? "/login/certificate/" : r.path;
          const auto it = replies.find(path);
          if (it == replies.end()) {
            c.Send(HttpResponse(404, ""));
            return;
          }
          c.Send(HttpResponse(200, it->second.first, it->second.second));
        },
        certs.certFile, certs.keyFile);
    peer = LoginPeer{
        "127.0.0.1", static_cast<std::uint16_t>(server->Port()), "127.0.0.1", "secret", std::make_shared<NoProxy>(),
        certs.caFile};
    replies["/login/request"] = {"https://auth/login/certificate/req-1", {}};
    replies["/login/certificate/"] = {"<html/>", {{"Set-Cookie", "Session=1; CorrelationId=c%20d; Path=/"}}};
    replies["/login/ComputeHashForSignature"] = {"AQID", {}};
    replies["/login/VerifySignature"] = {"ok", {}};
    replies["/login/Users"] = {R"([{"name":"x","id":"user-7"}])", {}};
    replies["/login/Authorize"] = {"https://lk/?auth_token=tok-42", {}};
  }
  bool Run(LoginContext& ctx) {
    return Login(ctx, peer, {0x30, 0x00}, [](const std::vector<std::uint8_t>&) {
      return std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{9, 9});
    });
  }

  test::TempDir dir;
  test::TestCertificates certs;
  std::unique_ptr<RawServer> server;
  LoginPeer peer;
  std::map<std::string, std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> replies;
};

}  // namespace

TEST_F(LoginTest, TheSevenStepsAndWhatEachReads) {
  LoginContext ctx;
  ASSERT_TRUE(Run(ctx)) << ctx.failedStep;
  EXPECT_EQ(ctx.requestId, "req-1");
  EXPECT_EQ(ctx.correlationId, "c d");  // percent-decoded
  EXPECT_EQ(ctx.userId, "user-7");
  EXPECT_EQ(ctx.authToken, "tok-42");
  const auto reqs = server->Requests();
  ASSERT_EQ(reqs.size(), 6u);
  EXPECT_EQ(reqs[1].path, "/login/certificate/req-1");
  EXPECT_EQ(reqs[2].Header("Cookie"), "CorrelationId=c d");
}

TEST_F(LoginTest, ARequestIdWithALineBreakOrOddCharactersStaysOnePathSegment) {
  replies["/login/request"] = {"https://auth/login/certificate/req 1/x?\r\n", {}};
  LoginContext ctx;
  // The id is what follows the last "/": "x?" once trimmed, encoded in the path.
  ASSERT_TRUE(Run(ctx)) << ctx.failedStep;
  EXPECT_EQ(ctx.requestId, "x?");
  EXPECT_EQ(server->Requests()[1].path, "/login/certificate/x%3F");

  replies["/login/request"] = {"https://auth/login/certificate/ \r\n", {}};
  LoginContext blank;
  EXPECT_FALSE(Run(blank));
  EXPECT_EQ(blank.failedStep, 1);
}

TEST_F(LoginTest, ACookieThatWouldInjectHeadersEndsTheLogin) {
  replies["/login/certificate/"] = {"<html/>", {{"Set-Cookie", "CorrelationId=a%0D%0AX-Evil:%201; Path=/"}}};
  LoginContext ctx;
  EXPECT_FALSE(Run(ctx));
  EXPECT_EQ(ctx.failedStep, 3);
  for (const auto& r : server->Requests()) {
    EXPECT_EQ(r.Header("X-Evil"), "") << r.path;
    EXPECT_NE(r.path, "/login/ComputeHashForSignature") << "nothing is sent with such a header";
  }
}

TEST_F(LoginTest, RepliesWithoutWhatTheStepNeeds) {
  const std::pair<std::string, std::string> broken[] = {
      {"/login/request", "no slash"},
      {"/login/Users", R"({"name":"x"})"},
      {"/login/Authorize", "https://lk/?auth_token="},
  };
  const int steps[] = {1, 6, 7};
  for (std::size_t i = 0; i < std::size(broken); ++i) {
    SCOPED_TRACE(broken[i].first);
    const auto saved = replies[broken[i].first];
    replies[broken[i].first] = {broken[i].second, {}};
    LoginContext ctx;
    EXPECT_FALSE(Run(ctx));
    EXPECT_EQ(ctx.failedStep, steps[i]);
    replies[broken[i].first] = saved;
  }
  replies["/login/certificate/"] = {"<html/>", {}};  // no cookie at all
  LoginContext ctx;
  EXPECT_FALSE(Run(ctx));
  EXPECT_EQ(ctx.failedStep, 2);
}
