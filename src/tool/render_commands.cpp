// orvane-tool render-request / render-cert: the request and certificate forms from a file
// (DER, PEM or Base64), written as HTML in windows-1251, or their XML documents on standard
// output.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/file_write.h"
#include "render/form_render.h"
#include "tool/commands.h"
#include "tool/terminal_ui.h"

namespace orvane::tool {
namespace {

struct RenderArgs {
  std::string input;
  std::string output;
  bool xml = false;
};

bool ParseRenderArgs(const std::vector<std::string>& args, RenderArgs& out) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      out.output = args[++i];
    } else if (args[i] == "--xml") {
      out.xml = true;
    } else if (!args[i].empty() && args[i][0] != '-' && out.input.empty()) {
      out.input = args[i];
    } else {
      return false;
    }
  }
  return !out.input.empty() && (out.xml != !out.output.empty());
}

bool ReadInput(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "orvane-tool: не удалось открыть файл \"%s\"\n", path.c_str());
    return false;
  }
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::streamoff>(in.tellg());
  if (size < 0 || static_cast<std::uint64_t>(size) > render::kMaxObjectSize) {
    std::fprintf(stderr, "orvane-tool: файл \"%s\" слишком велик\n", path.c_str());
    return false;
  }
  in.seekg(0);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

int RunRender(const std::vector<std::string>& args, bool certificate, ToolEnv& env) {
  const char* usage = certificate ? "Использование: orvane-tool render-cert ФАЙЛ (-o ВЫХОД.html | --xml)\n"
                                  : "Использование: orvane-tool render-request ФАЙЛ (-o ВЫХОД.html | --xml)\n";
  RenderArgs a;
  if (!ParseRenderArgs(args, a)) {
    std::fputs(usage, stderr);
    return 2;
  }
  std::vector<std::uint8_t> input;
  if (!ReadInput(a.input, input)) return 1;
  const auto services = env.Services();
  TerminalUi& ui = env.ui;
  if (a.xml) {
    const auto xml = certificate ? render::CertificateXmlFromInput(input) : render::RequestXmlFromInput(input);
    if (!xml) {
      ui.ShowError(nullptr, u"Ошибка создания XML файла");
      return 1;
    }
    std::fwrite(xml->data(), 1, xml->size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  const auto html = certificate ? services->forms.RenderCertificateHtml(ui, nullptr, input)
                                : services->forms.RenderRequestHtml(ui, nullptr, input);
  if (!html) return 1;
  if (!platform::ReplaceFile(a.output, *html, 0644)) {
    ui.ShowError(nullptr, u"Ошибка записи HTML файла");
    return 1;
  }
  return 0;
}

}  // namespace

int RunRenderRequest(const std::vector<std::string>& args, ToolEnv& env) {
  return RunRender(args, false, env);
}

int RunRenderCert(const std::vector<std::string>& args, ToolEnv& env) {
  return RunRender(args, true, env);
}

}  // namespace orvane::tool
