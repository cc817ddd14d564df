#include "gui/cert_viewer.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/qt_ui.h"

namespace orvane::gui {

namespace {

QLabel* SelectableText(const QString& text, const QString& name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  return label;
}

// The list shows a value on one line; the field below shows it whole.
QString OneLine(QString text) {
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return text;
}

}  // namespace

CCertificateViewer::CCertificateViewer(const render::CertificateView& view, const QString& title, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("certificateViewer"));
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  tabs_->addTab(GeneralTab(view), QStringLiteral("Общие"));
  tabs_->addTab(FieldsTab(view), QStringLiteral("Состав"));
  layout->addWidget(tabs_);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* close = buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(560, 520);
}

QWidget* CCertificateViewer::GeneralTab(const render::CertificateView& view) {
  auto* page = new QWidget(this);
  page->setObjectName(QStringLiteral("general"));
  auto* form = new QFormLayout(page);
  form->addRow(QStringLiteral("Кому выдан:"), SelectableText(ToQString(view.owner), QStringLiteral("owner"), page));
  form->addRow(QStringLiteral("Кем выдан:"), SelectableText(ToQString(view.issuer), QStringLiteral("issuer"), page));
  form->addRow(
      SelectableText(QStringLiteral("Действителен с %1 по %2").arg(ToQString(view.validFrom), ToQString(view.validTo)),
                     QStringLiteral("validity"), page));
  form->addRow(QStringLiteral("Отпечаток:"),
               SelectableText(ToQString(view.thumbprint), QStringLiteral("thumbprint"), page));
  return page;
}

QWidget* CCertificateViewer::FieldsTab(const render::CertificateView& view) {
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setObjectName(QStringLiteral("composition"));
  fields_ = new QTreeWidget(splitter);
  fields_->setObjectName(QStringLiteral("fields"));
  fields_->setColumnCount(2);
  fields_->setHeaderLabels({QStringLiteral("Поле"), QStringLiteral("Значение")});
  fields_->setRootIsDecorated(false);
  fields_->setUniformRowHeights(true);
  fields_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (const auto& [name, value] : view.fields) {
    const QString whole = ToQString(value);
    auto* item = new QTreeWidgetItem(fields_, {ToQString(name), OneLine(whole)});
    item->setData(1, Qt::UserRole, whole);
    item->setToolTip(0, ToQString(name));
  }
  fields_->header()->resizeSection(0, 200);

  fieldValue_ = new QPlainTextEdit(splitter);
  fieldValue_->setObjectName(QStringLiteral("fieldValue"));
  fieldValue_->setReadOnly(true);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 1);

  connect(fields_, &QTreeWidget::currentItemChanged, this, [this] { ShowSelectedValue(); });
  if (fields_->topLevelItemCount() > 0) fields_->setCurrentItem(fields_->topLevelItem(0));
  return splitter;
}

void CCertificateViewer::ShowSelectedValue() {
  const QTreeWidgetItem* item = fields_->currentItem();
  fieldValue_->setPlainText(item != nullptr ? item->data(1, Qt::UserRole).toString() : QString());
}

void ShowCertificate(QWidget* parent, const CertificatePtr& certificate, const QString& title) {
  const auto view = certificate ? render::DescribeCertificate(certificate->der) : std::nullopt;
  if (!view) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                    QStringLiteral("Не удается прочитать данные сертификата"), QMessageBox::Ok, parent);
    box.exec();
    return;
  }
  CCertificateViewer viewer(*view, title, parent);
  viewer.exec();
}

}  // namespace orvane::gui
