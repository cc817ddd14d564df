// The UI seam for the command line: messages go to standard error with their caption,
// questions are answered "no" (a script never agrees to anything it was not told to).
#pragma once

#include <cstdio>

#include "platform/wizard_ui.h"
#include "text/text.h"

namespace orvane::tool {

class TerminalUi : public WizardUi {
 public:
  bool Message(WindowHandle, MessageKind kind, const std::u16string& text) override {
    const char* caption = (kind == MessageKind::Error || kind == MessageKind::ErrorYesNo) ? "Ошибка" : "Внимание";
    std::fprintf(stderr, "%s: %s\n", caption, text::ToUtf8(text).c_str());
    ++messages;
    return kind != MessageKind::ErrorYesNo && kind != MessageKind::YesNo && kind != MessageKind::WarningYesNo;
  }
  void BeginWait() override {}
  void EndWait() override {}
  void OpenUrl(const std::u16string& url) override {
    std::fprintf(stderr, "Откройте в браузере: %s\n", text::ToUtf8(url).c_str());
  }
  int messages = 0;
};

}  // namespace orvane::tool
