#include "gui/pin_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "gui/qt_ui.h"

namespace orvane::gui {

QString CPinDialog::PromptText(const csp::PinRequest& request) {
  QString text = request.newCarrier ? QStringLiteral("Задайте PIN-код нового ключевого носителя \"%1\":")
                                    : QStringLiteral("Введите PIN-код ключевого носителя \"%1\":");
  text = text.arg(ToQString(request.readerName));
  if (request.attempt > 1) text += QStringLiteral("\nНеверный PIN-код. Попытка %1.").arg(request.attempt);
  return text;
}

CPinDialog::CPinDialog(const csp::PinRequest& request, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("pinDialog"));
  setWindowTitle(QStringLiteral("PIN-код ключевого носителя"));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(PromptText(request), this);
  label->setObjectName(QStringLiteral("pinText"));
  label->setWordWrap(true);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("pinEdit"));
  edit_->setEchoMode(QLineEdit::Password);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(label);
  layout->addWidget(edit_);
  layout->addWidget(buttons);
  edit_->setFocus();
}

QString CPinDialog::Pin() const {
  return edit_->text();
}

std::optional<std::string> QtPinPrompt::AskPin(WindowHandle owner, const csp::PinRequest& request) {
  std::optional<std::string> answer;
  auto ask = [&] {
    CPinDialog dialog(request, static_cast<QWidget*>(owner));
    if (dialog.exec() == QDialog::Accepted) answer = dialog.Pin().toStdString();
  };
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return std::nullopt;
  if (QThread::currentThread() == app->thread()) {
    ask();
  } else {
    QMetaObject::invokeMethod(app, ask, Qt::BlockingQueuedConnection);
  }
  return answer;
}

}  // namespace orvane::gui
