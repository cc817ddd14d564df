// orvane-tool: the command-line front for support and scripting.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tool/commands.h"

namespace {

void PrintUsage() {
  std::fputs(
      "Использование: orvane-tool КОМАНДА [ПАРАМЕТРЫ]\n"
      "Команды:\n",
      stderr);
  for (const auto& c : orvane::tool::Commands()) std::fprintf(stderr, "  %-16s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    PrintUsage();
    return argc < 2 ? 2 : 0;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const auto& c : orvane::tool::Commands()) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    // The deployment configuration, loaded once; `config` prints its problems itself.
    orvane::tool::ToolEnv env{orvane::config::LoadDeploymentConfig(), {}};
    if (std::strcmp(c.name, "config") != 0) {
      for (const auto& e : env.loaded.errors) std::fprintf(stderr, "%s\n", e.c_str());
    }
    const int status = c.run(args, env);
    // Output that could not be written (a full disk, a closed pipe) is a failure.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      std::fprintf(stderr, "orvane-tool: ошибка записи в стандартный вывод\n");
      return status != 0 ? status : 1;
    }
    return status;
  }
  std::fprintf(stderr, "orvane-tool: неизвестная команда \"%s\"\n", argv[1]);
  PrintUsage();
  return 2;
}
