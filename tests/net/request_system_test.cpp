#include "net/request_system.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <map>
#include <thread>

#include "config/deployment_config.h"
#include "config/version.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"

using namespace orvane;
using namespace orvane::net;
using test::Connection;
using test::HttpResponse;
using test::RawRequest;

namespace {

class NoProxy : public platform::ProxyResolver {
 public:
  std::optional<platform::UserProxySettings> ReadUserSettings() override { return platform::UserProxySettings{}; }
  std::optional<std::string> Discover(const std::string&) override { return std::string(); }
};

std::string SubjectDoc(const std::string& subject, const std::vector<std::string>& oids, const std::string& hash = "") {
  std::string digestInput = subject;
  std::string ekus;
  for (const auto& o : oids) {
    digestInput += o;
    ekus += "<oid>" + o + "</oid>";
  }
  digestInput += "0";
  unsigned char d[20];
  SHA1(reinterpret_cast<const unsigned char*>(digestInput.data()), digestInput.size(), d);
  std::string hex;
  for (unsigned char c : d) {
    static const char* k = "0123456789abcdef";
    hex += k[c >> 4];
    hex += k[c & 15];
  }
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><response><request_id>42</request_id><subject_quoted>" + subject +
         "</subject_quoted><eku>" + ekus + "</eku><export>0</export><hash_quoted>" + (hash.empty() ? hex : hash) +
         "</hash_quoted></response>";
}

// Answers each path from a table: status, body, extra headers.
struct Scripted {
  Scripted(int s = 200, std::string b = "", std::vector<std::pair<std::string, std::string>> h = {})
      : status(s), body(std::move(b)), headers(std::move(h)) {}
  int status;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

class RequestSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    certs = test::MakeTestCertificates(dir.Path());
    server = std::make_unique<test::RawServer>(
        [this](const RawRequest& r, Connection& c) {
          const auto it = replies.find(r.path);
          if (it == replies.end()) {
            c.Send(HttpResponse(500, ""));
            return;
          }
          c.Send(HttpResponse(it->second.status, it->second.body, it->second.headers));
        },
        certs.certFile, certs.keyFile);
    rs = std::make_unique<RequestSystem>(ui, "127.0.0.1", server->Port(), std::make_shared<NoProxy>(), certs.caFile);
  }

  std::string LastMessage() const { return ui.messages.empty() ? "<none>" : ui.messages.back().Utf8(); }
  RawRequest LastRequest() const { return server->Requests().back(); }

  test::TempDir dir;
  test::TestCertificates certs;
  std::map<std::string, Scripted> replies;
  std::unique_ptr<test::RawServer> server;
  test::ScriptedUi ui;
  std::unique_ptr<RequestSystem> rs;
};

}  // namespace

TEST(RequestErrors, TableAndVersionComparison) {
  EXPECT_EQ(RequestErrorText(3), u"Неверный маркер доступа");
  EXPECT_EQ(RequestErrorText(10), u"Не указан период действия сертификата");
  EXPECT_FALSE(RequestErrorText(0));
  EXPECT_FALSE(RequestErrorText(13));
  EXPECT_FALSE(VersionAccepted(config::kProgramVersion, "1.37"));
  EXPECT_TRUE(VersionAccepted(config::kProgramVersion, "1.36.9999"));
  EXPECT_TRUE(VersionAccepted(config::kProgramVersion, "0.99"));
  EXPECT_TRUE(VersionAccepted(config::kProgramVersion, "2"));  // no "." : server major taken as 0
  EXPECT_FALSE(VersionAccepted(config::kProgramVersion, "2.0"));
  EXPECT_TRUE(VersionAccepted(config::kProgramVersion, "1.36"));
}

TEST_F(RequestSystemTest, CheckVersionOutcomes) {
  replies["/a/get_version"] = {200, "<r><version>1.37.1</version></r>"};
  auto refused = rs->CheckVersion();
  EXPECT_TRUE(refused.received);
  EXPECT_FALSE(refused.accepted);
  EXPECT_EQ(LastMessage(), "Запуск программы невозможен.\nСкачайте новую версию с сайта УЦ Talvik.");
  EXPECT_EQ(LastRequest().method, "GET");

  replies["/a/get_version"] = {200, "<r><version>1.36.0</version></r>"};
  auto ok = rs->CheckVersion();
  EXPECT_TRUE(ok.accepted);
  EXPECT_EQ(ok.version, u"1.36.0");

  // A newer version with blanks around it is still newer.
  for (const char* shape : {"<r><version> 1.37</version></r>", "<r><version>\n  1.37.0\n</version></r>"}) {
    SCOPED_TRACE(shape);
    replies["/a/get_version"] = {200, shape};
    const auto padded = rs->CheckVersion();
    EXPECT_TRUE(padded.received);
    EXPECT_FALSE(padded.accepted);
  }

  ui.messages.clear();
  for (const char* shape : {"<r><other/></r>", "<r><version>v1.36</version></r>", "<r><version>  </version></r>"}) {
    SCOPED_TRACE(shape);
    replies["/a/get_version"] = {200, shape};
    const auto none = rs->CheckVersion();
    EXPECT_FALSE(none.received);
    EXPECT_FALSE(none.accepted);
  }
  replies["/a/get_version"] = {503, "<r><version>1.0</version></r>"};
  EXPECT_FALSE(rs->CheckVersion().received);
  EXPECT_TRUE(ui.messages.empty());  // start-up decides what follows
}

TEST_F(RequestSystemTest, GetSubjectSuccessAndForm) {
  replies["/a/get_subject"] = {200, SubjectDoc("2.5.4.3=Тест", {"1.3.6.1.5.5.7.3.2"})};
  int lastError = -1;
  OperatorIdentity op{"ABCDEF0123456789ABCDEF0123456789ABCDEF01", std::string("tok en"), nullptr};
  auto record = rs->GetRequestData(nullptr, u"ab c", &op, lastError);
  ASSERT_TRUE(record);
  EXPECT_EQ(lastError, 0);
  EXPECT_EQ(record->request_id, u"42");
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.waitCount, 1);
  EXPECT_EQ(ui.waitDepth, 0);
  // The token's space is percent-encoded, never trimmed.
  EXPECT_EQ(LastRequest().body, "marker=ab%20c&hash=ABCDEF0123456789ABCDEF0123456789ABCDEF01&authtoken=tok%20en");
}

TEST_F(RequestSystemTest, GetSubjectFailures) {
  int lastError = 0;
  replies["/a/get_subject"] = {403, "Маркер доступа устарел"};
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"t", nullptr, lastError));
  EXPECT_EQ(lastError, 3);
  EXPECT_EQ(LastMessage(), "Маркер доступа устарел");  // exactly the body

  replies["/a/get_subject"] = {403, ""};
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"t", nullptr, lastError));
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nНеверный маркер доступа");

  replies["/a/get_subject"] = {200, SubjectDoc("CN=x", {"1.2"}, std::string(38, 'a'))};
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"t", nullptr, lastError));
  EXPECT_EQ(lastError, 7);
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nДанные в файле повреждены");

  replies["/a/get_subject"] = {200, SubjectDoc("CN=x", {})};
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"t", nullptr, lastError));
  EXPECT_EQ(lastError, 6);
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nДанные в файле не найдены");

  replies["/a/get_subject"] = {200, "<response><request_id>"};
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"t", nullptr, lastError));
  EXPECT_EQ(lastError, 1);

  // A well-formed document far larger than any reply is refused as malformed, unread.
  replies["/a/get_subject"] = {200, SubjectDoc(std::string(5 << 20, 'a'), {"1.2"})};
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"t", nullptr, lastError));
  EXPECT_EQ(lastError, 1);

  replies["/a/get_subject"] = {500, std::string(100000, 'x')};
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"t", nullptr, lastError));
  EXPECT_EQ(lastError, 12);
  EXPECT_LT(ui.messages.back().text.size(), 2100u);  // a huge body is cut for the message box

  server->Stop();
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"t", nullptr, lastError));
  EXPECT_EQ(lastError, 12);  // no reply at all
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nОшибка сервера");
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(RequestSystemTest, SubmitRequestFormStatusesAndAutoEnroll) {
  PendingRequest pending{u"RUTOKEN ECP", u"12345678", u"TVK-42-1", std::make_shared<ASVariableBuffer>(),
                         std::string("SCARD_TYPE_USER")};
  pending.der->Append(std::string("\x30\x03\x02\x01\x05", 5));
  replies["/a/set_request"] = {200, "", {{"X-Autoenroll", "no"}}};
  auto r = rs->SubmitRequest(nullptr, u"123456", u"tok", &pending, nullptr);
  EXPECT_TRUE(r.ok);
  EXPECT_FALSE(r.autoEnroll);
  EXPECT_EQ(LastRequest().body,
            "code=123456&marker=tok&key_type=RUTOKEN%20ECP&key_serial=12345678&container=TVK-42-1&request=MAMCAQU%3D"
            "&token_type=SCARD_TYPE_USER");

  replies["/a/set_request"] = {200, "", {{"x-autoenroll", "Yes"}}};
  EXPECT_TRUE(rs->SubmitRequest(nullptr, u"1", u"tok", &pending, nullptr).autoEnroll);

  replies["/a/set_request"] = {404, ""};
  EXPECT_FALSE(rs->SubmitRequest(nullptr, u"1", u"tok", &pending, nullptr).ok);
  EXPECT_EQ(LastMessage(), "Подписание бланка запроса завершилось с ошибкой:\nОшибка сервера");

  // With an operator the signature replaces the SMS code; no signature means nothing is sent.
  const auto sent = server->Requests().size();
  OperatorIdentity op{"AA", std::nullopt,
                      [](const std::vector<std::uint8_t>&) { return std::optional<std::string>(); }};
  EXPECT_FALSE(rs->SubmitRequest(nullptr, std::nullopt, u"tok", &pending, &op).ok);
  EXPECT_EQ(LastMessage(), "Подписание бланка запроса завершилось с ошибкой:\nОшибка электронной подписи");
  EXPECT_EQ(server->Requests().size(), sent);
  op.signMessage = [](const std::vector<std::uint8_t>& m) {
    return std::optional<std::string>("SIG" + std::to_string(m.size()));
  };
  op.authToken = "auth";
  replies["/a/set_request"] = {200, ""};
  EXPECT_TRUE(rs->SubmitRequest(nullptr, std::nullopt, u"tok", &pending, &op).ok);
  EXPECT_EQ(LastRequest().body,
            "marker=tok&key_type=RUTOKEN%20ECP&key_serial=12345678&container=TVK-42-1&request=MAMCAQU%3D"
            "&token_type=SCARD_TYPE_USER&hash=AA&request_signed=SIG5&authtoken=auth");
  EXPECT_FALSE(rs->SubmitRequest(nullptr, u"1", u"tok", nullptr, nullptr).ok);
}

TEST_F(RequestSystemTest, SmsCodeConfirmationAndKillMarker) {
  replies["/a/get_pincode"] = {403, "Тело ответа не показывается"};
  EXPECT_FALSE(rs->RequestSmsCode(nullptr, u"tok"));
  EXPECT_EQ(LastMessage(), "Запрос СМС-кода завершился с ошибкой:\nНеверный маркер доступа");
  replies["/a/set_certificate"] = {403, ""};
  EXPECT_FALSE(rs->ConfirmCertificate(nullptr, u"tok", u"000000"));
  EXPECT_EQ(LastMessage(), "Подписание бланка сертификата завершилось с ошибкой:\nНеверный СМС-код");
  EXPECT_EQ(LastRequest().body, "marker=tok&code=000000");
  replies["/a/kill_marker"] = {200, ""};
  const auto shown = ui.messages.size();
  EXPECT_TRUE(rs->KillMarker(u"tok"));
  replies["/a/kill_marker"] = {404, "gone"};
  EXPECT_FALSE(rs->KillMarker(u"tok"));
  EXPECT_EQ(ui.messages.size(), shown);  // no message
}

TEST_F(RequestSystemTest, CertificateReply) {
  replies["/a/get_certificate"] = {200,
                                   "<r><CERT>MIIB</CERT><container>TVK-1</container><license>1</license>"
                                   "<signer_name>Иванов</signer_name></r>"};
  auto cert = rs->GetCertificate(nullptr, u"tok", nullptr);
  ASSERT_TRUE(cert);
  EXPECT_EQ(cert->cert, "MIIB");
  EXPECT_EQ(cert->certLength, 4);
  EXPECT_EQ(cert->container, u"TVK-1");
  EXPECT_TRUE(cert->license);
  EXPECT_EQ(cert->signerName, u"Иванов");
  replies["/a/get_certificate"] = {200, "<r><cert>MIIB</cert></r>"};
  EXPECT_FALSE(rs->GetCertificate(nullptr, u"tok", nullptr));
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nНеверная структура данных XML");
  replies["/a/get_certificate"] = {404, ""};
  EXPECT_FALSE(rs->GetCertificate(nullptr, u"tok", nullptr));
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nДанные на сервере не найдены");
}

TEST_F(RequestSystemTest, OperatorDocumentSigningAndCertVerify) {
  OperatorIdentity op{"THUMB", std::string("auth-1"), nullptr};
  EXPECT_FALSE(rs->GetDocumentHash(nullptr, &op, u""));  // missing input: no exchange, no message
  EXPECT_TRUE(ui.messages.empty());
  replies["/a/get_document_hash"] = {200,
                                     "<r><b64Hash>AAEC</b64Hash><pdf_file_uuid>u-1</pdf_file_uuid>"
                                     "<token>t-1</token></r>"};
  auto hash = rs->GetDocumentHash(nullptr, &op, u"tok");
  ASSERT_TRUE(hash);
  EXPECT_EQ(hash->b64Hash, "AAEC");
  EXPECT_EQ(LastRequest().body, "hash=THUMB&marker=tok&document_type=cert&auth_uuid=auth-1");
  replies["/a/get_document_hash"] = {200, "<r><b64Hash>"};
  EXPECT_FALSE(rs->GetDocumentHash(nullptr, &op, u"tok"));
  EXPECT_EQ(LastMessage(), "<r><b64Hash>");  // rejected document: its text is the message

  replies["/a/set_document_sign"] = {200, ""};
  EXPECT_TRUE(rs->SetDocumentSign(nullptr, &op, u"tok", hash.get(), std::string("c2ln")));
  EXPECT_EQ(LastRequest().body,
            "hash=THUMB&marker=tok&document_type=cert&auth_uuid=auth-1&pdf_file_uuid=u-1&token=t-1&signature=c2ln");
  EXPECT_FALSE(rs->SetDocumentSign(nullptr, &op, u"tok", hash.get(), std::nullopt));

  replies["/a/cert_verify"] = {200, "<r><agentMode>1</agentMode><clientAllowed>TRUE</clientAllowed></r>"};
  auto flags = rs->CertVerify(nullptr, "THUMB", std::string("login"));
  ASSERT_TRUE(flags);
  EXPECT_TRUE(flags->agentMode);
  EXPECT_FALSE(flags->agentLicense);
  EXPECT_TRUE(flags->clientAllowed);
  EXPECT_EQ(LastRequest().body, "hash=THUMB&authtoken=login");
  replies["/a/cert_verify"] = {403, ""};
  EXPECT_FALSE(rs->CertVerify(nullptr, "THUMB", std::nullopt));
  EXPECT_EQ(LastMessage(), "Проверка сертификата завершилась с ошибкой:\nДоступ запрещен");
}

TEST_F(RequestSystemTest, AutoEnrollCheckStatuses) {
  replies["/a/check-autoenroll"] = {404, "wait"};
  EXPECT_EQ(rs->CheckAutoEnroll(u"tok"), 404);
  replies["/a/check-autoenroll"] = {200, ""};
  EXPECT_EQ(rs->CheckAutoEnroll(u"tok"), 200);
  EXPECT_EQ(rs->CheckAutoEnroll(std::nullopt), 403);
  RequestSystem unconnected(ui, "", 1, std::make_shared<NoProxy>());
  EXPECT_EQ(unconnected.CheckAutoEnroll(u"tok"), 404);
  server->Stop();
  EXPECT_EQ(rs->CheckAutoEnroll(u"tok"), -1);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RequestSystemTest, AutoEnrollCheckFromWorkerThreads) {
  replies["/a/check-autoenroll"] = {200, ""};
  int a = 0, b = 0;
  std::thread t1([&] { a = rs->CheckAutoEnroll(u"tok"); });
  std::thread t2([&] { b = rs->CheckAutoEnroll(u"tok"); });
  t1.join();
  t2.join();
  EXPECT_EQ(a, 200);
  EXPECT_EQ(b, 200);
}
