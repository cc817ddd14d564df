// Provider seams for the command line: the reader named on the command line counts as
// present (a software carrier needs no card) besides the cards in the PC/SC readers, and the
// carrier PIN comes from --pin or the terminal (without echo).
#pragma once

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "csp/container_store.h"
#include "csp/provider.h"
#include "text/text.h"

namespace orvane::tool {

// The named reader counts as present, as do the readers the base source reports.
class NamedReaderPresent : public csp::CarrierPresence {
 public:
  NamedReaderPresent(std::u16string reader, std::shared_ptr<csp::CarrierPresence> base)
      : reader_(std::move(reader)), base_(std::move(base)) {}
  std::vector<std::u16string> PresentReaders() override {
    std::vector<std::u16string> readers = base_ ? base_->PresentReaders() : std::vector<std::u16string>();
    if (std::find(readers.begin(), readers.end(), reader_) == readers.end()) readers.push_back(reader_);
    return readers;
  }
  std::optional<std::u16string> SelectedReader() override { return reader_; }

 private:
  std::u16string reader_;
  std::shared_ptr<csp::CarrierPresence> base_;
};

// The PIN of --pin, or asked on the terminal without echo.
class ToolPinPrompt : public csp::PinPrompt {
 public:
  explicit ToolPinPrompt(std::optional<std::string> pin) : pin_(std::move(pin)) {}
  ~ToolPinPrompt() override {
    if (pin_) csp::store::Wipe(*pin_);
  }

  std::optional<std::string> AskPin(WindowHandle, const csp::PinRequest& request) override {
    if (pin_) return *pin_;
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (tty == nullptr) return std::nullopt;
    std::fprintf(tty, "%s PIN-код носителя \"%s\"%s: ", request.newCarrier ? "Новый" : "Введите",
                 text::ToUtf8(request.readerName).c_str(),
                 request.attempt > 1 ? (" (попытка " + std::to_string(request.attempt) + ")").c_str() : "");
    std::fflush(tty);
    termios saved{};
    const bool haveTerm = tcgetattr(fileno(tty), &saved) == 0;
    if (haveTerm) {
      termios quiet = saved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      tcsetattr(fileno(tty), TCSANOW, &quiet);
    }
    std::string pin;
    for (int c; (c = std::fgetc(tty)) != EOF && c != '\n';) pin.push_back(static_cast<char>(c));
    if (haveTerm) tcsetattr(fileno(tty), TCSANOW, &saved);
    std::fputc('\n', tty);
    std::fclose(tty);
    return pin;
  }

 private:
  std::optional<std::string> pin_;
};

}  // namespace orvane::tool
