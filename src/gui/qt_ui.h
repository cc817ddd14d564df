// The UI seam on Qt: the five message boxes with their captions, icons and buttons, the
// wait cursor and opening an address; and the diagnostics' progress dialog and report box.
#pragma once

#include <QPointer>
#include <QProgressBar>
#include <QWidget>

#include "diag/diagnostics.h"
#include "platform/wizard_ui.h"

namespace orvane::gui {

class QtWizardUi : public WizardUi {
 public:
  bool Message(WindowHandle owner, MessageKind kind, const std::u16string& text) override;
  void BeginWait() override;
  void EndWait() override;
  void OpenUrl(const std::u16string& url) override;
};

class QtDiagnosticsUi : public diag::DiagnosticsUi {
 public:
  void Begin(WindowHandle owner) override;
  void SetProgress(int position) override;
  void End() override;
  void ShowReport(WindowHandle owner, const std::u16string& text) override;

 private:
  QPointer<QWidget> dialog_;
  QPointer<QProgressBar> bar_;
};

QString ToQString(const std::u16string& s);
std::u16string FromQString(const QString& s);

}  // namespace orvane::gui
