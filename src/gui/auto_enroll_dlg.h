// AutoEnrollProgressDlg (dialog 138): the window without a title bar shown while the request
// system issues the certificate automatically. The waiting loop advances its bar and lets the
// user interface run between its checks.
#pragma once

#include <QDialog>
#include <memory>

#include "wizard/flow_ui.h"

class QProgressBar;

namespace orvane::gui {

class AutoEnrollProgressDlg : public QDialog, public wizard::ProgressWindow {
  Q_OBJECT
 public:
  explicit AutoEnrollProgressDlg(QWidget* parent = nullptr);

  // One step along the bar, back to the start past its end; painted at once.
  void Advance() override;
  // Processes events for about the given time.
  void Pump(std::chrono::milliseconds time) override;

  int Position() const;

 private:
  QProgressBar* bar_ = nullptr;
};

// Creates the window, centres it over the owner (over the screen without one), shows and
// paints it. The window is the owner's child (it stays above it): the owner outlives it.
std::unique_ptr<wizard::ProgressWindow> OpenAutoEnrollProgress(QWidget* owner);

}  // namespace orvane::gui
