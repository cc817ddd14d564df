// The wizard's roads end to end through the real window: COrvaneApp as the program builds it
// (Qt PIN dialog, PC/SC stack of this machine, services from the composition root) against the
// reference request system, with a virtual Rutoken ECP behind pcscd + vpcd. A robot plays the
// user: it finds each dialog as it comes up (by object name, or as a message box), types the
// access token, the PIN and the SMS code from the system's outbox, clicks the buttons, and saves
// a screenshot of every screen under <build>/artefacts/e2e/<road>/. Each road ends with the
// issued certificate in "MY" and in its key container.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <thread>

#include "carriers/identify.h"
#include "csp/catalogue.h"
#include "csp/csp_test_env.h"
#include "gui/app.h"
#include "gui/qt_environment.h"
#include "pcscd_support.h"
#include "platform/cert_store.h"
#include "platform/pcsc_api.h"
#include "platform/settings_store.h"
#include "server.h"
#include "support/tls_test_server.h"
#include "text/text.h"

using namespace orvane;
namespace fs = std::filesystem;

namespace {

[[maybe_unused]] auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment("e2e_wizard_roads"));

const std::u16string kReader = u"Virtual PCD 00 00";          // vpcd port 35963: the subscriber's token
const std::u16string kOperatorReader = u"Virtual PCD 00 01";  // vpcd port 35964: the operator's
constexpr char kPin[] = "1234";

constexpr char kSeed[] = R"(
[application.auto]
token = E2E-AUTO-0001
request_id = 700001
template = Квалифицированная электронная подпись
subject = 2.5.4.3=Иванов Иван Иванович,2.5.4.4=Иванов,2.5.4.42=Иван Иванович,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2,1.3.6.1.5.5.7.3.4
generation = gost2012-256
provider = cryptopro
token_type = SCARD_TYPE_USER
auto_enroll = yes
auto_enroll_polls = 1

[application.later]
token = E2E-LATER-0002
request_id = 700002
template = Неквалифицированная электронная подпись
subject = 2.5.4.3=Петров Петр,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2
generation = gost2012-512
nonqualified = 1
auto_enroll = no

[application.operator-key]
token = E2E-OPERATOR-KEY
request_id = 700003
subject = 2.5.4.3=Оператор УЦ Тестовый,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2
auto_enroll = yes

[application.by-operator]
token = E2E-BY-OPERATOR-4
request_id = 700004
subject = 2.5.4.3=Сидоров Сидор,2.5.4.6=RU
eku = 1.3.6.1.5.5.7.3.2
auto_enroll = no

[operator.main]
common_name = Оператор УЦ Тестовый
agent_mode = 1
client_allowed = 1
)";

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the user does in the main window when it is the one waiting for input: type a token
// (none: leave the field), then press a button. After the last step the window is closed (Esc).
struct MainStep {
  QString token;
  QString button;
};

// Plays the user. Every 50 ms it looks at the screen: a new screen is photographed; the
// screen on top gets its answer, posted to the event loop so that the dialog it opens runs in
// a nested loop while the robot keeps looking.
class Robot {
 public:
  Robot(fs::path artefacts, fs::path outbox, std::vector<MainStep> steps)
      : artefacts_(std::move(artefacts)), outbox_(std::move(outbox)), steps_(std::move(steps)) {
    fs::remove_all(artefacts_);
    fs::create_directories(artefacts_);
    log_.open(artefacts_ / "steps.txt");
    timer_.setInterval(50);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
    clock_.start();
  }

  std::vector<QString> messages;  // the texts of the message boxes answered, in order
  std::vector<QString> screens;   // the object names of the screens seen, in order
  std::string failure;            // why the robot gave up, if it did
  // Takes the carrier out and puts it in again, as a user does when the window does not show it.
  std::function<void()> reinsert;
  bool Done() const { return next_ >= steps_.size() && closed_; }

 private:
  void Tick() {
    if (pending_) return;
    if (clock_.elapsed() > kLimitMs)
      return GiveUp("the road took longer than " + std::to_string(kLimitMs / 1000) + " s");
    QWidget* top = QApplication::activeModalWidget();
    // A modeless window over the main one (auto-enrolment wait, progress) is photographed and
    // waited for.
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->isVisible() && w != top && qobject_cast<QDialog*>(w) && w->windowModality() == Qt::NonModal) {
        Photograph(w);
        return;
      }
    }
    if (top == nullptr) return;
    Photograph(top);
    const QString name = top->objectName();
    if (auto* box = qobject_cast<QMessageBox*>(top)) return AnswerMessage(box);
    if (name == QStringLiteral("pinDialog")) return EnterPin(top);
    if (name == QStringLiteral("129")) return Press(top, Button(top, "1"));
    if (name == QStringLiteral("131")) return EnterSmsCode(top);
    if (name == QStringLiteral("132")) return Preview(top);
    if (name == QStringLiteral("135")) return Press(top, Button(top, "1007"));
    if (name == QStringLiteral("102")) return MainWindow(top);
  }

  void AnswerMessage(QMessageBox* box) {
    if (Acted(box)) return;
    messages.push_back(box->text());
    log_ << "message: " << box->text().toStdString() << "\n" << std::flush;
    QAbstractButton* answer = box->button(QMessageBox::Yes);
    if (answer == nullptr) answer = box->button(QMessageBox::Ok);
    if (answer == nullptr && !box->buttons().isEmpty()) answer = box->buttons().front();
    Press(box, answer);
  }

  void EnterPin(QWidget* dialog) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("pinEdit"));
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    if (edit == nullptr || buttons == nullptr) return GiveUp("the PIN dialog has no field or buttons");
    if (!Once(dialog)) return;
    edit->clear();
    QTest::keyClicks(edit, QString::fromLatin1(kPin));
    Press(dialog, buttons->button(QDialogButtonBox::Ok), false);
  }

  void EnterSmsCode(QWidget* dialog) {
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("1006"));
    if (edit == nullptr) return GiveUp("the SMS-code dialog has no field");
    if (!Once(dialog)) return;
    // The newest code the request system sent.
    std::ifstream in(outbox_);
    std::string id, code, last;
    while (in >> id >> code) last = code;
    log_ << "SMS code " << last << "\n";
    edit->clear();
    QTest::keyClicks(edit, QString::fromStdString(last));
    Press(dialog, Button(dialog, "1"), false);
  }

  // The form preview: confirm ("1007") once; then, in the certificate's preview, write it to
  // the carrier ("1015") once it is enabled.
  void Preview(QWidget* dialog) {
    auto* sign = Button(dialog, "1007");
    auto* write = Button(dialog, "1015");
    const int stage = dialog->property("robotStage").toInt();
    if (stage == 0 && sign != nullptr && sign->isVisible() && sign->isEnabled()) {
      dialog->setProperty("robotStage", 1);
      return Press(dialog, sign, false);
    }
    if (stage == 1 && write != nullptr && write->isVisible() && write->isEnabled()) {
      dialog->setProperty("robotStage", 2);
      return Press(dialog, write, false);
    }
  }

  void MainWindow(QWidget* window) {
    // Nothing is done while a flow runs (the window's controls are off meanwhile).
    auto* edit = window->findChild<QLineEdit*>(QStringLiteral("1006"));
    if (edit == nullptr || !edit->isEnabled()) return;
    if (next_ >= steps_.size()) {
      if (!closed_) {
        closed_ = true;
        Post([window] { QTest::keyClick(window, Qt::Key_Escape); });
      }
      return;
    }
    // The carrier has to be in the list and the button enabled (no flow running) before
    // anything is pressed.
    auto* carriers = window->findChild<QComboBox*>(QStringLiteral("1010"));
    const MainStep& step = steps_[next_];
    auto* button = window->findChild<QPushButton*>(step.button);
    if (button == nullptr) return GiveUp("no main window button " + step.button.toStdString());
    if (carriers != nullptr && carriers->count() == 0) {
      // The vpcd driver now and then keeps a garbled ATR for a card after many cards in a row;
      // out and in again, it reads the ATR anew.
      if (!waitingForCarrier_.isValid()) waitingForCarrier_.start();
      if (waitingForCarrier_.elapsed() > 8000 && reinsert) {
        log_ << "no carrier in the list for 8 s: out and in again\n";
        reinsert();
        waitingForCarrier_.restart();
      }
      return;
    }
    waitingForCarrier_.invalidate();
    if (carriers == nullptr || !button->isEnabled()) return;
    ++next_;
    log_ << "main window: token \"" << step.token.toStdString() << "\", button " << step.button.toStdString() << "\n";
    if (!step.token.isNull()) {
      edit->clear();
      QTest::keyClicks(edit, step.token);
    }
    Press(window, button, false);
  }

  static QPushButton* Button(QWidget* dialog, const char* id) {
    return dialog->findChild<QPushButton*>(QString::fromLatin1(id));
  }

  // Acts at most once on a screen (a dialog that stays up after its answer is a failure).
  bool Once(QWidget* w) {
    const int seen = w->property("robotActed").toInt();
    w->setProperty("robotActed", seen + 1);
    if (seen > 100) GiveUp("the screen \"" + w->objectName().toStdString() + "\" stays after its answer");
    return seen == 0;
  }
  static bool Acted(QWidget* w) { return w->property("robotActed").toInt() > 0; }

  void Press(QWidget* screen, QAbstractButton* button, bool once = true) {
    if (button == nullptr) return GiveUp("no button to press on \"" + screen->objectName().toStdString() + "\"");
    if (once && !Once(screen)) return;
    log_ << "  press \"" << button->text().toStdString() << "\" on " << screen->objectName().toStdString() << "\n"
         << std::flush;
    QPointer<QAbstractButton> target(button);
    Post([target] {
      if (target) QTest::mouseClick(target, Qt::LeftButton);
    });
  }

  // Runs the action from the event loop, not from the timer: the dialog it opens runs in a
  // nested loop, in which this timer has to keep firing.
  void Post(std::function<void()> action) {
    pending_ = true;
    QTimer::singleShot(0, [this, action = std::move(action)] {
      pending_ = false;
      action();
    });
  }

  void Photograph(QWidget* w) {
    // Widgets come and go at the same addresses: what was seen is marked on the widget.
    if (w->property("robotPhotographed").toString() == w->windowTitle() + QStringLiteral("\n")) return;
    w->setProperty("robotPhotographed", w->windowTitle() + QStringLiteral("\n"));
    screens.push_back(w->objectName());
    char name[128];
    std::snprintf(name, sizeof name, "%02d-%s.png", ++shots_,
                  qobject_cast<QMessageBox*>(w) ? "message" : w->objectName().toStdString().c_str());
    w->grab().save(QString::fromStdString((artefacts_ / name).string()));
    log_ << name << ": " << w->windowTitle().toStdString() << "\n" << std::flush;
  }

  void GiveUp(const std::string& why) {
    if (!failure.empty()) return;
    failure = why;
    log_ << "gave up: " << why << "\n";
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible()) continue;
      log_ << "  on screen: " << w->metaObject()->className() << " \"" << w->objectName().toStdString() << "\" \""
           << w->windowTitle().toStdString() << "\" modality " << w->windowModality() << "\n";
      if (auto* carriers = w->findChild<QComboBox*>(QStringLiteral("1010"))) {
        log_ << "  carriers listed: " << carriers->count() << "\n";
        for (QLabel* line : w->findChildren<QLabel*>()) {
          if (line->objectName().startsWith(QStringLiteral("carrierLine")))
            log_ << "  " << line->objectName().toStdString() << ": " << line->text().toStdString() << "\n";
        }
      }
    }
    log_ << std::flush;
    timer_.stop();
    // Close whatever is open so that the program ends.
    QTimer::singleShot(0, [] {
      while (QWidget* w = QApplication::activeModalWidget()) {
        if (auto* d = qobject_cast<QDialog*>(w))
          d->reject();
        else
          w->close();
        QApplication::processEvents();
      }
    });
  }

  static constexpr qint64 kLimitMs = 90000;
  fs::path artefacts_;
  fs::path outbox_;
  std::vector<MainStep> steps_;
  std::size_t next_ = 0;
  bool closed_ = false;
  bool pending_ = false;
  int shots_ = 0;
  std::ofstream log_;
  QTimer timer_;
  QElapsedTimer clock_;
  QElapsedTimer waitingForCarrier_;
};

// One road's world: the reference request system on a free loopback port, a deployment
// configuration for it with the head-CA roots provisioned by `orvane-tool install-roots`, and a
// virtual Rutoken ECP in the first vpcd reader.
class Road : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::Installed())
      GTEST_SKIP() << "pcscd or the vpcd driver is not installed (packages pcscd, vsmartcard-vpcd)";
    signal(SIGPIPE, SIG_IGN);
    lock_ = open("/tmp/orvane-pcscd-vpcd.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock_ >= 0) flock(lock_, LOCK_EX);
    ASSERT_EQ(test::RunScript("start"), 0);

    const fs::path dir = dir_.Path();
    std::ofstream(dir / "seed.ini") << kSeed;
    refsys::ServerOptions options;
    options.stateDir = (dir / "state").string();
    options.seedFile = (dir / "seed.ini").string();
    std::string error;
    ASSERT_TRUE(server_.Start(options, error)) << error;
    serving_ = std::thread([this] { server_.Run(); });
    state_ = options.stateDir;

    data_ = dir / "data";
    root_ = dir / "ROOT";
    const std::string port = std::to_string(server_.Port());
    config_ = dir / "orvane.conf";
    std::ofstream(config_) << "[request_system]\nhost = 127.0.0.1\nport = " << port
                           << "\n[auth]\nhost = 127.0.0.1\nport = " << port
                           << "\n[tls]\nextra_ca_file = " << server_.TlsCaFile()
                           << "\n[paths]\ndata_dir = " << data_.string() << "\nroot_store = " << root_.string() << "\n";
    setenv("ORVANE_CONFIG", config_.c_str(), 1);
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    ASSERT_EQ(Tool("install-roots"), 0);

    token_ = std::make_unique<test::VirtualToken>(
        "rutoken-ecp", 35963, std::vector<std::string>{"--label", "Road", "--serial", "7654321", "--free", "60000"});
    ASSERT_TRUE(token_->started());
    ASSERT_TRUE(WaitForCard(*token_, kReader)) << "the virtual token did not come up in the vpcd reader";
  }

  // Waits until the card in the reader shows its own ATR. After many cards in a row the vpcd
  // driver now and then keeps a garbled ATR for a new card; taking the card out and in again
  // makes it read the ATR anew.
  static bool WaitForCard(test::VirtualToken& token, const std::u16string& reader) {
    const auto pcsc = platform::CreatePcscLiteApi();
    for (int attempt = 0; attempt < 5; ++attempt) {
      QElapsedTimer t;
      t.start();
      while (t.elapsed() < 4000) {
        platform::ScopedPcscContext c(*pcsc, platform::pcsc::kScopeUser);
        platform::PcscReaderState state;
        state.reader = reader;
        if (c && pcsc->GetStatusChange(c.get(), 0, std::span(&state, 1)) == platform::pcsc::kSuccess &&
            (state.eventState & platform::pcsc::kStatePresent) != 0) {
          if (carriers::MatchAtr(state.atr.data(), static_cast<std::uint32_t>(state.atr.size())) != nullptr)
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      token.Remove();
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      token.Insert();
    }
    return false;
  }

  void TearDown() override {
    token_.reset();
    unsetenv("ORVANE_CONFIG");
    if (serving_.joinable()) {
      server_.Stop();
      serving_.join();
    }
    if (lock_ >= 0) close(lock_);
  }

  // orvane-tool with this road's configuration, in the road's folder (enroll saves the
  // certificate in the current one); its exit status.
  int Tool(const std::string& arguments) {
    const std::string line = "cd '" + dir_.Path() + "' && " + ORVANE_TOOL + " " + arguments + " >>tool.log 2>&1";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Runs the program with the robot until it ends; the robot's record.
  void Drive(Robot& robot) {
    robot.reinsert = [this] {
      token_->Remove();
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      token_->Insert();
    };
    gui::COrvaneApp app(gui::COrvaneApp::Overrides{nullptr, settings_, nullptr, nullptr});
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(robot.failure, "");
    EXPECT_TRUE(robot.Done()) << "the program ended before the road did";
  }

  static fs::path Artefacts(const char* road) { return fs::path(ORVANE_BINARY_DIR) / "artefacts" / "e2e" / road; }

  // The certificate issued for the application is in "MY", bound to a key container that
  // holds the same certificate.
  void ExpectInstalled(const std::string& requestId) {
    const auto issued = ReadFile(fs::path(state_) / "issued" / (requestId + ".cer"));
    ASSERT_FALSE(issued.empty()) << "nothing was issued for " << requestId;
    std::uint32_t error = 0;
    auto my = platform::FileStores(root_.string(), (data_ / "stores" / "MY").string())(
        "MY", platform::StoreLocation::CurrentUser, true, error);
    ASSERT_TRUE(my) << "no \"MY\" store: " << error;
    const auto cert = my->Find(platform::ThumbprintOf(issued));
    ASSERT_TRUE(cert) << "the certificate is not in \"MY\"";
    ASSERT_TRUE(cert->keyProvInfo) << "the certificate in \"MY\" is not bound to a container";
    const auto& info = *cert->keyProvInfo;
    EXPECT_NE(info.containerName.find(kReader), std::u16string::npos) << text::ToUtf8(info.containerName);

    auto presence = std::make_shared<test::FakePresence>();
    presence->readers = {kReader};
    csp::ProviderRegistry registry;
    csp::RegisterSoftwareProviders(registry, {data_.string(), presence, std::make_shared<test::ScriptedPin>()});
    auto context = registry.AcquireContext(info.containerName, info.providerName, info.provType, 0);
    ASSERT_TRUE(context) << "the container " << text::ToUtf8(info.containerName) << " does not open";
    Bytes inContainer;
    ASSERT_TRUE(context->GetKeyParam(info.keySpec, csp::KP_CERTIFICATE, inContainer));
    EXPECT_EQ(inContainer, issued) << "the container holds another certificate";
  }

  static void ExpectMessage(const Robot& robot, const QString& text) {
    EXPECT_TRUE(std::find(robot.messages.begin(), robot.messages.end(), text) != robot.messages.end())
        << "no message \"" << text.toStdString() << "\"";
  }

  test::TempDir dir_;
  refsys::Server server_;
  std::thread serving_;
  std::string state_;
  fs::path data_, root_, config_;
  std::unique_ptr<test::VirtualToken> token_;
  std::shared_ptr<platform::MemorySettingsStore> settings_ = std::make_shared<platform::MemorySettingsStore>();
  int lock_ = -1;
};

const QString kInstalled =
    QStringLiteral("Сертификат успешно установлен в хранилище \"Личные\" текущего пользователя.");

}  // namespace

TEST_F(Road, SubscriberWithAutoEnrolment) {
  Robot robot(Artefacts("subscriber-auto-enrolment"), fs::path(state_) / "outbox.txt",
              {{QStringLiteral("E2E-AUTO-0001"), QStringLiteral("1007")}});
  Drive(robot);
  ExpectMessage(robot, QStringLiteral("Запрос успешно сформирован."));
  ExpectMessage(robot, kInstalled);
  EXPECT_TRUE(std::count(robot.screens.begin(), robot.screens.end(), QStringLiteral("138")) > 0)
      << "the auto-enrolment wait was not shown";
  ExpectInstalled("700001");
}

TEST_F(Road, SubscriberFetchesTheCertificateLater) {
  Robot robot(Artefacts("subscriber-later"), fs::path(state_) / "outbox.txt",
              {{QStringLiteral("E2E-LATER-0002"), QStringLiteral("1007")},
               {QStringLiteral("E2E-LATER-0002"), QStringLiteral("1008")}});
  Drive(robot);
  ExpectMessage(robot, QStringLiteral("Запрос сформирован, подписан и передан в систему заявок.\n"
                                      "Ожидайте сообщения о готовности сертификата."));
  ExpectMessage(robot, kInstalled);
  ExpectInstalled("700002");
}

TEST_F(Road, OperatorMakesTheRequestForASubscriber) {
  // The operator's own token with the operator's key and certificate, enrolled beforehand with
  // the tool and named in the settings as the operator certificate. Its carrier is blocked
  // (the default): the subscriber's key goes on the subscriber's token.
  test::VirtualToken operatorToken("rutoken-ecp", 35964, {"--label", "Operator", "--serial", "1111111"});
  ASSERT_TRUE(operatorToken.started());
  ASSERT_TRUE(WaitForCard(operatorToken, kOperatorReader));
  ASSERT_EQ(Tool("enroll --token E2E-OPERATOR-KEY --reader '" + text::ToUtf8(kOperatorReader) + "' --pin " + kPin +
                 " --sms-outbox '" + state_ + "/outbox.txt' --poll-seconds 1"),
            0);
  const auto operatorCert = ReadFile(fs::path(state_) / "issued" / "700003.cer");
  ASSERT_FALSE(operatorCert.empty());
  const auto thumbprint = platform::ThumbprintOf(operatorCert);
  settings_->binaries["agentCertificate"] = std::vector<std::uint8_t>(thumbprint.begin(), thumbprint.end());

  Robot robot(Artefacts("operator"), fs::path(state_) / "outbox.txt",
              {{QStringLiteral("E2E-BY-OPERATOR-4"), QStringLiteral("1007")},
               {QStringLiteral("E2E-BY-OPERATOR-4"), QStringLiteral("1008")}});
  Drive(robot);
  EXPECT_TRUE(std::count(robot.screens.begin(), robot.screens.end(), QStringLiteral("131")) == 0)
      << "an operator confirms with the key, not with an SMS code";
  ExpectMessage(robot, kInstalled);
  ExpectInstalled("700004");
}
