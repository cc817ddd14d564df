// The request-data, SMS-code and auto-enrolment dialogs on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <fstream>
#include <thread>

#include "gui/auto_enroll_dlg.h"
#include "gui/finish_dialogs.h"
#include "gui/pin_code_dlg.h"
#include "gui/qt_environment.h"
#include "gui/request_properties_dlg.h"
#include "server.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"

using namespace orvane;

namespace {

[[maybe_unused]] auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment("gui_dialogs_test"));

bool WaitFor(const std::function<bool()>& condition, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!condition() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return condition();
}

template <typename T>
T* Child(QWidget& parent, const char* id) {
  return parent.findChild<T*>(QString::fromLatin1(id));
}

void Key(QWidget* target, int key, const QString& text = QString()) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &release);
}

void Type(QWidget* target, const QString& text) {
  for (const QChar c : text) Key(target, c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_A, QString(c));
}

void Click(QWidget* viewport, const QPoint& at) {
  QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(viewport, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(viewport, &release);
}

request::RequestPropertiesModel Model() {
  auto data = std::make_shared<request::remoteRequestData>();
  data->request_id = u"100500";
  data->ord = 3;
  data->template_ = u"Квалифицированная электронная подпись";
  data->subject_quoted = u"2.5.4.6=RU,2.5.4.3=\"Иванов, Иван\",2.5.4.11=A,2.5.4.11=B";
  data->eku = std::vector<std::u16string>{u"1.3.6.1.5.5.7.3.2"};
  data->export_ = true;
  data->cryptoStandart = 2;
  request::RequestPropertiesModel model(data);
  model.carrierText = u"Рутокен ЭЦП 2.0 (0A0B0C0D)";
  model.providerText = u"КриптоПро";
  return model;
}

}  // namespace

TEST(RequestProperties, ShowsTheTextsAndTheSubjectRowsInLabelOrder) {
  auto model = Model();
  gui::RequestProperties dlg(model, nullptr);
  EXPECT_EQ(dlg.objectName(), QStringLiteral("129"));
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Данные запроса пользователя"));
  EXPECT_EQ(Child<QLabel>(dlg, "1001")->text(), QStringLiteral("100500 / 3"));
  EXPECT_EQ(Child<QLabel>(dlg, "1002")->text(), QStringLiteral("Квалифицированная электронная подпись"));
  EXPECT_EQ(Child<QLabel>(dlg, "1003")->text(), QStringLiteral("Рутокен ЭЦП 2.0 (0A0B0C0D)"));
  EXPECT_EQ(Child<QLabel>(dlg, "1018")->text(), QStringLiteral("РАЗРЕШЕН"));
  EXPECT_EQ(Child<QLabel>(dlg, "1020")->text(), QStringLiteral("КриптоПро"));
  EXPECT_EQ(Child<QLabel>(dlg, "1021")->text(), QStringLiteral("2012-512"));
  for (const QLabel* label : dlg.findChildren<QLabel*>()) {
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
  }

  auto* table = Child<QTableWidget>(dlg, "1005");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->horizontalHeaderItem(0)->text(), QStringLiteral("Параметр"));
  EXPECT_EQ(table->horizontalHeaderItem(1)->text(), QStringLiteral("Значение"));
  ASSERT_EQ(table->rowCount(), 3);
  const QStringList expected = {QStringLiteral("Общее имя"), QStringLiteral("Иванов, Иван"),  QStringLiteral("Страна"),
                                QStringLiteral("RU"),        QStringLiteral("Подразделение"), QStringLiteral("A")};
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(table->item(row, 0)->text(), expected[row * 2]);
    EXPECT_EQ(table->item(row, 1)->text(), expected[row * 2 + 1]);
  }
  dlg.show();
  QApplication::processEvents();
  EXPECT_EQ(table->columnWidth(0), 160);
  EXPECT_EQ(table->columnWidth(0) + table->columnWidth(1), table->viewport()->width());
}

TEST(RequestProperties, ConfirmEndsWithOneEscapeWithZeroAndARowShowsItsValueInCells) {
  auto model = Model();
  gui::RequestProperties dlg(model, nullptr);
  auto* table = Child<QTableWidget>(dlg, "1005");
  QString shown;
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, [&] {
      auto* popup = qobject_cast<QDialog*>(QApplication::activePopupWidget());
      ASSERT_NE(popup, nullptr);
      shown = popup->objectName();
      popup->done(0);
    });
    Click(table->viewport(), table->visualItemRect(table->item(0, 1)).center());
    Child<QPushButton>(dlg, "1")->click();
  });
  EXPECT_EQ(dlg.exec(), 1);
  EXPECT_EQ(shown, QStringLiteral("130"));

  gui::RequestProperties cancelled(model, nullptr);
  QTimer::singleShot(0, [&] { Key(&cancelled, Qt::Key_Escape); });
  EXPECT_EQ(cancelled.exec(), 0);
}

struct SmsFixture {
  test::ScriptedUi ui;
  net::RequestSystem requestSystem{ui, "127.0.0.1", 1};  // nothing listens there
};

TEST(PinCode, OnlySixDigitsCloseTheDialogWithThoseDigits) {
  SmsFixture f;
  gui::CPinCodeDlg dlg(f.requestSystem, u"T-1", f.ui, nullptr);
  dlg.show();
  auto* edit = Child<QLineEdit>(dlg, "1006");
  Type(edit, QStringLiteral("12a345"));
  EXPECT_EQ(edit->text(), QStringLiteral("12345"));
  Child<QPushButton>(dlg, "1")->click();
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0].kind, MessageKind::Warning);
  EXPECT_EQ(f.ui.messages[0].text, u"Введите СМС-код (6 цифр)");
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.focusWidget(), edit);

  Type(edit, QStringLiteral("67"));
  EXPECT_EQ(edit->text(), QStringLiteral("123456"));
  Child<QPushButton>(dlg, "1")->click();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.CodeText(), u"123456");
  EXPECT_EQ(f.ui.messages.size(), 1u);
}

TEST(PinCode, TheSourceAnswersWithTheCodeOrNone) {
  SmsFixture f;
  gui::QtSmsCodeSource source(f.requestSystem, f.ui);
  QTimer::singleShot(0, [] {
    auto* dlg = qobject_cast<gui::CPinCodeDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    auto* edit = Child<QLineEdit>(*dlg, "1006");
    Type(edit, QStringLiteral("654321"));
    Key(edit, Qt::Key_Return);  // Enter is OK
  });
  EXPECT_EQ(source.SmsCode(nullptr, u"T-1", u"1"), std::optional<std::u16string>(u"654321"));
  QTimer::singleShot(0, [] {
    auto* dlg = qobject_cast<gui::CPinCodeDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    Child<QPushButton>(*dlg, "2")->click();
  });
  EXPECT_EQ(source.SmsCode(nullptr, u"T-1", u"1"), std::nullopt);
}

// A clock that moves a second at every reading while running, so that each tick of the
// dialog's timer counts one second down.
struct FastClock {
  std::shared_ptr<std::int64_t> now = std::make_shared<std::int64_t>(1000);
  std::shared_ptr<bool> running = std::make_shared<bool>(false);
  std::shared_ptr<int> readings = std::make_shared<int>(0);
  wizard::SmsCodeCountdown::Clock Clock() const {
    return [now = now, running = running, readings = readings] {
      ++*readings;
      return *running ? ++*now : *now;
    };
  }
};

// Runs the countdown to the end with the dialog's timer made fast.
void CountDown(gui::CPinCodeDlg& dlg, const FastClock& clock) {
  auto* again = Child<QPushButton>(dlg, "1007");
  dlg.findChild<QTimer*>(QStringLiteral("countdownTimer"))->setInterval(1);
  *clock.running = true;
  ASSERT_TRUE(WaitFor([&] { return again->isEnabled(); }));
  *clock.running = false;
}

TEST(PinCode, TheReRequestButtonCountsDownOnTheDialogsTimer) {
  SmsFixture f;
  FastClock clock;
  gui::CPinCodeDlg dlg(f.requestSystem, u"T-1", f.ui, nullptr, clock.Clock());
  auto* again = Child<QPushButton>(dlg, "1007");
  EXPECT_FALSE(again->isEnabled());
  EXPECT_EQ(again->text(), QStringLiteral("Запросить СМС-код повторно - 120"));
  dlg.findChild<QTimer*>(QStringLiteral("countdownTimer"))->setInterval(1);
  ++*clock.now;
  ASSERT_TRUE(WaitFor([&] { return again->text().endsWith(QStringLiteral(" - 119")); }));
  EXPECT_FALSE(again->isEnabled());
  CountDown(dlg, clock);
  EXPECT_EQ(again->text(), QStringLiteral("Запросить СМС-код повторно"));

  // Nothing listens on the port: the failure is reported and the button stays enabled.
  again->click();
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0].kind, MessageKind::Error);
  EXPECT_TRUE(f.ui.messages[0].Utf8().starts_with("Запрос СМС-кода завершился с ошибкой"));
  EXPECT_TRUE(again->isEnabled());
}

TEST(PinCode, NothingReadsTheClockOnceTheDialogIsGone) {
  SmsFixture f;
  FastClock clock;
  auto dlg = std::make_unique<gui::CPinCodeDlg>(f.requestSystem, u"T-1", f.ui, nullptr, clock.Clock());
  dlg->show();
  *clock.running = true;
  ASSERT_TRUE(WaitFor([&] { return *clock.readings > 2; }));
  dlg.reset();
  const int readings = *clock.readings;
  WaitFor([] { return false; }, 300);
  EXPECT_EQ(*clock.readings, readings);
}

TEST(PinCode, ASuccessfulReRequestStartsTheCountAgain) {
  test::TempDir dir;
  const std::string seed = dir.Path() + "/seed.ini";
  std::ofstream(seed) << "[application.a]\ntoken = T-1\nrequest_id = 1\nsubject = 2.5.4.3=Иванов,2.5.4.6=RU\n"
                         "eku = 1.3.6.1.5.5.7.3.2\n";
  refsys::Server server;
  refsys::ServerOptions options;
  options.stateDir = dir.Path() + "/state";
  options.seedFile = seed;
  std::string error;
  ASSERT_TRUE(server.Start(options, error)) << error;
  std::thread serving([&] { server.Run(); });

  test::ScriptedUi ui;
  net::RequestSystem requestSystem(ui, "127.0.0.1", static_cast<std::uint16_t>(server.Port()), nullptr,
                                   server.TlsCaFile());
  FastClock clock;
  gui::CPinCodeDlg dlg(requestSystem, u"T-1", ui, nullptr, clock.Clock());
  dlg.show();
  CountDown(dlg, clock);
  auto* again = Child<QPushButton>(dlg, "1007");
  again->click();
  EXPECT_TRUE(ui.messages.empty()) << (ui.messages.empty() ? std::string() : ui.messages[0].Utf8());
  EXPECT_FALSE(again->isEnabled());
  EXPECT_EQ(again->text(), QStringLiteral("Запросить СМС-код повторно - 120"));
  EXPECT_EQ(dlg.focusWidget(), Child<QLineEdit>(dlg, "1006"));

  server.Stop();
  serving.join();
}

TEST(AutoEnrollProgress, AdvanceMovesTheBarAndWrapsAtTheEnd) {
  auto window = gui::OpenAutoEnrollProgress(nullptr);
  auto* dlg = dynamic_cast<gui::AutoEnrollProgressDlg*>(window.get());
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(dlg->objectName(), QStringLiteral("138"));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_TRUE(dlg->windowFlags().testFlag(Qt::FramelessWindowHint));
  auto* bar = Child<QProgressBar>(*dlg, "1019");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), 0);
  window->Advance();
  EXPECT_EQ(bar->value(), 1);
  bar->setValue(100);
  window->Advance();
  EXPECT_EQ(bar->value(), 0);

  QElapsedTimer t;
  t.start();
  window->Pump(std::chrono::milliseconds(60));
  EXPECT_GE(t.elapsed(), 50);
}

TEST(FinishDialog, EnterDoesNothingEscapeCancelsTheButtonsAnswer) {
  auto run = [](const std::function<void(gui::CFinishDlg&)>& act) {
    gui::CFinishDlg dlg;
    QTimer::singleShot(0, [&] {
      act(dlg);
      if (dlg.isVisible()) dlg.done(99);  // still open: the action did not end it
    });
    return dlg.exec();
  };
  auto key = [](QWidget& w, int k) {
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
  };
  EXPECT_EQ(run([&](gui::CFinishDlg& d) { key(d, Qt::Key_Return); }), 99);
  EXPECT_EQ(run([&](gui::CFinishDlg& d) { key(d, Qt::Key_Escape); }), gui::CFinishDlg::kCancel);
  EXPECT_EQ(run([](gui::CFinishDlg& d) { d.findChild<QPushButton*>(QStringLiteral("1007"))->click(); }),
            gui::CFinishDlg::kInstall);
  EXPECT_EQ(run([](gui::CFinishDlg& d) { d.findChild<QPushButton*>(QStringLiteral("1008"))->click(); }),
            gui::CFinishDlg::kFinish);
}
