// The flows' test bench: the reference request system in process with the applications of
// kSeed, the software provider on virtual carriers ("Reader A", "Reader B"), scripted
// dialogs and UI, SMS codes read from the reference system's outbox, and an auto-enrolment
// wait shortened to seconds (checks every 100 ms, 3 s at most).
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <thread>

#include "carriers/identify.h"
#include "config/deployment_config.h"
#include "csp/csp_test_env.h"
#include "keys/pkcs10.h"
#include "net/http_client.h"
#include "operator/rights_check.h"
#include "request/attribute_list.h"
#include "server.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"
#include "text/text.h"
#include "wizard/create_request.h"
#include "wizard/document_preview.h"
#include "wizard/get_certificate.h"

namespace orvane::test {

constexpr char kSeed[] = R"(
[application.plain]
token = T-PLAIN
request_id = 8001
ord = 2
subject = 2.5.4.3="Иванов Иван",2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2
generation = gost2012-256
provider = cryptopro
auto_enroll = no

[application.any]
token = T-ANY
request_id = 8002
subject = 2.5.4.3=Петров,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2
auto_enroll = no

[application.vipnet]
token = T-VIPNET
request_id = 8003
subject = 2.5.4.3=Сидоров
eku = 1.3.6.1.5.5.7.3.2
provider = vipnet
auto_enroll = no

[application.egais]
token = T-EGAIS
request_id = 8004
subject = 2.5.4.3=ЕГАИС
eku = 1.3.6.1.5.5.7.3.2
egais = 1

[application.rutoken]
token = T-RUTOKEN
request_id = 8005
subject = 2.5.4.3=Носитель
eku = 1.3.6.1.5.5.7.3.2
token_type = scard_type_rutoken_ecp
auto_enroll = no

[application.auto]
token = T-AUTO
request_id = 8006
subject = 2.5.4.3=Авто
eku = 1.3.6.1.5.5.7.3.2
auto_enroll = yes
auto_enroll_polls = 2

[application.never]
token = T-NEVER
request_id = 8007
subject = 2.5.4.3=Никогда
eku = 1.3.6.1.5.5.7.3.2
auto_enroll = yes
auto_enroll_polls = 100000

[operator.main]
common_name = Оператор УЦ
agent_mode = 1
client_allowed = 0

[application.refused]
token = T-REFUSED
request_id = 8008
subject = 2.5.4.3=Отказ
eku = 1.3.6.1.5.5.7.3.2
auto_enroll = refuse
)";

// The SMS code last written to the reference system's outbox for the application.
class OutboxCodes : public wizard::SmsCodeSource {
 public:
  explicit OutboxCodes(std::string outbox) : outbox_(std::move(outbox)) {}
  std::optional<std::u16string> SmsCode(WindowHandle, const std::u16string&, const std::u16string& requestId) override {
    ++asked;
    std::ifstream in(outbox_);
    std::string id, code, last;
    while (in >> id >> code) {
      if (id == text::ToUtf8(requestId)) last = code;
    }
    if (last.empty()) return std::nullopt;
    return text::FromUtf8(last);
  }
  int asked = 0;

 private:
  std::string outbox_;
};

class ScriptedDialogs : public wizard::FlowUi {
 public:
  bool RunRequestProperties(WindowHandle, request::RequestPropertiesModel& model) override {
    model.Initialise();
    shownCarrier = model.carrierText;
    shownProvider = model.providerText;
    ++propertiesShown;
    return confirmData;
  }
  // Request forms are signed and sent; certificate forms are confirmed unless they are
  // already, then written; print-only forms are looked at.
  bool RunDocumentPreview(WindowHandle owner, const std::u16string& htmlPath,
                          wizard::DocumentPreview& preview) override {
    formExisted = std::filesystem::exists(text::ToUtf8(htmlPath));
    formPath = text::ToUtf8(htmlPath);
    previewModes.push_back(preview.Mode());
    openingButtons = preview.Buttons();
    if (preview.Mode() == wizard::PreviewMode::Request) return preview.SignAndSend(owner);
    if (preview.Mode() == wizard::PreviewMode::PrintOnly) return false;
    if (!confirmCertificate) return false;
    if (preview.Buttons().signEnabled) preview.SignAndSend(owner);
    return preview.Write();
  }
  int RunFinish(WindowHandle) override {
    ++finishShown;
    return finishAnswer;
  }
  std::unique_ptr<wizard::ProgressWindow> OpenAutoEnrollProgress(WindowHandle) override {
    class Window : public wizard::ProgressWindow {
     public:
      explicit Window(int& steps) : steps_(steps) {}
      void Advance() override { ++steps_; }
      void Pump(std::chrono::milliseconds time) override { std::this_thread::sleep_for(time); }

     private:
      int& steps_;
    };
    return std::make_unique<Window>(progressSteps);
  }

  bool confirmData = true;
  bool confirmCertificate = true;
  int finishAnswer = wizard::kFinishInstall;
  int finishShown = 0;
  std::vector<wizard::PreviewMode> previewModes;
  wizard::PreviewButtons openingButtons;
  int propertiesShown = 0;
  int progressSteps = 0;
  std::u16string shownCarrier, shownProvider;
  bool formExisted = false;
  std::string formPath;
};

inline std::shared_ptr<const carriers::tokenInfo> Carrier(const std::u16string& reader, std::int32_t type) {
  carriers::tokenInfo t;
  t.reader = reader;
  t.model = u"Rutoken ECP";
  t.serial = u"0012345678";
  t.type = type;
  t.BuildDisplay();
  return std::make_shared<const carriers::tokenInfo>(t);
}

class FlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string seed = dir.Path() + "/seed.ini";
    std::ofstream(seed) << kSeed;
    refsys::ServerOptions o;
    o.stateDir = dir.Path() + "/state";
    o.seedFile = seed;
    std::string error;
    ASSERT_TRUE(server.Start(o, error)) << error;
    serving = std::thread([this] { server.Run(); });
    requestSystem = std::make_unique<net::RequestSystem>(ui, "127.0.0.1", static_cast<std::uint16_t>(server.Port()),
                                                         nullptr, server.TlsCaFile());
    codes = std::make_unique<OutboxCodes>(server.OutboxFile());
    timing.step = std::chrono::milliseconds(10);
    timing.checkEvery = std::chrono::milliseconds(100);
    timing.limit = std::chrono::seconds(3);
  }
  void TearDown() override {
    server.Stop();
    if (serving.joinable()) serving.join();
  }

  wizard::FlowServices Services() { return {ui, dialogs, *requestSystem, env.registry, env.catalogue, forms, *codes}; }
  bool Run(const std::u16string& token, csp::ProviderKind family, std::shared_ptr<const carriers::tokenInfo> carrier) {
    state.accessToken = token;
    state.family = family;
    state.carrier = std::move(carrier);
    wizard::CreateRequestFlow flow(Services(), timing);
    const bool sent = flow.Run(nullptr, state, hooks);
    autoEnroll = flow.AutoEnroll();
    return sent;
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : ui.messages) out.push_back(m.Utf8());
    return out;
  }
  std::size_t Containers(const std::u16string& reader) const {
    return std::filesystem::exists(env.store->CarrierDir(reader)) ? env.store->ListContainers(reader).size() : 0;
  }
  // The operator's key on "Reader A", the certificate from the test CA, the rights from a
  // login; all put into the window's state.
  bool LogInAnOperator() {
    keys::KeyRequestInputs in;
    in.subject = request::ParseAttributeList(std::u16string(u"2.5.4.3=Оператор УЦ,2.5.4.6=RU"));
    in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2"};
    in.containerPath = u"\\\\.\\Reader A\\operator";
    in.providerName = csp::FindProviderName(csp::kProvCryptoPro2012_256, env.catalogue);
    const auto req = keys::CreateKeyAndRequest(in, env.catalogue, env.registry);
    if (!req.der) return false;
    net::HttpClient admin(nullptr, server.TlsCaFile());
    admin.Connect(u"127.0.0.1", static_cast<std::uint16_t>(server.Port()));
    net::FormFields form;
    net::AddField(form, "request", text::Base64Encode(*req.der));
    net::AddField(form, "secret", server.AdminSecret());
    auto reply = admin.PostForm(u"/admin/issue", &form);
    if (reply.status != 200 || !reply.body) return false;
    auto cert = std::make_shared<CertificateContext>();
    cert->der = *text::Base64Decode(*reply.body->ReadAllText());
    cert->keyProvInfo = KeyProvInfo{in.containerPath, *in.providerName, csp::kProvCryptoPro2012_256, 0, 1};
    auto deployment = config::BuiltInDefaults();
    deployment.requestHost = deployment.authHost = "127.0.0.1";
    deployment.requestPort = deployment.authPort = static_cast<std::uint16_t>(server.Port());
    deployment.extraCaFile = server.TlsCaFile();
    const op::RightsCheckPeers peers{requestSystem.get(), &env.registry, net::LoginPeerFrom(deployment),
                                     [] { return 2025; }};
    const auto rights = op::VerifyOperator(ui, nullptr, cert, peers);
    if (!rights || !rights->authToken) return false;
    state.operatorCertificate = cert;
    state.operatorRights = rights;
    state.agentMode = rights->agentMode;
    return true;
  }
  bool RequestArrived(const std::string& requestId) const {
    return std::filesystem::exists(dir.Path() + "/state/requests/" + requestId + ".p10");
  }

  test::TempDir dir;
  refsys::Server server;
  std::thread serving;
  test::ScriptedUi ui;
  test::ProviderEnvironment env;
  ScriptedDialogs dialogs;
  const render::FormRenderer forms{{"Москва", "8 800 000-00-00"}};
  std::unique_ptr<net::RequestSystem> requestSystem;
  std::unique_ptr<OutboxCodes> codes;
  wizard::AutoEnrollTiming timing;
  wizard::WizardState state{};
  wizard::WizardHooks hooks;
  bool autoEnroll = false;
};

}  // namespace orvane::test
