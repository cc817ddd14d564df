// The certificate viewer on the offscreen platform: both tabs, every field row, the value of
// the selected row, and the message for a certificate that cannot be read.
#include "gui/cert_viewer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <fstream>
#include <iterator>
#include <memory>

#include "gui/qt_environment.h"
#include "gui/qt_ui.h"

using namespace orvane;
using gui::CCertificateViewer;

namespace {

[[maybe_unused]] auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment("gui_test"));

CertificatePtr Root(const char* name) {
  std::ifstream in(std::string(ORVANE_TEST_DATA_DIR) + "/head-ca/" + name, std::ios::binary);
  auto certificate = std::make_shared<CertificateContext>();
  certificate->der.assign(std::istreambuf_iterator<char>(in), {});
  return certificate;
}

QString LabelText(const QWidget& dialog, const char* name) {
  const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
  return label != nullptr ? label->text() : QStringLiteral("<none>");
}

TEST(CertViewer, ShowsBothTabsAndEveryField) {
  const auto root = Root("rootB.cer");
  const auto view = render::DescribeCertificate(root->der);
  ASSERT_TRUE(view);
  CCertificateViewer dialog(*view);
  dialog.show();
  EXPECT_EQ(dialog.objectName(), QStringLiteral("certificateViewer"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Просмотр сертификата"));

  QTabWidget* tabs = dialog.Tabs();
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("Общие"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Состав"));
  QStringList captions;
  for (const QLabel* label : tabs->widget(0)->findChildren<QLabel*>()) captions << label->text();
  EXPECT_TRUE(captions.contains(QStringLiteral("Кому выдан:")));
  EXPECT_TRUE(captions.contains(QStringLiteral("Кем выдан:")));
  EXPECT_TRUE(captions.contains(QStringLiteral("Отпечаток:")));
  EXPECT_EQ(LabelText(dialog, "owner"), QStringLiteral("Минкомсвязь России"));
  EXPECT_EQ(LabelText(dialog, "issuer"), QStringLiteral("Минкомсвязь России"));
  EXPECT_EQ(LabelText(dialog, "validity"),
            QStringLiteral("Действителен с 6 июля 2018 г. 12:18:06 UTC по 1 июля 2036 г. 12:18:06 UTC"));
  EXPECT_EQ(LabelText(dialog, "thumbprint"), QStringLiteral("4BC6DC14D97010C41A26E058AD851F81C842415A"));
  const auto* thumbprint = dialog.findChild<QLabel*>(QStringLiteral("thumbprint"));
  EXPECT_TRUE(thumbprint->textInteractionFlags() & Qt::TextSelectableByMouse);

  QTreeWidget* fields = dialog.findChild<QTreeWidget*>(QStringLiteral("fields"));
  ASSERT_EQ(fields, dialog.Fields());
  EXPECT_EQ(fields->headerItem()->text(0), QStringLiteral("Поле"));
  EXPECT_EQ(fields->headerItem()->text(1), QStringLiteral("Значение"));
  ASSERT_EQ(static_cast<std::size_t>(fields->topLevelItemCount()), view->fields.size());
  for (int i = 0; i < fields->topLevelItemCount(); ++i) {
    EXPECT_EQ(fields->topLevelItem(i)->text(0), gui::ToQString(view->fields[static_cast<std::size_t>(i)].first));
  }
  EXPECT_EQ(fields->topLevelItem(fields->topLevelItemCount() - 1)->text(1),
            QStringLiteral("4BC6DC14D97010C41A26E058AD851F81C842415A"));

  auto* value = dialog.findChild<QPlainTextEdit*>(QStringLiteral("fieldValue"));
  ASSERT_EQ(value, dialog.FieldValue());
  EXPECT_TRUE(value->isReadOnly());
  tabs->setCurrentIndex(1);
  const int subject = 6;
  ASSERT_EQ(fields->topLevelItem(subject)->text(0), QStringLiteral("Субъект"));
  fields->setCurrentItem(fields->topLevelItem(subject));
  EXPECT_EQ(value->toPlainText(), gui::ToQString(view->fields[subject].second));
  EXPECT_TRUE(value->toPlainText().endsWith(QStringLiteral("CN=Минкомсвязь России")));

  auto* close = dialog.findChild<QPushButton*>(QStringLiteral("close"));
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(close->text(), QStringLiteral("Закрыть"));
  close->click();
  EXPECT_FALSE(dialog.isVisible());
}

TEST(CertViewer, ShowCertificateRunsTheViewerWithTheCallersTitle) {
  QString title;
  QTimer::singleShot(0, [&] {
    if (auto* dialog = qobject_cast<CCertificateViewer*>(QApplication::activeModalWidget())) {
      title = dialog->windowTitle();
      dialog->reject();
    }
  });
  gui::ShowCertificate(nullptr, Root("rootA.cer"), QStringLiteral("Сертификат оператора"));
  EXPECT_EQ(title, QStringLiteral("Сертификат оператора"));
}

TEST(CertViewer, UnreadableCertificateGivesAMessageAndNoViewer) {
  auto certificate = Root("rootA.cer");
  certificate->der.resize(certificate->der.size() / 2);
  QString text;
  bool viewer = false;
  QTimer::singleShot(0, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    viewer = qobject_cast<CCertificateViewer*>(modal) != nullptr;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
    if (modal != nullptr) modal->close();
  });
  gui::ShowCertificate(nullptr, certificate);
  EXPECT_FALSE(viewer);
  EXPECT_EQ(text, QStringLiteral("Не удается прочитать данные сертификата"));
}

}  // namespace
