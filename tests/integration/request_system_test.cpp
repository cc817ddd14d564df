// The client's operations against the reference request system over TLS: the whole
// subscriber road with a key made by the software provider, and the failure paths.
#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "app/startup.h"
#include "crypto/ossl.h"
#include "csp/catalogue.h"
#include "csp/csp_test_env.h"
#include "keys/pkcs10.h"
#include "keys/signing.h"
#include "net/request_system.h"
#include "operator/rights_check.h"
#include "request/attribute_list.h"
#include "server.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"

using namespace orvane;

namespace {

constexpr char kSeed[] = R"(
[operator.main]
common_name = Оператор УЦ
agent_mode = 1
client_allowed = 0

[operator.client]
common_name = Клиент 2001
agent_mode = 0
client_allowed = 1

[application.auto]
token = TOKEN AUTO
request_id = 7001
subject = 2.5.4.3="Иванов Иван",2.5.4.6=RU,2.5.4.7=Москва
eku = 1.3.6.1.5.5.7.3.2,1.3.6.1.5.5.7.3.4
generation = gost2012-256
cert_period = 12 Months
auto_enroll = yes
auto_enroll_polls = 2

[application.later]
token = TOKEN-LATER
request_id = 7002
subject = 2.5.4.3=Петров Петр,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2
generation = gost2012-512
auto_enroll = no

[application.delayed]
token = TOKEN-DELAYED
request_id = 7005
subject = 2.5.4.3=Смирнова Анна,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2
auto_enroll = no
issue_after = 1

[application.refused]
token = TOKEN-REFUSED
request_id = 7003
subject = 2.5.4.3=Сидоров,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2
auto_enroll = refuse

[application.faulty]
token = TOKEN-FAULTY
request_id = 7004
subject = 2.5.4.3=Неисправный
eku = 1.3.6.1.5.5.7.3.2
faults = get_subject:digest;get_pincode:500;get_certificate:malformed

[application.nooid]
token = TOKEN-NOOID
request_id = 7005
subject = 2.5.4.3=Без OID
eku = 1.3.6.1.5.5.7.3.2
faults = get_subject:nooid

[application.forbidden]
token = TOKEN-403
request_id = 7006
subject = 2.5.4.3=Запрет
eku = 1.3.6.1.5.5.7.3.2
faults = get_subject:403-empty;set_certificate:403-empty

[application.shaped]
token = TOKEN-SHAPED
request_id = 7007
subject = 2.5.4.3="Ёлкин Эдуард",2.5.4.6=RU,2.5.4.7=Санкт-Петербург
eku = 1.3.6.1.5.5.7.3.2,1.3.6.1.5.5.7.3.4
auto_enroll = yes
shape = windows-1251,namespaces,upper-case,indented

[application.cp1251]
token = TOKEN-CP1251
request_id = 7008
subject = 2.5.4.3="Ёлкин Эдуард",2.5.4.6=RU,2.5.4.7=Санкт-Петербург
eku = 1.3.6.1.5.5.7.3.2,1.3.6.1.5.5.7.3.4
shape = windows-1251
)";

class ReferenceSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string seed = state.Path() + "/seed.ini";
    std::ofstream(seed) << kSeed;
    refsys::ServerOptions o;
    o.stateDir = state.Path() + "/state";
    o.seedFile = seed;
    std::string error;
    ASSERT_TRUE(server.Start(o, error)) << error;
    thread = std::thread([this] { server.Run(); });
    deployment = config::BuiltInDefaults();
    deployment.requestHost = "127.0.0.1";
    deployment.requestPort = static_cast<std::uint16_t>(server.Port());
    deployment.authHost = "127.0.0.1";
    deployment.authPort = static_cast<std::uint16_t>(server.Port());
    deployment.extraCaFile = server.TlsCaFile();
    rs = std::make_unique<net::RequestSystem>(ui, deployment);
  }
  void TearDown() override {
    server.Stop();
    if (thread.joinable()) thread.join();
  }

  std::string LastSmsCode() {
    std::ifstream in(server.OutboxFile());
    std::string id, code, last;
    while (in >> id >> code) last = code;
    return last;
  }
  std::string LastMessage() const { return ui.messages.empty() ? "<none>" : ui.messages.back().Utf8(); }

  // A key pair in a new container and the signed request for the application.
  std::shared_ptr<io::ASVariableBuffer> MakeRequest(const request::remoteRequestData& r, const std::u16string& name) {
    keys::KeyRequestInputs in = keys::InputsForApplication(r);
    in.containerPath = u"\\\\.\\Reader A\\" + name;
    in.providerName = csp::FindProviderName(static_cast<std::uint32_t>(csp::ProviderTypeFor(in.family, in.generation)),
                                            env.catalogue);
    const auto result = keys::CreateKeyAndRequest(in, env.catalogue, env.registry);
    if (!result.der) {
      ADD_FAILURE() << "no request, error " << std::hex << result.error;
      return nullptr;
    }
    auto buffer = std::make_shared<io::ASVariableBuffer>();
    buffer->Append(result.der->data(), static_cast<std::int64_t>(result.der->size()));
    return buffer;
  }

  test::TempDir state;
  refsys::Server server;
  std::thread thread;
  test::ScriptedUi ui;
  std::unique_ptr<net::RequestSystem> rs;
  config::DeploymentConfig deployment;
  test::ProviderEnvironment env;
};

std::string IssuerCommonName(const std::string& b64) {
  const auto der = text::Base64Decode(b64);
  if (!der) return {};
  const unsigned char* p = der->data();
  ossl::X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der->size())));
  if (!cert) return {};
  char buf[512];
  X509_NAME_get_text_by_NID(X509_get_issuer_name(cert.get()), NID_commonName, buf, sizeof buf);
  return buf;
}

}  // namespace

TEST_F(ReferenceSystem, SubscriberRoadWithAutoEnrolment) {
  ASSERT_TRUE(rs->CheckVersion().accepted);

  int lastError = -1;
  const auto record = rs->GetRequestData(nullptr, u"TOKEN AUTO", nullptr, lastError);
  ASSERT_TRUE(record) << LastMessage();
  EXPECT_EQ(lastError, 0);
  EXPECT_EQ(record->request_id, u"7001");
  ASSERT_TRUE(record->eku);
  EXPECT_EQ(record->eku->size(), 2u);

  auto der = MakeRequest(*record, u"TVK-7001-1");
  ASSERT_TRUE(der);
  net::PendingRequest pending{u"RUTOKEN ECP", u"0A1B2C3D", u"TVK-7001-1", der, std::string("SCARD_TYPE_USER")};

  // A wrong code is refused with the system's own text.
  ASSERT_TRUE(rs->RequestSmsCode(nullptr, u"TOKEN AUTO"));
  EXPECT_FALSE(rs->SubmitRequest(nullptr, u"000000x", u"TOKEN AUTO", &pending, nullptr).ok);
  EXPECT_EQ(LastMessage(), "Неверный СМС-код");

  const auto code = LastSmsCode();
  ASSERT_EQ(code.size(), 6u);
  const auto submitted = rs->SubmitRequest(nullptr, text::FromUtf8(code), u"TOKEN AUTO", &pending, nullptr);
  ASSERT_TRUE(submitted.ok) << LastMessage();
  EXPECT_TRUE(submitted.autoEnroll);

  EXPECT_EQ(rs->CheckAutoEnroll(u"TOKEN AUTO"), 404);
  EXPECT_EQ(rs->CheckAutoEnroll(u"TOKEN AUTO"), 200);

  const auto cert = rs->GetCertificate(nullptr, u"TOKEN AUTO", nullptr);
  ASSERT_TRUE(cert) << LastMessage();
  EXPECT_EQ(cert->container, u"TVK-7001-1");
  EXPECT_EQ(IssuerCommonName(cert->cert), "Тестовый УЦ Orvane ГОСТ 2012-256");

  ASSERT_TRUE(rs->RequestSmsCode(nullptr, u"TOKEN AUTO"));
  EXPECT_TRUE(rs->ConfirmCertificate(nullptr, u"TOKEN AUTO", text::FromUtf8(LastSmsCode())));
  EXPECT_TRUE(rs->KillMarker(u"TOKEN AUTO"));
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"TOKEN AUTO", nullptr, lastError));
  EXPECT_EQ(lastError, 3);
  EXPECT_EQ(LastMessage(), "Маркер доступа уже использован");
}

// The same documents in windows-1251, with namespace prefixes, upper-case names and
// indentation read as the plain ones do, the whole road through.
TEST_F(ReferenceSystem, DocumentsInOtherShapesReadTheSame) {
  int lastError = -1;
  const auto plain = rs->GetRequestData(nullptr, u"TOKEN AUTO", nullptr, lastError);
  const auto cp1251 = rs->GetRequestData(nullptr, u"TOKEN-CP1251", nullptr, lastError);
  const auto shaped = rs->GetRequestData(nullptr, u"TOKEN-SHAPED", nullptr, lastError);
  ASSERT_TRUE(plain && cp1251 && shaped) << LastMessage();
  EXPECT_EQ(shaped->request_id, u"7007");
  EXPECT_EQ(cp1251->subject_quoted, u"2.5.4.3=\"Ёлкин Эдуард\",2.5.4.6=RU,2.5.4.7=Санкт-Петербург");
  EXPECT_EQ(shaped->subject_quoted, cp1251->subject_quoted);
  ASSERT_TRUE(shaped->eku && plain->eku);
  EXPECT_EQ(*shaped->eku, *plain->eku);
  EXPECT_EQ(shaped->cryptoStandart, plain->cryptoStandart);
  EXPECT_EQ(shaped->nonqualified, plain->nonqualified);
  EXPECT_EQ(shaped->template_, plain->template_);
  EXPECT_EQ(shaped->cryptoProvider, plain->cryptoProvider);
  EXPECT_EQ(shaped->ord, plain->ord);

  auto der = MakeRequest(*shaped, u"TVK-7007");
  ASSERT_TRUE(der);
  net::PendingRequest pending{u"RUTOKEN ECP", u"0A1B2C3D", u"TVK-7007", der, std::string("SCARD_TYPE_USER")};
  ASSERT_TRUE(rs->RequestSmsCode(nullptr, u"TOKEN-SHAPED"));
  ASSERT_TRUE(rs->SubmitRequest(nullptr, text::FromUtf8(LastSmsCode()), u"TOKEN-SHAPED", &pending, nullptr).ok)
      << LastMessage();
  EXPECT_EQ(rs->CheckAutoEnroll(u"TOKEN-SHAPED"), 200);
  const auto cert = rs->GetCertificate(nullptr, u"TOKEN-SHAPED", nullptr);
  ASSERT_TRUE(cert) << LastMessage();
  EXPECT_EQ(cert->container, u"TVK-7007");
  EXPECT_FALSE(cert->cert.empty());
}

TEST_F(ReferenceSystem, CertificateLaterAndRefusedAutoEnrolment) {
  int lastError = 0;
  // Not yet requested: no certificate.
  EXPECT_FALSE(rs->GetCertificate(nullptr, u"TOKEN-LATER", nullptr));
  EXPECT_EQ(LastMessage(), "Сертификат по заявке еще не выпущен");

  const auto later = rs->GetRequestData(nullptr, u"TOKEN-LATER", nullptr, lastError);
  ASSERT_TRUE(later);
  EXPECT_EQ(later->cryptoStandart, 2);
  auto der = MakeRequest(*later, u"TVK-7002-1");
  ASSERT_TRUE(der);
  net::PendingRequest pending{u"JaCarta LT", u"123", u"TVK-7002-1", der, std::nullopt};
  ASSERT_TRUE(rs->RequestSmsCode(nullptr, u"TOKEN-LATER"));
  const auto sent = rs->SubmitRequest(nullptr, text::FromUtf8(LastSmsCode()), u"TOKEN-LATER", &pending, nullptr);
  ASSERT_TRUE(sent.ok) << LastMessage();
  EXPECT_FALSE(sent.autoEnroll);
  const auto cert = rs->GetCertificate(nullptr, u"TOKEN-LATER", nullptr);
  ASSERT_TRUE(cert);
  EXPECT_EQ(IssuerCommonName(cert->cert), "Тестовый УЦ Orvane ГОСТ 2012-512");

  // The application's data, a request made for it and sent with the SMS code.
  auto submit = [&](const std::u16string& token, const std::u16string& container) {
    const auto data = rs->GetRequestData(nullptr, token, nullptr, lastError);
    if (!data) return false;
    auto request = MakeRequest(*data, container);
    if (!request) return false;
    net::PendingRequest p{u"m", u"s", container, request, std::nullopt};
    return rs->RequestSmsCode(nullptr, token) &&
           rs->SubmitRequest(nullptr, text::FromUtf8(LastSmsCode()), token, &p, nullptr).ok;
  };

  // Issued a while after the request arrives: not yet, then there.
  ASSERT_TRUE(submit(u"TOKEN-DELAYED", u"TVK-7005-1")) << LastMessage();
  EXPECT_FALSE(rs->GetCertificate(nullptr, u"TOKEN-DELAYED", nullptr));
  EXPECT_EQ(LastMessage(), "Сертификат по заявке еще не выпущен");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_TRUE(rs->GetCertificate(nullptr, u"TOKEN-DELAYED", nullptr)) << LastMessage();

  ASSERT_TRUE(submit(u"TOKEN-REFUSED", u"TVK-7003-1")) << LastMessage();
  EXPECT_EQ(rs->CheckAutoEnroll(u"TOKEN-REFUSED"), 403);
}

TEST_F(ReferenceSystem, DamagedRequestIsRefused) {
  int lastError = 0;
  const auto r = rs->GetRequestData(nullptr, u"TOKEN-LATER", nullptr, lastError);
  ASSERT_TRUE(r);
  auto der = MakeRequest(*r, u"TVK-7002-2");
  ASSERT_TRUE(der);
  auto bytes = *der->ReadAll();
  bytes[bytes.size() - 5] ^= 0x55;  // inside the signature
  auto damaged = std::make_shared<io::ASVariableBuffer>();
  damaged->Append(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  net::PendingRequest pending{u"m", u"s", u"TVK-7002-2", damaged, std::nullopt};
  ASSERT_TRUE(rs->RequestSmsCode(nullptr, u"TOKEN-LATER"));
  EXPECT_FALSE(rs->SubmitRequest(nullptr, text::FromUtf8(LastSmsCode()), u"TOKEN-LATER", &pending, nullptr).ok);
  EXPECT_EQ(LastMessage(), "подпись запроса на сертификат неверна");
}

TEST_F(ReferenceSystem, FailurePaths) {
  int lastError = 0;
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"NO-SUCH", nullptr, lastError));
  EXPECT_EQ(lastError, 3);
  EXPECT_EQ(LastMessage(), "Маркер доступа не найден");

  EXPECT_FALSE(rs->GetRequestData(nullptr, u"TOKEN-403", nullptr, lastError));
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nНеверный маркер доступа");

  EXPECT_FALSE(rs->GetRequestData(nullptr, u"TOKEN-FAULTY", nullptr, lastError));
  EXPECT_EQ(lastError, 7);
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nДанные в файле повреждены");

  EXPECT_FALSE(rs->GetRequestData(nullptr, u"TOKEN-NOOID", nullptr, lastError));
  EXPECT_EQ(lastError, 6);

  EXPECT_FALSE(rs->RequestSmsCode(nullptr, u"TOKEN-FAULTY"));
  EXPECT_EQ(LastMessage(), "Запрос СМС-кода завершился с ошибкой:\nОшибка сервера");

  EXPECT_FALSE(rs->ConfirmCertificate(nullptr, u"TOKEN-403", u"123456"));
  EXPECT_EQ(LastMessage(), "Подписание бланка сертификата завершилось с ошибкой:\nНеверный СМС-код");

  // The version check can be made to fail as a whole.
  {
    net::HttpClient admin(nullptr, server.TlsCaFile());
    admin.Connect(u"127.0.0.1", static_cast<std::uint16_t>(server.Port()));
    net::FormFields form;
    net::AddField(form, "op", "get_version");
    net::AddField(form, "mode", "malformed");
    EXPECT_EQ(admin.PostForm(u"/admin/fault", &form).status, 403) << "no admin secret";
    net::AddField(form, "secret", "wrong-" + server.AdminSecret());
    EXPECT_EQ(admin.PostForm(u"/admin/fault", &form).status, 403) << "a wrong admin secret";
    form.clear();
    net::AddField(form, "op", "get_version");
    net::AddField(form, "mode", "malformed");
    net::AddField(form, "secret", server.AdminSecret());
    ASSERT_EQ(admin.PostForm(u"/admin/fault", &form).status, 200);
  }
  EXPECT_FALSE(rs->CheckVersion().received);

  server.Stop();
  thread.join();
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"TOKEN-LATER", nullptr, lastError));
  EXPECT_EQ(LastMessage(), "Не удалось получить данные из системы заявок:\nОшибка сервера");
  EXPECT_EQ(rs->CheckAutoEnroll(u"TOKEN-LATER"), -1);
}

namespace {

// An operator certificate from the test CA whose key lives in the software provider.
csp::CertificatePtr OperatorCertificate(test::ProviderEnvironment& env, const refsys::Server& server,
                                        const std::string& commonName, csp::GostGeneration generation,
                                        const std::u16string& container) {
  keys::KeyRequestInputs in;
  in.generation = generation;
  in.subject = request::ParseAttributeList(text::FromUtf8("2.5.4.3=" + commonName + ",2.5.4.6=RU"));
  in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2"};
  in.containerPath = u"\\\\.\\Reader A\\" + container;
  const auto type = static_cast<std::uint32_t>(csp::ProviderTypeFor(csp::kKindCryptoPro, generation));
  in.providerName = csp::FindProviderName(type, env.catalogue);
  const auto req = keys::CreateKeyAndRequest(in, env.catalogue, env.registry);
  if (!req.der) return nullptr;
  net::HttpClient admin(nullptr, server.TlsCaFile());
  admin.Connect(u"127.0.0.1", static_cast<std::uint16_t>(server.Port()));
  net::FormFields form;
  net::AddField(form, "request", text::Base64Encode(*req.der));
  net::AddField(form, "secret", server.AdminSecret());
  auto reply = admin.PostForm(u"/admin/issue", &form);
  if (reply.status != 200 || !reply.body) return nullptr;
  auto cert = std::make_shared<csp::CertificateContext>();
  cert->der = *text::Base64Decode(*reply.body->ReadAllText());
  cert->keyProvInfo = csp::KeyProvInfo{in.containerPath, *in.providerName, type, 0, csp::AT_KEYEXCHANGE};
  return cert;
}

}  // namespace

TEST_F(ReferenceSystem, OperatorLoginRightsAndSignatures) {
  auto cert = OperatorCertificate(env, server, "Оператор УЦ Тестовый", csp::kGost2012_256, u"op-1");
  ASSERT_TRUE(cert);
  op::RightsCheckPeers peers{rs.get(), &env.registry, net::LoginPeerFrom(deployment), [] { return 2025; }};
  peers.login.authHost = "127.0.0.1";
  peers.login.authPort = static_cast<std::uint16_t>(server.Port());
  peers.login.requestHost = "127.0.0.1";

  // Not in the seed's operators: no rights.
  auto none = op::VerifyOperator(ui, nullptr, cert, peers);
  EXPECT_FALSE(none);
  EXPECT_EQ(LastMessage(), "Для выбранного сертификата не определены права. Обратитесь к администратору.");

  // The seed's operator: logs in, gets agent mode and works with its signature.
  auto opCert = OperatorCertificate(env, server, "Оператор УЦ", csp::kGost2012_256, u"op-2");
  ASSERT_TRUE(opCert);
  auto rights = op::VerifyOperator(ui, nullptr, opCert, peers);
  ASSERT_TRUE(rights) << LastMessage();
  EXPECT_TRUE(rights->agentMode);
  EXPECT_FALSE(rights->clientAllowed);
  ASSERT_TRUE(rights->authToken);
  const auto identity = op::OperatorIdentityFor(opCert, *rights, env.registry);
  ASSERT_TRUE(identity);

  int lastError = 0;
  const auto record = rs->GetRequestData(nullptr, u"TOKEN-LATER", &*identity, lastError);
  ASSERT_TRUE(record) << LastMessage();
  auto der = MakeRequest(*record, u"TVK-7002-9");
  ASSERT_TRUE(der);
  net::PendingRequest pending{u"m", u"s", u"TVK-7002-9", der, std::nullopt};
  // No SMS code: the operator's PKCS#7 signature of the request stands in for it.
  ASSERT_TRUE(rs->SubmitRequest(nullptr, std::nullopt, u"TOKEN-LATER", &pending, &*identity).ok) << LastMessage();
  ASSERT_TRUE(rs->GetCertificate(nullptr, u"TOKEN-LATER", &*identity));
  const auto hash = rs->GetDocumentHash(nullptr, &*identity, u"TOKEN-LATER");
  ASSERT_TRUE(hash) << LastMessage();
  const auto hashBytes = text::Base64Decode(*hash->b64Hash);
  ASSERT_TRUE(hashBytes);
  Bytes signature;
  std::uint32_t error = 0;
  ASSERT_TRUE(keys::SignHash(opCert.get(), hashBytes->data(), hashBytes->size(), &signature, &error, env.registry))
      << error;
  EXPECT_TRUE(rs->SetDocumentSign(nullptr, &*identity, u"TOKEN-LATER", hash.get(), text::Base64Encode(signature)))
      << LastMessage();
  std::reverse(signature.begin(), signature.end());  // the X.509 byte order is not what the server checks
  EXPECT_FALSE(rs->SetDocumentSign(nullptr, &*identity, u"TOKEN-LATER", hash.get(), text::Base64Encode(signature)));
  EXPECT_EQ(LastMessage(), "Подпись документа неверна");

  // A forged operator token is refused.
  net::OperatorIdentity forged = *identity;
  forged.authToken = "0000";
  EXPECT_FALSE(rs->GetRequestData(nullptr, u"TOKEN-LATER", &forged, lastError));
  EXPECT_EQ(LastMessage(), "Недействительный токен оператора");

  // GOST 2001 certificates are refused from 2020 on, before any exchange.
  auto old = OperatorCertificate(env, server, "Клиент 2001", csp::kGost2001, u"op-3");
  ASSERT_TRUE(old);
  EXPECT_FALSE(op::VerifyOperator(ui, nullptr, old, peers));
  EXPECT_EQ(LastMessage(), "Использование ГОСТ 34.10-2001 запрещено с 01.01.2020");
  peers.year = [] { return 2019; };
  auto client = op::VerifyOperator(ui, nullptr, old, peers);
  ASSERT_TRUE(client) << LastMessage();
  EXPECT_TRUE(client->clientAllowed);

  // A wrong client secret ends the login at its first step.
  peers.login.clientSecret = "00000000-0000-0000-0000-000000000000";
  EXPECT_FALSE(op::VerifyOperator(ui, nullptr, opCert, peers));
  EXPECT_EQ(LastMessage(), "Произошла ошибка аутентификации на сервере");
  net::LoginContext ctx;
  EXPECT_FALSE(net::Login(ctx, peers.login, opCert->der, nullptr));
  EXPECT_EQ(ctx.failedStep, 1);
}

TEST_F(ReferenceSystem, StartupOutcomesAgainstTheRequestSystem) {
  auto run = [&](net::RequestSystem& system, std::deque<bool> answers, int& windows, int& diagnostics,
                 std::vector<std::u16string>& opened) {
    ui.messages.clear();
    ui.answers = std::move(answers);
    csp::providerCatalogue catalogue;
    app::StartupSteps steps;
    steps.catalogue = &catalogue;
    steps.fillCatalogue = [&] { return csp::EnumerateGostProviders(&catalogue, env.registry); };
    steps.checkVersion = [&system] { return system.CheckVersion(); };
    steps.ensureRoots = [] { return true; };  // the roots' own tests cover the store
    steps.runMainWindow = [&] { ++windows; };
    steps.runDiagnostics = [&] { ++diagnostics; };
    steps.openUrl = [&](const std::u16string& u) { opened.push_back(u); };
    return app::RunStartup(ui, steps);
  };
  int windows = 0, diagnostics = 0;
  std::vector<std::u16string> opened;
  EXPECT_EQ(run(*rs, {}, windows, diagnostics, opened), app::StartupOutcome::MainWindow);
  EXPECT_EQ(windows, 1);
  EXPECT_TRUE(ui.messages.empty());

  // A request system whose current version is newer: refused, then the download site.
  refsys::Server newer;
  refsys::ServerOptions o;
  o.stateDir = state.Path() + "/newer";
  o.seedFile = state.Path() + "/seed.ini";
  o.version = "1.37.0";
  std::string error;
  ASSERT_TRUE(newer.Start(o, error)) << error;
  std::thread t([&] { newer.Run(); });
  net::RequestSystem outdated(ui, "127.0.0.1", static_cast<std::uint16_t>(newer.Port()), nullptr, newer.TlsCaFile());
  EXPECT_EQ(run(outdated, {}, windows, diagnostics, opened), app::StartupOutcome::DownloadOpened);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].Utf8(), "Запуск программы невозможен.\nСкачайте новую версию с сайта УЦ Talvik.");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(windows, 1);
  newer.Stop();
  t.join();

  // Nobody answers: the diagnostics question, once.
  EXPECT_EQ(run(outdated, {false}, windows, diagnostics, opened), app::StartupOutcome::DiagnosticsOffered);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].Utf8(), "Ошибка соединения с сервером Talvik. Провести диагностику?");
  EXPECT_EQ(diagnostics, 0);
}
