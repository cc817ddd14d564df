// COrvaneApp built as the program builds it: the deployment configuration from a file, the
// services from the composition root, a virtual carrier in the (fake) PC/SC stack holding the
// software container of an operator certificate stored in "MY" and named in the settings.
// Start-up must log the operator in at the reference request system and show "СЕРТИФИКАТ".
#include "gui/app.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <fstream>
#include <thread>

#include "app/head_ca_roots.h"
#include "csp/catalogue.h"
#include "csp/csp_test_env.h"
#include "fake_pcsc.h"
#include "gui/main_dialog.h"
#include "gui/qt_environment.h"
#include "keys/pkcs10.h"
#include "net/http_client.h"
#include "request/attribute_list.h"
#include "server.h"
#include "support/tls_test_server.h"
#include "text/text.h"

using namespace orvane;

namespace {

[[maybe_unused]] auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment("gui_app_test"));

constexpr char kSeed[] = R"(
[application.a]
token = T-1
request_id = 1
subject = 2.5.4.3=Иванов,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2

[operator.main]
common_name = Оператор УЦ
agent_mode = 1
client_allowed = 0
)";

class FixedPin : public csp::PinPrompt {
 public:
  std::optional<std::string> AskPin(WindowHandle, const csp::PinRequest&) override {
    ++asked;
    return std::string("1234");
  }
  int asked = 0;
};

// The operator's key in a software container on the carrier in "Reader A", its certificate
// issued by the reference system's test CA, bound to the container by its key-provider info.
CertificatePtr IssueOperatorCertificate(const std::string& dataDir, refsys::Server& server) {
  auto presence = std::make_shared<test::FakePresence>();
  presence->readers = {u"Reader A"};
  csp::ProviderRegistry registry;
  csp::RegisterSoftwareProviders(registry, {dataDir, presence, std::make_shared<FixedPin>()}, csp::PinKdfCost::Cheap());
  csp::providerCatalogue catalogue;
  csp::EnumerateGostProviders(&catalogue, registry);
  keys::KeyRequestInputs in;
  in.generation = csp::kGost2012_256;
  in.subject = request::ParseAttributeList(std::u16string(u"2.5.4.3=Оператор УЦ,2.5.4.6=RU"));
  in.eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2"};
  in.containerPath = u"\\\\.\\Reader A\\operator";
  in.providerName = csp::FindProviderName(csp::kProvCryptoPro2012_256, catalogue);
  const auto req = keys::CreateKeyAndRequest(in, catalogue, registry);
  if (!req.der) return nullptr;
  net::HttpClient admin(nullptr, server.TlsCaFile());
  admin.Connect(u"127.0.0.1", static_cast<std::uint16_t>(server.Port()));
  net::FormFields form;
  net::AddField(form, "request", text::Base64Encode(*req.der));
  net::AddField(form, "secret", server.AdminSecret());
  auto reply = admin.PostForm(u"/admin/issue", &form);
  if (reply.status != 200 || !reply.body) return nullptr;
  auto cert = std::make_shared<CertificateContext>();
  cert->der = *text::Base64Decode(*reply.body->ReadAllText());
  cert->keyProvInfo = KeyProvInfo{in.containerPath, *in.providerName, csp::kProvCryptoPro2012_256, 0, 1};
  return cert;
}

}  // namespace

TEST(OrvaneApp, StoredOperatorCertificateLogsInThroughTheCompositionRoot) {
  test::TempDir dir;
  const std::string seed = dir.Path() + "/seed.ini";
  std::ofstream(seed) << kSeed;
  refsys::Server server;
  refsys::ServerOptions options;
  options.stateDir = dir.Path() + "/state";
  options.seedFile = seed;
  std::string error;
  ASSERT_TRUE(server.Start(options, error)) << error;
  std::thread serving([&] { server.Run(); });

  const std::string dataDir = dir.Path() + "/data";
  const std::string conf = dir.Path() + "/orvane.conf";
  const std::string port = std::to_string(server.Port());
  std::ofstream(conf) << "[request_system]\nhost = 127.0.0.1\nport = " << port
                      << "\n[auth]\nhost = 127.0.0.1\nport = " << port
                      << "\n[tls]\nextra_ca_file = " << server.TlsCaFile() << "\n[paths]\ndata_dir = " << dataDir
                      << "\nroot_store = " << dir.Path() << "/ROOT\n";
  setenv("ORVANE_CONFIG", conf.c_str(), 1);

  // The machine's roots, the operator certificate in the user's "MY" store (which follows
  // data_dir) and its thumbprint in the settings.
  const auto stores = platform::FileStores(dir.Path() + "/ROOT", dataDir + "/stores/MY");
  std::uint32_t storeError = 0;
  ASSERT_TRUE(app::InstallRootCertificate(app::HeadCaRootA().base64, stores, storeError));
  ASSERT_TRUE(app::InstallRootCertificate(app::HeadCaRootB().base64, stores, storeError));
  const auto cert = IssueOperatorCertificate(dataDir, server);
  ASSERT_TRUE(cert);
  auto my = stores("MY", platform::StoreLocation::CurrentUser, false, storeError);
  ASSERT_TRUE(my && my->Add(*cert, storeError)) << storeError;
  auto settings = std::make_shared<platform::MemorySettingsStore>();
  const auto thumbprint = platform::ThumbprintOf(cert->der);
  settings->binaries["agentCertificate"] = std::vector<std::uint8_t>(thumbprint.begin(), thumbprint.end());

  // The carrier is a card in a reader of the PC/SC stack; presence comes from there.
  auto pcsc = std::make_shared<test::FakePcsc>();
  pcsc->AddReader(u"Reader A");
  pcsc->Insert(u"Reader A", vtoken::MakeCard("rutoken-ecp", {}));
  auto pin = std::make_shared<FixedPin>();

  bool sawWindow = false, certificateShown = false, agentMode = false;
  std::vector<QString> messages;
  QTimer watcher;
  watcher.setInterval(50);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible()) continue;
      if (auto* box = qobject_cast<QMessageBox*>(w)) {
        messages.push_back(box->text());
        box->done(QMessageBox::No);
        return;
      }
      if (auto* dlg = qobject_cast<gui::COrvaneDlg*>(w)) {
        sawWindow = true;
        auto* label = dlg->findChild<QWidget*>(QStringLiteral("certificateLabel"));
        certificateShown = label != nullptr && label->isVisible();
        agentMode = dlg->AgentMode();
        dlg->reject();
        return;
      }
    }
  });
  watcher.start();
  gui::COrvaneApp app(gui::COrvaneApp::Overrides{pin, settings, pcsc, nullptr});
  EXPECT_FALSE(app.InitInstance());
  watcher.stop();
  unsetenv("ORVANE_CONFIG");
  server.Stop();
  serving.join();

  EXPECT_TRUE(messages.empty()) << messages.front().toStdString();
  EXPECT_TRUE(sawWindow);
  EXPECT_TRUE(certificateShown) << "the operator certificate is not in use";
  EXPECT_TRUE(agentMode);
  EXPECT_EQ(pin->asked, 1) << "one PIN entry serves the login";
}
