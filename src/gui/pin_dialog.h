// The carrier PIN prompt of the desktop wizard: a modal dialog with the carrier's name, a
// masked edit and OK/Cancel. Asked from another thread, it is shown on the UI thread and the
// asking thread waits for the answer.
#pragma once

#include <QDialog>

#include "csp/provider.h"

class QLineEdit;

namespace orvane::gui {

class CPinDialog : public QDialog {
  Q_OBJECT
 public:
  CPinDialog(const csp::PinRequest& request, QWidget* parent = nullptr);
  QString Pin() const;

  // The question shown for a request (the carrier's name in it).
  static QString PromptText(const csp::PinRequest& request);

 private:
  QLineEdit* edit_ = nullptr;
};

class QtPinPrompt : public csp::PinPrompt {
 public:
  std::optional<std::string> AskPin(WindowHandle owner, const csp::PinRequest& request) override;
};

}  // namespace orvane::gui
