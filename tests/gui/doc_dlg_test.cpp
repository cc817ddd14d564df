// The form preview dialog on the offscreen platform: the windows-1251 form, the buttons of
// each mode, their anchoring on resize, the PDF file and closing with the abort question.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <functional>
#include <memory>

#include "gui/doc_dlg.h"
#include "gui/finish_dialogs.h"
#include "gui/qt_environment.h"
#include "support/scripted_ui.h"

using namespace orvane;
using gui::CDocDlg;

namespace {

[[maybe_unused]] auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment("gui_test"));

class NoSmsCode : public wizard::SmsCodeSource {
 public:
  std::optional<std::u16string> SmsCode(WindowHandle, const std::u16string&, const std::u16string&) override {
    ++asked;
    return std::nullopt;
  }
  int asked = 0;
};

const QString kForm = QStringLiteral(
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
    "<style type=\"text/css\">body { font-size: 8pt; } h1 { font: bold 20pt/24pt Verdana, sans-serif; }</style>"
    "</head><body><h1>Заявление на сертификат</h1><p>Владелец: Иванов Иван Иванович</p><h2>Сведения о "
    "ключе</h2></body></html>");

struct Fixture {
  Fixture() {
    EXPECT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("TVK-test.html"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    QStringEncoder encoder("windows-1251");
    file.write(encoder.encode(kForm));
  }
  wizard::PreviewServices Services() { return {ui, requestSystem, registry, sms}; }
  std::unique_ptr<wizard::DocumentPreview> Request() {
    return std::make_unique<wizard::DocumentPreview>(Services(), std::make_shared<wizard::requestFormContext>());
  }
  std::unique_ptr<wizard::DocumentPreview> Certificate(bool printOnly) {
    return std::make_unique<wizard::DocumentPreview>(Services(), u"token", printOnly);
  }

  QTemporaryDir dir;
  QString path;
  test::ScriptedUi ui;
  net::RequestSystem requestSystem{ui, "127.0.0.1", 1};
  csp::ProviderRegistry registry;
  NoSmsCode sms;
};

QPushButton* ButtonOf(CDocDlg& dlg, const char* id) {
  return dlg.findChild<QPushButton*>(QString::fromLatin1(id));
}

// Runs `answer` on the modal dialog `id` (a child of `parent`) once it is shown; counts how
// often it ran.
struct ModalAnswer {
  ModalAnswer(QWidget& parent, const QString& id, std::function<void(QWidget&)> answer) {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&parent, id, answer = std::move(answer), this] {
      for (auto* w : parent.findChildren<QWidget*>(id)) {
        if (w->isVisible()) {
          ++runs;
          answer(*w);
          return;
        }
      }
    });
    timer.start();
  }
  QTimer timer;
  int runs = 0;
};

void SendKey(QWidget& w, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(&w, &press);
}

}  // namespace

TEST(DocDlg, ShowsTheDecodedFormWithALargerHeading) {
  Fixture f;
  auto preview = f.Request();
  CDocDlg dlg(f.path, *preview);
  ASSERT_TRUE(dlg.Loaded());
  EXPECT_EQ(dlg.View()->textCursor().position(), 0);  // shown from its top
  EXPECT_EQ(dlg.objectName(), QStringLiteral("132"));
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Информация о запросе на сертификат"));
  const QString text = dlg.View()->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("Заявление на сертификат"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Владелец: Иванов Иван Иванович"))) << text.toStdString();

  // The heading sizes as the style sheet gives them: h1 by its "font:" rule (family included), h2 (no rule of its
  // own) one and a half times the body's.
  qreal heading = 0, subheading = 0, body = 0;
  for (QTextBlock b = dlg.View()->document()->begin(); b.isValid(); b = b.next()) {
    const QFont font = b.begin().fragment().charFormat().font();
    if (b.text().startsWith(QStringLiteral("Заявление"))) {
      heading = font.pointSizeF();
      EXPECT_TRUE(font.bold());
      EXPECT_TRUE(b.begin().fragment().charFormat().fontFamilies().toStringList().contains(QStringLiteral("Verdana")));
    }
    if (b.text().startsWith(QStringLiteral("Сведения"))) subheading = font.pointSizeF();
    if (b.text().startsWith(QStringLiteral("Владелец"))) body = font.pointSizeF();
  }
  EXPECT_DOUBLE_EQ(heading, 20);
  EXPECT_DOUBLE_EQ(subheading, 12);
  EXPECT_DOUBLE_EQ(body, 8);
}

TEST(DocDlg, FontShorthandsBecomeLonghands) {
  EXPECT_EQ(gui::ExpandFontShorthands(QStringLiteral("<p style=\"font: italic 10px 'Times New Roman'\">x</p>")),
            QStringLiteral("<p style=\"font-style: italic; font-variant: normal; font-weight: normal; font-size: "
                           "10px; font-family: 'Times New Roman'\">x</p>"));
  // Neither a longhand nor a shorthand without a size is touched.
  const QString untouched = QStringLiteral("<style>p { font-size: 7pt; font: caption }</style>");
  EXPECT_EQ(gui::ExpandFontShorthands(untouched), untouched);
}

TEST(DocDlg, RequestModeSignsAndStaysOpenWithoutACode) {
  Fixture f;
  auto preview = f.Request();
  CDocDlg dlg(f.path, *preview);
  dlg.show();
  auto* sign = ButtonOf(dlg, "1007");
  EXPECT_EQ(sign->text(), QStringLiteral("Подписать и отправить"));
  EXPECT_FALSE(sign->isHidden());
  EXPECT_TRUE(sign->isEnabled());
  EXPECT_TRUE(ButtonOf(dlg, "1008")->isEnabled());
  EXPECT_TRUE(ButtonOf(dlg, "1015")->isHidden());
  EXPECT_EQ(ButtonOf(dlg, "pdf")->text(), QStringLiteral("Сохранить в PDF"));
  EXPECT_EQ(dlg.findChildren<QShortcut*>().size(), 1);

  sign->click();  // no SMS code: nothing is sent
  EXPECT_EQ(f.sms.asked, 1);
  EXPECT_TRUE(dlg.isVisible());

  // Enter does nothing.
  SendKey(*dlg.View(), Qt::Key_Return);
  SendKey(dlg, Qt::Key_Return);
  EXPECT_TRUE(dlg.isVisible());
  dlg.done(QDialog::Rejected);
}

TEST(DocDlg, CertificateModeBeforeAndAfterSigning) {
  Fixture f;
  auto preview = f.Certificate(false);
  CDocDlg dlg(f.path, *preview);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Информация о сертификате"));
  auto* sign = ButtonOf(dlg, "1007");
  auto* print = ButtonOf(dlg, "1008");
  auto* write = ButtonOf(dlg, "1015");
  EXPECT_EQ(sign->text(), QStringLiteral("Подписать"));
  EXPECT_TRUE(sign->isEnabled());
  EXPECT_FALSE(write->isHidden());
  EXPECT_FALSE(write->isEnabled());
  EXPECT_FALSE(print->isEnabled());

  preview->formSigned = true;
  preview->canWrite = true;
  dlg.UpdateButtons();
  EXPECT_FALSE(sign->isEnabled());
  EXPECT_TRUE(write->isEnabled());
  EXPECT_TRUE(print->isEnabled());

  dlg.show();
  write->click();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(DocDlg, PrintOnlyHidesSignAndWriteAndClosesWithoutAQuestion) {
  Fixture f;
  auto preview = f.Certificate(true);
  CDocDlg dlg(f.path, *preview);
  dlg.show();
  EXPECT_TRUE(ButtonOf(dlg, "1007")->isHidden());
  EXPECT_TRUE(ButtonOf(dlg, "1015")->isHidden());
  EXPECT_TRUE(ButtonOf(dlg, "1008")->isEnabled());
  ModalAnswer question(dlg, QStringLiteral("136"), [](QWidget& w) { static_cast<QDialog&>(w).done(1); });
  SendKey(dlg, Qt::Key_Escape);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_EQ(question.runs, 0);
}

TEST(DocDlg, AgentModeHasNoPrintHotKey) {
  Fixture f;
  auto preview = f.Certificate(false);
  preview->agentMode = true;
  CDocDlg dlg(f.path, *preview);
  EXPECT_TRUE(dlg.findChildren<QShortcut*>().isEmpty());
}

TEST(DocDlg, ButtonsKeepTheirDistanceFromTheRightEdge) {
  for (bool request : {true, false}) {
    Fixture f;
    auto preview = request ? f.Request() : f.Certificate(false);
    CDocDlg dlg(f.path, *preview);
    dlg.show();
    dlg.resize(1000, 500);
    QApplication::processEvents();
    auto gap = [&](const char* id) { return dlg.width() - ButtonOf(dlg, id)->geometry().left(); };
    EXPECT_EQ(gap("1008"), 140);
    EXPECT_EQ(gap("1007"), request ? 360 : 260);
    const int printRight = dlg.width() - ButtonOf(dlg, "1008")->geometry().right();
    dlg.resize(1300, 700);
    QApplication::processEvents();
    EXPECT_EQ(dlg.width(), 1300);
    EXPECT_EQ(gap("1008"), 140);
    EXPECT_EQ(gap("1007"), request ? 360 : 260);
    EXPECT_EQ(dlg.width() - ButtonOf(dlg, "1008")->geometry().right(), printRight);
    if (!request) {
      EXPECT_EQ(gap("1015"), 432);
    }
    EXPECT_EQ(dlg.View()->geometry(), QRect(0, 50, 1300, 650));
    // Nothing overlaps in the row.
    const QRect pdf = ButtonOf(dlg, "pdf")->geometry();
    for (const char* id : {"1007", "1008", "1015"}) EXPECT_FALSE(pdf.intersects(ButtonOf(dlg, id)->geometry())) << id;
    EXPECT_FALSE(ButtonOf(dlg, "1007")->geometry().intersects(ButtonOf(dlg, "1008")->geometry()));
    if (!request) {
      EXPECT_FALSE(ButtonOf(dlg, "1015")->geometry().intersects(ButtonOf(dlg, "1007")->geometry()));
    }
    dlg.done(QDialog::Rejected);
  }
}

TEST(DocDlg, SavesAReadablePdf) {
  const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  Fixture f;
  auto preview = f.Request();
  CDocDlg dlg(f.path, *preview);
  const QString pdf = f.dir.filePath(QStringLiteral("form.pdf"));
  ASSERT_TRUE(dlg.SaveAsPdf(pdf));
  QProcess process;
  process.start(pdftotext, {pdf, QStringLiteral("-")});
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0);
  const QString text = QString::fromUtf8(process.readAllStandardOutput());
  EXPECT_TRUE(text.contains(QStringLiteral("Заявление на сертификат"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Иванов Иван Иванович"))) << text.toStdString();
}

TEST(DocDlg, SavingIntoAMissingFolderFails) {
  Fixture f;
  auto preview = f.Request();
  CDocDlg dlg(f.path, *preview);
  const QString pdf = f.dir.filePath(QStringLiteral("missing/form.pdf"));
  QString shown;
  ModalAnswer box(dlg, QString(), [&](QWidget& w) {
    if (auto* message = qobject_cast<QMessageBox*>(&w)) {
      shown = message->text();
      message->accept();
    }
  });
  EXPECT_FALSE(dlg.SaveAsPdf(pdf));
  EXPECT_EQ(shown, QStringLiteral("Не удалось сохранить бланк в файл %1").arg(QDir::toNativeSeparators(pdf)));
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST(DocDlg, EscapeAsksBeforeAbandoningARequest) {
  Fixture f;
  auto preview = f.Request();
  CDocDlg dlg(f.path, *preview);
  dlg.show();
  {
    ModalAnswer keep(dlg, QStringLiteral("136"),
                     [](QWidget& w) { w.findChild<QPushButton*>(QStringLiteral("2"))->click(); });
    SendKey(dlg, Qt::Key_Escape);
    EXPECT_EQ(keep.runs, 1);
    EXPECT_TRUE(dlg.isVisible());
  }
  ModalAnswer abort(dlg, QStringLiteral("136"), [](QWidget& w) {
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("1001"))->text(),
              QStringLiteral("Документ не был подписан и отправлен."));
    w.findChild<QPushButton*>(QStringLiteral("1"))->click();
  });
  SendKey(dlg, Qt::Key_Escape);
  EXPECT_EQ(abort.runs, 1);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
}
