// The UI seam: every message box, the wait cursor and every dialog a core flow opens go
// through WizardUi. The GUI implements it with real Qt dialogs; tests with a scripted double
// that records each message and answers from a queue. Later flows add their dialogs here.
#pragma once

#include <string>

#include "types/types.h"

namespace orvane {

// The five message boxes. Captions and icons: Error -> "Ошибка", error icon; Info ->
// "Внимание", information; Warning -> "Внимание", warning; ErrorYesNo -> "Ошибка", Yes/No;
// YesNo -> "Внимание", question, Yes/No; WarningYesNo -> "Внимание", warning, Yes/No (the
// platform message box one flow asks with directly).
enum class MessageKind { Error, Info, Warning, ErrorYesNo, YesNo, WarningYesNo };

class WizardUi {
 public:
  virtual ~WizardUi() = default;

  // Shows one modal message box; returns true for "Yes" (always true for OK-only boxes).
  virtual bool Message(WindowHandle owner, MessageKind kind, const std::u16string& text) = 0;

  // The wait cursor shown while the UI thread blocks on the network or a carrier.
  virtual void BeginWait() = 0;
  virtual void EndWait() = 0;

  // Opens a web address in the user's browser.
  virtual void OpenUrl(const std::u16string& url) = 0;

  void ShowError(WindowHandle owner, const std::u16string& text) { Message(owner, MessageKind::Error, text); }
  void ShowInfo(WindowHandle owner, const std::u16string& text) { Message(owner, MessageKind::Info, text); }
  void ShowWarning(WindowHandle owner, const std::u16string& text) { Message(owner, MessageKind::Warning, text); }
  bool AskErrorYesNo(WindowHandle owner, const std::u16string& text) {
    return Message(owner, MessageKind::ErrorYesNo, text);
  }
  bool AskYesNo(WindowHandle owner, const std::u16string& text) { return Message(owner, MessageKind::YesNo, text); }
  bool AskWarningYesNo(WindowHandle owner, const std::u16string& text) {
    return Message(owner, MessageKind::WarningYesNo, text);
  }
};

// Shows the wait cursor for the lifetime of the object.
class WaitCursor {
 public:
  explicit WaitCursor(WizardUi& ui) : ui_(ui) { ui_.BeginWait(); }
  ~WaitCursor() { ui_.EndWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  WizardUi& ui_;
};

}  // namespace orvane
