// orvane-tool diag: the diagnostics report, as the wizard shows it, in UTF-8 on stdout.
#include <cstdio>

#include "csp/catalogue.h"
#include "diag/diagnostics.h"
#include "text/text.h"
#include "tool/commands.h"

namespace orvane::tool {
namespace {

class TerminalDiagnosticsUi : public diag::DiagnosticsUi {
 public:
  void Begin(WindowHandle) override { std::fputs("Производится диагностика системы.\n", stderr); }
  void SetProgress(int position) override { std::fprintf(stderr, "  %d%%\r", position / 2); }
  void End() override { std::fputs("\n", stderr); }
  void ShowReport(WindowHandle, const std::u16string& text) override {
    std::printf("%s\n", text::ToUtf8(text).c_str());
  }
};

}  // namespace

int RunDiag(const std::vector<std::string>& args, ToolEnv& env) {
  if (!args.empty()) {
    std::fputs("Использование: orvane-tool diag\n", stderr);
    return 2;
  }
  const auto services = env.Services();
  services->FillCatalogue();
  TerminalDiagnosticsUi ui;
  diag::RunDiagnostics(nullptr, diag::SystemEnvironment(services->deployment, services->catalogue), ui);
  return 0;
}

}  // namespace orvane::tool
