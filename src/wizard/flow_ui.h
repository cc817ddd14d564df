// The dialogs the flows open, as a seam: the desktop implements them with Qt dialogs driving
// the core models, orvane-tool with terminal answers, tests with scripted doubles. Every
// dialog is modal except the auto-enrolment progress window.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "request/request_properties.h"
#include "types/types.h"

namespace orvane::wizard {

class DocumentPreview;

// Dialog 138: a window without a title bar and a progress bar, open while the object lives.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  // One step further (the bar visibly advances about ten times a second).
  virtual void Advance() = 0;
  // Lets the user interface run (paint, other windows) for about the given time.
  virtual void Pump(std::chrono::milliseconds time) = 0;
};

// Where the SMS code sent for an application comes from (the SMS-code dialog with its
// re-request button, a terminal prompt, the reference system's outbox). None: the user gave
// up.
class SmsCodeSource {
 public:
  virtual ~SmsCodeSource() = default;
  virtual std::optional<std::u16string> SmsCode(WindowHandle owner, const std::u16string& accessToken,
                                                const std::u16string& requestId) = 0;
};

// Results of the finish dialog (135).
inline constexpr int kFinishInstall = 6;  // "Установить сертификат"
inline constexpr int kFinishDone = 7;     // "Завершить процедуру"
inline constexpr int kFinishCancel = 2;   // Esc or the close box

class FlowUi {
 public:
  virtual ~FlowUi() = default;
  // Dialog 129; Initialise is the dialog's to call. True for "Данные верны".
  virtual bool RunRequestProperties(WindowHandle owner, request::RequestPropertiesModel& model) = 0;
  // Dialog 132 over the HTML file, driven by the preview; true when it ended with OK.
  virtual bool RunDocumentPreview(WindowHandle owner, const std::u16string& htmlPath, DocumentPreview& preview) = 0;
  // Dialog 135: kFinishInstall, kFinishDone or kFinishCancel.
  virtual int RunFinish(WindowHandle owner) = 0;
  // Dialog 138, centred over the owner.
  virtual std::unique_ptr<ProgressWindow> OpenAutoEnrollProgress(WindowHandle owner) = 0;
};

}  // namespace orvane::wizard
