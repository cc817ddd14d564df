#include "gui/qt_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

namespace orvane::gui {

QString ToQString(const std::u16string& s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

std::u16string FromQString(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
}

bool QtWizardUi::Message(WindowHandle owner, MessageKind kind, const std::u16string& text) {
  auto* parent = static_cast<QWidget*>(owner);
  QMessageBox box(parent);
  box.setText(ToQString(text));
  switch (kind) {
    case MessageKind::Error:
      box.setWindowTitle(QStringLiteral("Ошибка"));
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageKind::Info:
      box.setWindowTitle(QStringLiteral("Внимание"));
      box.setIcon(QMessageBox::Information);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageKind::Warning:
      box.setWindowTitle(QStringLiteral("Внимание"));
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageKind::ErrorYesNo:
      box.setWindowTitle(QStringLiteral("Ошибка"));
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageKind::YesNo:
      box.setWindowTitle(QStringLiteral("Внимание"));
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageKind::WarningYesNo:
      box.setWindowTitle(QStringLiteral("Внимание"));
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
  }
  if (QAbstractButton* yes = box.button(QMessageBox::Yes)) yes->setText(QStringLiteral("Да"));
  if (QAbstractButton* no = box.button(QMessageBox::No)) no->setText(QStringLiteral("Нет"));
  const int answer = box.exec();
  return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
}

void QtWizardUi::BeginWait() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}
void QtWizardUi::EndWait() {
  QApplication::restoreOverrideCursor();
}

void QtWizardUi::OpenUrl(const std::u16string& url) {
  QDesktopServices::openUrl(QUrl(ToQString(url)));
}

void QtDiagnosticsUi::Begin(WindowHandle owner) {
  auto* parent = static_cast<QWidget*>(owner);
  auto* dialog = new QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  dialog->setObjectName(QStringLiteral("139"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(new QLabel(QStringLiteral("Производится диагностика системы."), dialog));
  layout->addWidget(new QLabel(QStringLiteral("Это может занять некоторое время..."), dialog));
  auto* bar = new QProgressBar(dialog);
  bar->setObjectName(QStringLiteral("1019"));
  bar->setRange(0, 200);
  bar->setValue(0);
  layout->addWidget(bar);
  dialog->adjustSize();
  const QRect area = parent != nullptr ? parent->frameGeometry() : QApplication::primaryScreen()->availableGeometry();
  dialog->move(area.center() - dialog->rect().center());
  dialog->show();
  dialog->repaint();
  dialog_ = dialog;
  bar_ = bar;
}

void QtDiagnosticsUi::SetProgress(int position) {
  if (!bar_ || !dialog_ || !dialog_->isVisible()) return;
  bar_->setValue(position);
  bar_->repaint();
  dialog_->repaint();
}

void QtDiagnosticsUi::End() {
  if (dialog_) dialog_->close();
}

void QtDiagnosticsUi::ShowReport(WindowHandle owner, const std::u16string& text) {
  QMessageBox box(static_cast<QWidget*>(owner));
  box.setWindowTitle(QStringLiteral("Отчет"));
  box.setText(ToQString(text));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

}  // namespace orvane::gui
