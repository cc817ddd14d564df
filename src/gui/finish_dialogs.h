// The two small dialogs that close the wizard's procedures: CFinishDlg (135) asks whether to
// install the certificate into the personal store (6 install, 7 finish, 2 Esc; Enter does
// nothing), CDocAlertDlg (136) asks whether to abandon an unsigned form with the caller's
// reason (1 "Прервать"; 2 "Нет, продолжить", Enter, Esc).
#pragma once

#include <QDialog>

class QLabel;

namespace orvane::gui {

class CFinishDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kInstall = 6;
  static constexpr int kFinish = 7;
  static constexpr int kCancel = 2;
  explicit CFinishDlg(QWidget* parent = nullptr);
  void reject() override { done(kCancel); }  // Escape and the close box

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

class CDocAlertDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kAbort = 1;
  static constexpr int kContinue = 2;
  explicit CDocAlertDlg(const QString& reason, QWidget* parent = nullptr);
  void reject() override { done(kContinue); }  // Escape and the close box
};

}  // namespace orvane::gui
