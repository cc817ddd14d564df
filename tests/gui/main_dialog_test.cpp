// The main window on the offscreen platform with carriers from the fake PC/SC stack.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "fake_pcsc.h"
#include "gui/cell_control.h"
#include "gui/main_dialog.h"
#include "gui/qt_environment.h"
#include "gui/qt_ui.h"
#include "support/scripted_ui.h"

using namespace orvane;
using gui::COrvaneDlg;

namespace {

[[maybe_unused]] auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment("gui_test"));

std::shared_ptr<vtoken::VirtualCard> Rutoken(std::uint32_t freeMemory, std::uint32_t serial = 0x0A0B0C0D) {
  vtoken::CardOptions o;
  o.label = "Ivanov";
  o.serial = serial;
  o.freeMemory = freeMemory;
  return test::Card("rutoken-ecp", o);
}

QString LineText(COrvaneDlg& dlg, int n) {
  return dlg.findChild<QLabel*>(QStringLiteral("carrierLine%1").arg(n))->text();
}

// Processes events until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!condition() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return condition();
}

struct Fixture {
  test::FakePcsc pcsc;
  test::ScriptedUi ui;
  COrvaneDlg::Services Services() {
    COrvaneDlg::Services s;
    s.ui = &ui;
    s.pcsc = &pcsc;
    s.monitorPeriod = std::chrono::milliseconds(50);
    return s;
  }
};

}  // namespace

TEST(MainDialog, CaptionAndEmptyCarrierPanel) {
  Fixture f;
  f.pcsc.AddReader(u"Reader 0");
  COrvaneDlg dlg(f.Services());
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Orvane 1.36.1642"));
  EXPECT_EQ(LineText(dlg, 5), QStringLiteral("Вставьте ключевой носитель"));
  EXPECT_FALSE(dlg.findChild<QPushButton*>(QStringLiteral("1007"))->isEnabled());
  EXPECT_FALSE(dlg.findChild<QPushButton*>(QStringLiteral("1008"))->isEnabled());
  EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("1015"))->text(), QStringLiteral("Загрузить сертификат"));
}

TEST(MainDialog, PanelForEnoughAndTooLittleMemory) {
  for (const auto& [free, ok] : {std::pair{4096u, true}, std::pair{4095u, false}}) {
    Fixture f;
    f.pcsc.AddReader(u"Reader 0");
    f.pcsc.Insert(u"Reader 0", Rutoken(free));
    COrvaneDlg dlg(f.Services());
    auto* list = dlg.findChild<QComboBox*>(QStringLiteral("1010"));
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->itemText(0).startsWith(QStringLiteral("RUTOKEN ECP ")));
    EXPECT_EQ(LineText(dlg, 4), QStringLiteral("Доступная память: %1 байт").arg(free));
    EXPECT_EQ(LineText(dlg, 5), ok ? QStringLiteral("Состояние: ОК") : QStringLiteral("Недостаточно памяти"));
    EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("1007"))->isEnabled(), ok);
    EXPECT_TRUE(dlg.findChild<QPushButton*>(QStringLiteral("1008"))->isEnabled());
    auto* line5 = dlg.findChild<gui::CStaticLabel*>(QStringLiteral("carrierLine5"));
    EXPECT_EQ(line5->Colour(), ok ? QColor(80, 80, 80) : QColor(160, 0, 0));
  }
}

TEST(MainDialog, InsertionAndRemovalReachTheList) {
  Fixture f;
  f.pcsc.AddReader(u"Reader 0");
  f.pcsc.AddReader(u"Reader 1");
  COrvaneDlg dlg(f.Services());
  auto* list = dlg.findChild<QComboBox*>(QStringLiteral("1010"));
  EXPECT_EQ(list->count(), 0);
  f.pcsc.Insert(u"Reader 1", Rutoken(30000));
  ASSERT_TRUE(WaitFor([&] { return list->count() == 1; }));
  EXPECT_EQ(LineText(dlg, 5), QStringLiteral("Состояние: ОК"));
  EXPECT_TRUE(dlg.Carrier());
  f.pcsc.Eject(u"Reader 1");
  ASSERT_TRUE(WaitFor([&] { return list->count() == 0; }));
  EXPECT_EQ(LineText(dlg, 5), QStringLiteral("Вставьте ключевой носитель"));
  EXPECT_FALSE(dlg.Carrier());
}

TEST(MainDialog, EnterDoesNothingEscapeCloses) {
  Fixture f;
  int created = 0;
  auto services = f.Services();
  services.onCreateRequest = [&](COrvaneDlg&) { ++created; };
  f.pcsc.AddReader(u"Reader 0");
  f.pcsc.Insert(u"Reader 0", Rutoken(30000));
  COrvaneDlg dlg(services);
  dlg.show();
  auto* edit = dlg.findChild<QLineEdit*>(QStringLiteral("1006"));
  edit->setFocus();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&dlg, &enter);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(created, 0);
  dlg.findChild<QPushButton*>(QStringLiteral("1007"))->click();
  EXPECT_EQ(created, 1);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&dlg, &escape);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(QtWizardUi, MessageBoxesCarryTheirCaptions) {
  gui::QtWizardUi ui;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    icon = box->icon();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(ui.AskYesNo(nullptr, u"Продолжить?"));
  EXPECT_EQ(title, QStringLiteral("Внимание"));
  EXPECT_EQ(icon, QMessageBox::Question);
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  ui.ShowError(nullptr, u"Ошибка сервера");
  EXPECT_EQ(title, QStringLiteral("Ошибка"));
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(MainDialog, OperatorCertificateFromTheSettings) {
  auto AgentRights = [] {
    auto r = std::make_shared<op::verifyClientResult>();
    r->agentMode = true;
    return r;
  };
  Fixture f;
  auto services = f.Services();
  int loads = 0;
  services.loadOperatorSettings = [&](COrvaneDlg&) {
    ++loads;
    op::OperatorSettings s;
    s.certificate = std::make_shared<csp::CertificateContext>();
    s.rights = std::make_shared<op::verifyClientResult>();
    s.rights->agentMode = true;
    return s;
  };
  COrvaneDlg dlg(services);
  EXPECT_EQ(loads, 1);
  EXPECT_TRUE(dlg.AgentMode());
  EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("1015"))->text(), QStringLiteral("Заменить сертификат"));
  EXPECT_FALSE(dlg.findChild<QLabel*>(QStringLiteral("certificateLabel"))->isHidden());
  // Rights and agent mode go with the certificate: a rights result without one counts for
  // nothing.
  dlg.SetOperatorCertificate(nullptr, AgentRights(), false);
  EXPECT_FALSE(dlg.AgentMode());
  EXPECT_FALSE(dlg.OperatorRights());
  EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("1015"))->text(), QStringLiteral("Загрузить сертификат"));
  EXPECT_TRUE(dlg.findChild<QLabel*>(QStringLiteral("certificateLabel"))->isHidden());
  auto clientRights = AgentRights();
  clientRights->agentMode = false;
  dlg.SetOperatorCertificate(std::make_shared<csp::CertificateContext>(), clientRights, false);
  EXPECT_FALSE(dlg.AgentMode());
  EXPECT_EQ(dlg.OperatorRights(), clientRights);
}

TEST(CellControl, SquareCellsWithSharedBordersAndAnExactPopup) {
  gui::CCellControlWnd popup(QStringLiteral("1234567890"));
  auto* cells = popup.findChild<gui::CCellControl*>(QStringLiteral("2233"));
  ASSERT_NE(cells, nullptr);
  const int s = cells->CellSize();
  EXPECT_GT(s, 6);
  EXPECT_EQ(cells->size(), QSize(10 * s, s));
  EXPECT_EQ(popup.size(), cells->size());
  EXPECT_EQ(cells->CellRect(0).left(), 0);
  EXPECT_EQ(cells->CellRect(1).left(), s - 1);  // the border between 0 and 1 is shared
  EXPECT_EQ(cells->CellRect(0).right(), s - 1);
  EXPECT_EQ(cells->CellRect(9).right(), 10 * s - 1);
  // A click on the cells ends the popup with 0.
  QTimer::singleShot(0, [&] {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(cells, &press);
  });
  EXPECT_EQ(popup.exec(), 0);

  gui::CCellControlWnd empty{QString()};
  EXPECT_EQ(empty.exec(), 0);  // nothing to show: ends at once
}

TEST(CellControl, EveryGlyphsInkLiesInsideItsCell) {
  const QString text = QStringLiteral("0123456789Щур");
  gui::CCellControlWnd popup(text);
  auto* cells = popup.findChild<gui::CCellControl*>(QStringLiteral("2233"));
  ASSERT_NE(cells, nullptr);
  const int s = cells->CellSize();
  const QFontMetrics fm(cells->font());
  for (const QChar c : text) {
    // Drawn from the top of the cell plus 3 pixels: the baseline is at 3 + ascent.
    const QRect ink = fm.tightBoundingRect(QString(c)).translated(0, 3 + fm.ascent());
    EXPECT_GE(ink.top(), 1) << QString(c).toStdString();
    EXPECT_LE(ink.bottom(), s - 2) << QString(c).toStdString() << " is cut off at the cell's lower border";
  }
}

TEST(MainDialog, HotKeysOnlyWhileTheWindowIsActive) {
  Fixture f;
  auto services = f.Services();
  int diagnostics = 0;
  services.onDiagnostics = [&](COrvaneDlg&) { ++diagnostics; };
  COrvaneDlg dlg(services);
  auto keys = dlg.findChildren<QShortcut*>();
  ASSERT_EQ(keys.size(), 2);
  dlg.show();
  QApplication::setActiveWindow(&dlg);
  ASSERT_TRUE(WaitFor([&] { return dlg.isActiveWindow(); }));
  EXPECT_TRUE(keys[0]->isEnabled());
  EXPECT_TRUE(keys[1]->isEnabled());
  for (auto* k : keys) {
    if (k->key() == QKeySequence(Qt::CTRL | Qt::Key_I)) emit k->activated();
  }
  EXPECT_EQ(diagnostics, 1);
  // A child dialog of a flow takes the activation: the keys are free meanwhile.
  QDialog child(&dlg);
  child.show();
  QApplication::setActiveWindow(&child);
  ASSERT_TRUE(WaitFor([&] { return child.isActiveWindow(); }));
  EXPECT_FALSE(keys[0]->isEnabled());
  EXPECT_FALSE(keys[1]->isEnabled());
  child.close();
  QApplication::setActiveWindow(&dlg);
  ASSERT_TRUE(WaitFor([&] { return dlg.isActiveWindow(); }));
  EXPECT_TRUE(keys[0]->isEnabled());
}

TEST(MainDialog, AFlowAskingForTheTokenLeavesTheFocusInItsField) {
  Fixture f;
  f.pcsc.AddReader(u"Reader 0");
  f.pcsc.Insert(u"Reader 0", Rutoken(30000));
  auto services = f.Services();
  services.onCreateRequest = [](COrvaneDlg& dlg) { dlg.FocusTokenEdit(); };  // "Введите маркер доступа"
  COrvaneDlg dlg(services);
  dlg.show();
  QApplication::setActiveWindow(&dlg);
  ASSERT_TRUE(WaitFor([&] { return dlg.isActiveWindow(); }));
  auto* create = dlg.findChild<QPushButton*>(QStringLiteral("1007"));
  create->setFocus();
  create->click();
  EXPECT_TRUE(dlg.findChild<QLineEdit*>(QStringLiteral("1006"))->hasFocus());
}

TEST(MainDialog, ARunningFlowCannotBeEnteredAgainNorItsWindowClosed) {
  Fixture f;
  f.pcsc.AddReader(u"Reader 0");
  f.pcsc.Insert(u"Reader 0", Rutoken(30000));
  auto services = f.Services();
  int created = 0, fetched = 0;
  bool checked = false;
  services.onGetCertificate = [&](COrvaneDlg&) { ++fetched; };
  services.onCreateRequest = [&](COrvaneDlg& dlg) {
    ++created;
    // Events go on while a flow waits (progress windows, network): what the user reaches
    // meanwhile must do nothing.
    auto* create = dlg.findChild<QPushButton*>(QStringLiteral("1007"));
    auto* get = dlg.findChild<QPushButton*>(QStringLiteral("1008"));
    EXPECT_FALSE(create->isEnabled());
    EXPECT_FALSE(get->isEnabled());
    EXPECT_FALSE(dlg.findChild<QLineEdit*>(QStringLiteral("1006"))->isEnabled());
    EXPECT_FALSE(dlg.findChild<QComboBox*>(QStringLiteral("1010"))->isEnabled());
    create->click();
    get->click();
    // A reader change during the flow does not give the buttons back.
    f.pcsc.Insert(u"Reader 1", Rutoken(30000, 5));
    WaitFor([] { return false; }, 200);
    EXPECT_FALSE(create->isEnabled());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &escape);
    dlg.close();
    EXPECT_TRUE(dlg.isVisible());
    // The flow itself may go on into the other one (auto-enrolment fetches the certificate).
    dlg.OnGetCertificate();
    checked = true;
  };
  f.pcsc.AddReader(u"Reader 1");
  COrvaneDlg dlg(services);
  dlg.show();
  dlg.findChild<QPushButton*>(QStringLiteral("1007"))->click();
  EXPECT_TRUE(checked);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(fetched, 1);
  EXPECT_TRUE(dlg.findChild<QPushButton*>(QStringLiteral("1007"))->isEnabled());
  EXPECT_TRUE(dlg.findChild<QLineEdit*>(QStringLiteral("1006"))->isEnabled());
  EXPECT_TRUE(dlg.isVisible());
}
