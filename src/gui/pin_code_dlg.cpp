#include "gui/pin_code_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QTimer>

#include "gui/dialog_units.h"
#include "gui/qt_ui.h"

namespace orvane::gui {
CPinCodeDlg::CPinCodeDlg(net::RequestSystem& requestSystem, std::u16string accessToken, WizardUi& ui, QWidget* parent,
                         wizard::SmsCodeCountdown::Clock clock)
    : QDialog(parent),
      requestSystem_(requestSystem),
      accessToken_(std::move(accessToken)),
      ui_(ui),
      countdown_(std::move(clock)) {
  setObjectName(QStringLiteral("131"));
  setWindowTitle(QStringLiteral("Запрос СМС-кода"));
  const DialogUnits du(font());
  setFixedSize(du.X(226), du.Y(118));

  DialogLabel(this, QStringLiteral("На указанный в заявке номер телефона выслано сообщение."), du, 7, 7);
  DialogLabel(this, QStringLiteral("Введите полученный СМС-код для продолжения."), du, 7, 19);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("1006"));
  edit_->setGeometry(du.Rect(7, 32, 40, 14));
  edit_->setMaxLength(6);
  edit_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), edit_));
  DialogLabel(this, QStringLiteral("В случае необходимости запросите СМС-код повторно."), du, 7, 53);
  auto* ok = DialogButton(this, QStringLiteral("OK"), "1", du.Rect(17, 71, 80, 16));
  auto* cancel = DialogButton(this, QStringLiteral("Отмена"), "2", du.Rect(128, 71, 80, 16));
  again_ = DialogButton(this, QString(), "1007", du.Rect(17, 94, 191, 16));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &CPinCodeDlg::Confirm);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(again_, &QPushButton::clicked, this, &CPinCodeDlg::RequestAgain);
  ShowCountdown();

  // The countdown advances only from this timer: it dies with the dialog.
  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("countdownTimer"));
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &CPinCodeDlg::Tick);
  timer_->start();
  GrowToFitChildren(this, du.X(7));
  edit_->setFocus();
}

std::u16string CPinCodeDlg::CodeText() const {
  return FromQString(code_);
}

void CPinCodeDlg::Confirm() {
  const QString text = edit_->text();
  if (!wizard::IsCompleteSmsCode(FromQString(text))) {
    ui_.ShowWarning(static_cast<QWidget*>(this), wizard::kSmsCodeWarning);
    edit_->setFocus();
    return;
  }
  code_ = text;
  accept();
}

void CPinCodeDlg::RequestAgain() {
  if (!countdown_.ButtonEnabled()) return;
  // A failure has been reported by the request system; the button stays enabled for another try.
  if (!requestSystem_.RequestSmsCode(static_cast<QWidget*>(this), accessToken_)) return;
  countdown_.Restart();
  ShowCountdown();
  edit_->setFocus();
}

void CPinCodeDlg::Tick() {
  if (countdown_.Tick()) ShowCountdown();
}

void CPinCodeDlg::ShowCountdown() {
  again_->setText(ToQString(countdown_.ButtonCaption()));
  again_->setEnabled(countdown_.ButtonEnabled());
}

std::optional<std::u16string> QtSmsCodeSource::SmsCode(WindowHandle owner, const std::u16string& accessToken,
                                                       const std::u16string& /*requestId*/) {
  CPinCodeDlg dialog(requestSystem_, accessToken, ui_, static_cast<QWidget*>(owner));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.CodeText();
}

}  // namespace orvane::gui
