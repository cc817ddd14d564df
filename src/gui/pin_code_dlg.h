// CPinCodeDlg (dialog 131): asks for the six-digit SMS code the request system sent for the
// application. The re-request button counts down from 120 seconds on a timer of the dialog's
// own and, once enabled, asks the request system for a new code and starts counting again.
// QtSmsCodeSource runs the dialog for the flows.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "net/request_system.h"
#include "platform/wizard_ui.h"
#include "wizard/flow_ui.h"
#include "wizard/sms_code.h"

class QLineEdit;
class QPushButton;
class QTimer;

namespace orvane::gui {

class CPinCodeDlg : public QDialog {
  Q_OBJECT
 public:
  CPinCodeDlg(net::RequestSystem& requestSystem, std::u16string accessToken, WizardUi& ui, QWidget* parent,
              wizard::SmsCodeCountdown::Clock clock = wizard::SmsCodeCountdown::WallSeconds);

  // The code accepted with OK (empty until then).
  QString Code() const { return code_; }
  std::u16string CodeText() const;

 private:
  void Confirm();
  void RequestAgain();
  void Tick();
  void ShowCountdown();

  net::RequestSystem& requestSystem_;
  std::u16string accessToken_;
  WizardUi& ui_;
  wizard::SmsCodeCountdown countdown_;
  QLineEdit* edit_ = nullptr;
  QPushButton* again_ = nullptr;
  QTimer* timer_ = nullptr;
  QString code_;
};

class QtSmsCodeSource : public wizard::SmsCodeSource {
 public:
  QtSmsCodeSource(net::RequestSystem& requestSystem, WizardUi& ui) : requestSystem_(requestSystem), ui_(ui) {}
  // Runs the dialog over the owner; none when the user cancels it.
  std::optional<std::u16string> SmsCode(WindowHandle owner, const std::u16string& accessToken,
                                        const std::u16string& requestId) override;

 private:
  net::RequestSystem& requestSystem_;
  WizardUi& ui_;
};

}  // namespace orvane::gui
