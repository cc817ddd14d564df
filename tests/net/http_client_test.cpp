#include "net/http_client.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/tls_test_server.h"
#include "text/text.h"

using namespace orvane;
using namespace orvane::net;
using test::Connection;
using test::HttpResponse;
using test::RawRequest;
using test::RawServer;

namespace {

// A resolver with fixed answers, so that the proxy rules are tested without the desktop.
class FixedResolver : public platform::ProxyResolver {
 public:
  std::optional<platform::UserProxySettings> settings = platform::UserProxySettings{};
  std::optional<std::string> discovered = std::string();
  int discoverCalls = 0;
  std::optional<platform::UserProxySettings> ReadUserSettings() override { return settings; }
  std::optional<std::string> Discover(const std::string&) override {
    ++discoverCalls;
    return discovered;
  }
};

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { certs = test::MakeTestCertificates(dir.Path()); }

  std::unique_ptr<RawServer> Serve(RawServer::Handler h) {
    return std::make_unique<RawServer>(std::move(h), certs.certFile, certs.keyFile);
  }

  std::unique_ptr<HttpClient> Client(std::uint16_t port) {
    auto c = std::make_unique<HttpClient>(resolver);
    c->SetExtraCaFile(certs.caFile);
    EXPECT_TRUE(c->Connect(u"127.0.0.1", port));
    return c;
  }

  static std::string Body(const HttpReply& r) { return r.body ? r.body->ReadAllText().value_or("?") : "<none>"; }

  test::TempDir dir;
  test::TestCertificates certs;
  std::shared_ptr<FixedResolver> resolver = std::make_shared<FixedResolver>();
};

RawServer::Handler Reply(int status, std::string body, std::vector<std::pair<std::string, std::string>> h = {}) {
  return [=](const RawRequest&, Connection& c) { c.Send(HttpResponse(status, body, h)); };
}

}  // namespace

TEST_F(HttpClientTest, FormEncodingAndHeaderOrder) {
  auto server = Serve(Reply(200, "ok"));
  auto client = Client(server->Port());
  client->AddRequestHeader("Cookie", "CorrelationId=abc");
  FormFields form;
  AddField(form, "marker", "a b&c=d\xD0\x96");  // space, ampersand, equals, Cyrillic letter
  AddField(form, "skipped", std::nullopt);
  AddField(form, std::nullopt, "orphan");
  AddField(form, "plain", "Az09-_.~");
  const HttpReply reply = client->PostForm(u"/a/set_request", &form);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(Body(reply), "ok");

  const auto reqs = server->Requests();
  ASSERT_EQ(reqs.size(), 1u);
  const RawRequest& r = reqs[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.path, "/a/set_request");
  EXPECT_EQ(r.body, "marker=a%20b%26c%3Dd%D0%96&plain=Az09-_.~");
  EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size()));
  // Exactly these headers, the caller's first; no Accept, Expect or User-Agent of libcurl's.
  std::vector<std::string> names;
  for (const auto& [n, v] : r.headers) names.push_back(n);
  EXPECT_EQ(names, (std::vector<std::string>{"Host", "Cookie", "X-Mutual-Passthru", "Content-Type", "Content-Length"}));
  EXPECT_EQ(r.Header("X-Mutual-Passthru"), "enable");
  EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.Header("Cookie"), "CorrelationId=abc");
}

TEST_F(HttpClientTest, EmptyAndAbsentFormsSendContentLengthZero) {
  auto server = Serve(Reply(200, ""));
  for (const bool absent : {true, false}) {
    auto client = Client(server->Port());
    FormFields empty;
    const HttpReply reply = client->PostForm(u"/a/kill_marker", absent ? nullptr : &empty);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, nullptr);  // not a single byte read
  }
  for (const auto& r : server->Requests()) {
    EXPECT_EQ(r.Header("Content-Length"), "0");
    EXPECT_EQ(r.body, "");
  }
  FormFields middleAbsent;
  AddField(middleAbsent, "a", "1");
  AddField(middleAbsent, "b", std::nullopt);
  AddField(middleAbsent, "c", "3");
  EXPECT_EQ(EncodeForm(&middleAbsent), "a=1&c=3");
  FormFields firstAbsent;
  AddField(firstAbsent, "a", std::nullopt);
  AddField(firstAbsent, "c", "3");
  EXPECT_EQ(EncodeForm(&firstAbsent), "c=3");
}

TEST_F(HttpClientTest, GetReadsTheBodyOnlyOn200) {
  auto server = Serve([](const RawRequest& r, Connection& c) {
    if (r.path == "/a/get_version") {
      c.Send(HttpResponse(200, "<version>1.36.1642</version>"));
    } else {
      c.Send(HttpResponse(404, "not here"));
    }
  });
  auto ok = Client(server->Port())->Get(u"/a/get_version");
  EXPECT_EQ(ok.status, 200);
  EXPECT_EQ(Body(ok), "<version>1.36.1642</version>");
  auto missing = Client(server->Port())->Get(u"/a/nothing");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body, nullptr);
  const auto reqs = server->Requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].method, "GET");
  EXPECT_EQ(reqs[0].Header("X-Mutual-Passthru"), "enable");
  EXPECT_EQ(reqs[0].Header("Content-Type"), "");
}

TEST_F(HttpClientTest, PostReadsTheBodyForEveryStatus) {
  auto server = Serve(Reply(403, "Доступ запрещен"));
  auto reply = Client(server->Port())->PostForm(u"/a/get_subject", nullptr);
  EXPECT_EQ(reply.status, 403);
  EXPECT_EQ(Body(reply), "Доступ запрещен");
}

TEST_F(HttpClientTest, ReplyHeaders) {
  auto server = Serve([](const RawRequest& r, Connection& c) {
    if (r.path == "/both") {
      c.Send(HttpResponse(200, "",
                          {{"Set-Cookie", "Session=1; CorrelationId=c0rr%3D1; Path=/"},
                           {"x-autoenroll", "YES"},
                           {"X-Spaced", "   padded value  "}}));
    } else if (r.path == "/only") {
      c.Send(HttpResponse(200, "", {{"set-cookie", "CorrelationId=c0rr%3D1"}, {"X-Autoenroll", "no"}}));
    } else if (r.path == "/cut") {
      c.Send(HttpResponse(200, "", {{"Set-Cookie", "a=1"}, {"Set-Cookie", "xCorrelationId"}}));
    } else {
      c.Send(HttpResponse(200, "", {{"Set-Cookie", "Other=2"}}));
    }
  });
  auto client = Client(server->Port());
  EXPECT_EQ(client->Get(u"/both").status, 200);
  EXPECT_EQ(client->FindCorrelationCookie(), u"c0rr%3D1");
  EXPECT_TRUE(client->HasAutoEnrollHeader());
  bool found = false;
  for (const auto& h : client->ResponseHeaders()) {
    EXPECT_FALSE(text::ToUtf8(h->name).starts_with("HTTP/"));  // the status line is not recorded
    if (h->name == u"X-Spaced") {
      found = true;
      EXPECT_EQ(h->value, u"padded value");
    }
  }
  EXPECT_TRUE(found);
  client->CloseRequest();

  auto only = Client(server->Port());
  only->Get(u"/only");
  EXPECT_EQ(only->FindCorrelationCookie(), u"c0rr%3D1");
  EXPECT_FALSE(only->HasAutoEnrollHeader());

  auto cut = Client(server->Port());
  cut->Get(u"/cut");
  EXPECT_EQ(cut->FindCorrelationCookie(), std::nullopt);  // the value ends before "="

  auto none = Client(server->Port());
  none->Get(u"/none");
  EXPECT_EQ(none->FindCorrelationCookie(), std::nullopt);
}

TEST(HeaderParsing, SplitAtFirstColonAndTrim) {
  HeaderList headers;
  ParseHeaderLine(headers, "HTTP/1.1 200 OK\r\n");
  ParseHeaderLine(headers, "  Location :  https://x:8443/a \r\n");
  ParseHeaderLine(headers, "\r\n");
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(headers[0]->name, u"Location");
  EXPECT_EQ(headers[0]->value, u"https://x:8443/a");
}

TEST_F(HttpClientTest, LargeReplySpillsIntoTheFile) {
  std::string big(5 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  auto server = Serve(Reply(200, big));
  auto reply = Client(server->Port())->Get(u"/a/get_certificate");
  ASSERT_EQ(reply.status, 200);
  ASSERT_NE(reply.body, nullptr);
  EXPECT_TRUE(reply.body->HasSpillFile());
  EXPECT_EQ(reply.body->Length(), static_cast<std::int64_t>(big.size()));
  EXPECT_EQ(reply.body->ReadAllText(), big);
}

TEST_F(HttpClientTest, ServerThatStopsSendingTimesOut) {
  auto server = Serve([](const RawRequest& r, Connection& c) {
    if (r.path == "/silent") {
      c.Pause(std::chrono::seconds(10));
      return;
    }
    // Headers and part of the body, then nothing.
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
    c.Pause(std::chrono::seconds(10));
  });
  for (const auto* path : {u"/silent", u"/stalls"}) {
    auto client = Client(server->Port());
    client->SetReceiveTimeout(std::chrono::milliseconds(300));
    const auto reply = client->PostForm(path, nullptr);
    EXPECT_EQ(reply.status, -1);
    EXPECT_EQ(reply.body, nullptr);  // a cut-off reply is not handed on
    EXPECT_EQ(client->LastErrorText(), "Timeout was reached");
  }
}

TEST_F(HttpClientTest, UntrustedServerCertificateGivesNoReply) {
  test::TempDir other;
  const auto foreign = test::MakeTestCertificates(other.Path(), "foreign");
  RawServer server(Reply(200, "secret"), foreign.certFile, foreign.keyFile);
  auto client = Client(server.Port());  // trusts only our own test CA
  const auto reply = client->Get(u"/");
  EXPECT_EQ(reply.status, -1);
  EXPECT_EQ(reply.body, nullptr);
  // Without the extra CA file the system store alone does not trust it either.
  HttpClient plain(resolver);
  plain.SetExtraCaFile("");
  plain.Connect(u"127.0.0.1", server.Port());
  EXPECT_EQ(plain.Get(u"/").status, -1);
}

TEST_F(HttpClientTest, AHostNamedInTheCommonNameAloneIsRefused) {
  test::TempDir other;
  const auto cnOnly = test::MakeTestCertificates(other.Path(), "cn-only", false);
  RawServer server(Reply(200, "secret"), cnOnly.certFile, cnOnly.keyFile);
  HttpClient client(resolver, cnOnly.caFile);  // the CA is trusted: only the name is at issue
  ASSERT_TRUE(client.Connect(u"localhost", server.Port()));
  const auto reply = client.Get(u"/");
  EXPECT_EQ(reply.status, -1);
  EXPECT_TRUE(server.Requests().empty());

  // The same CA with the name in subjectAltName is accepted under that name.
  const auto withSan = test::MakeTestCertificates(other.Path(), "san", true);
  RawServer good(Reply(200, "fine"), withSan.certFile, withSan.keyFile);
  HttpClient trusted(resolver, withSan.caFile);
  ASSERT_TRUE(trusted.Connect(u"localhost", good.Port()));
  EXPECT_EQ(trusted.Get(u"/").status, 200);
}

TEST_F(HttpClientTest, NoServerAtAll) {
  std::uint16_t port;
  {
    RawServer gone(Reply(200, ""));
    port = gone.Port();
  }
  auto client = Client(port);
  const auto reply = client->PostForm(u"/a/get_subject", nullptr);
  EXPECT_EQ(reply.status, -1);
  EXPECT_EQ(reply.body, nullptr);
  HttpClient unconnected(resolver);
  EXPECT_FALSE(unconnected.Connect(u"", 443));
  EXPECT_EQ(unconnected.Get(u"/").status, -1);
}

TEST_F(HttpClientTest, NamedProxyWithBypassList) {
  // A "proxy" that refuses every CONNECT: a request through it fails.
  RawServer proxy([](const RawRequest&, Connection& c) { c.Send(HttpResponse(403, "")); });
  auto server = Serve(Reply(200, "direct"));
  resolver->settings = platform::UserProxySettings{false, "127.0.0.1:" + std::to_string(proxy.Port()), std::nullopt};
  auto through = Client(server->Port());
  EXPECT_EQ(through->Proxy(), text::FromUtf8("127.0.0.1:" + std::to_string(proxy.Port())));
  EXPECT_FALSE(through->AutoDetect());
  EXPECT_EQ(through->Get(u"/").status, -1);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].method, "CONNECT");
  EXPECT_EQ(proxy.Requests()[0].path, "127.0.0.1:" + std::to_string(server->Port()));

  resolver->settings->bypass = "127.0.0.1";
  auto bypassed = Client(server->Port());
  EXPECT_EQ(Body(bypassed->Get(u"/")), "direct");
  EXPECT_EQ(proxy.Requests().size(), 1u);

  // The diagnostics' direct probe ignores the proxy.
  resolver->settings->bypass.reset();
  auto direct = Client(server->Port());
  direct->SetDirect(true);
  EXPECT_EQ(direct->Get(u"/").status, 200);
}

TEST_F(HttpClientTest, AutoDetectionPerRequestAndOffAfterFailure) {
  RawServer proxy([](const RawRequest&, Connection& c) { c.Send(HttpResponse(403, "")); });
  auto server = Serve(Reply(200, "ok"));
  resolver->settings = platform::UserProxySettings{true, std::nullopt, std::nullopt};

  resolver->discovered = "http://127.0.0.1:" + std::to_string(proxy.Port());
  auto viaDiscovery = Client(server->Port());
  EXPECT_EQ(viaDiscovery->Get(u"/a/get_version").status, -1);
  EXPECT_EQ(proxy.Requests().size(), 1u);
  EXPECT_TRUE(viaDiscovery->AutoDetect());

  resolver->discovered.reset();  // discovery fails
  resolver->discoverCalls = 0;
  auto failing = Client(server->Port());
  EXPECT_EQ(failing->Get(u"/").status, 200);
  EXPECT_FALSE(failing->AutoDetect());
  EXPECT_EQ(failing->ProxyForUrl(u"127.0.0.1", u"/"), std::nullopt);
  EXPECT_EQ(resolver->discoverCalls, 1);  // not tried again by this client

  resolver->settings.reset();  // settings unreadable: the platform default, no discovery
  auto fallback = Client(server->Port());
  EXPECT_FALSE(fallback->AutoDetect());
  EXPECT_EQ(fallback->Get(u"/").status, 200);
}

TEST(SystemProxyResolver, EnvironmentProxyIsTheNamedProxy) {
  setenv("https_proxy", "http://proxy.example:3128", 1);
  setenv("no_proxy", "localhost,.internal", 1);
  auto settings = platform::SystemProxyResolver()->ReadUserSettings();
  unsetenv("https_proxy");
  unsetenv("no_proxy");
  ASSERT_TRUE(settings);
  EXPECT_FALSE(settings->autoDetect);
  EXPECT_EQ(settings->proxy, "http://proxy.example:3128");
  EXPECT_EQ(settings->bypass, "localhost,.internal");
  auto plain = platform::SystemProxyResolver()->ReadUserSettings();
  ASSERT_TRUE(plain);
  EXPECT_TRUE(plain->autoDetect);
  EXPECT_FALSE(plain->proxy);
}
