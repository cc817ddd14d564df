// A WizardUi double for tests: records every message and answers Yes/No boxes from a queue
// (Yes when the queue is empty). Counts wait-cursor nesting and opened addresses.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/wizard_ui.h"
#include "text/text.h"

namespace orvane::test {

struct RecordedMessage {
  WindowHandle owner;
  MessageKind kind;
  std::u16string text;
  std::string Utf8() const { return text::ToUtf8(text); }
};

class ScriptedUi : public WizardUi {
 public:
  bool Message(WindowHandle owner, MessageKind kind, const std::u16string& text) override {
    messages.push_back({owner, kind, text});
    if (kind != MessageKind::ErrorYesNo && kind != MessageKind::YesNo && kind != MessageKind::WarningYesNo) return true;
    if (answers.empty()) return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void BeginWait() override {
    ++waitDepth;
    ++waitCount;
  }
  void EndWait() override { --waitDepth; }
  void OpenUrl(const std::u16string& url) override { openedUrls.push_back(text::ToUtf8(url)); }

  std::vector<RecordedMessage> messages;
  std::deque<bool> answers;
  std::vector<std::string> openedUrls;
  int waitDepth = 0;
  int waitCount = 0;
};

}  // namespace orvane::test
