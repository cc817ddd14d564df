// orvane-tool install-roots [--check]: puts the two national head-CA roots into the machine's
// "ROOT" store, as a package does on installation, so that an ordinary user's first start does
// not need administrator rights. Each certificate is checked against its known thumbprint
// before it is written; one already there is left as it is. --check only reports.
#include <cstdio>

#include "app/head_ca_roots.h"
#include "text/text.h"
#include "tool/commands.h"

namespace orvane::tool {
namespace {

struct NamedRoot {
  const char* name;
  const app::HeadCaRoot& root;
};

}  // namespace

int RunInstallRoots(const std::vector<std::string>& args, ToolEnv& env) {
  bool checkOnly = false;
  for (const auto& arg : args) {
    if (arg == "--check") {
      checkOnly = true;
    } else {
      std::fprintf(stderr,
                   "orvane-tool install-roots: неизвестный параметр %s\n"
                   "Использование: orvane-tool install-roots [--check]\n",
                   arg.c_str());
      return 2;
    }
  }
  auto services = env.Services();
  const NamedRoot roots[] = {{"Головной удостоверяющий центр (ГОСТ Р 34.10-2001)", app::HeadCaRootA()},
                             {"Минкомсвязь России (ГОСТ Р 34.10-2012)", app::HeadCaRootB()}};
  std::uint32_t error = 0;
  auto readable = services->stores("ROOT", platform::StoreLocation::LocalMachine, true, error);
  int missing = 0;
  for (const auto& [name, root] : roots) {
    const auto der = text::Base64Decode(std::string(root.base64));
    if (!der || platform::ThumbprintOf(*der) != root.thumbprint) {
      std::fprintf(stderr, "orvane-tool install-roots: встроенный сертификат «%s» поврежден (отпечаток не совпадает)\n",
                   name);
      return 1;
    }
    const std::string thumbprint = text::HexUpper(root.thumbprint.data(), root.thumbprint.size());
    if (readable && readable->Contains(root.thumbprint)) {
      std::printf("%s: уже установлен (%s)\n", name, thumbprint.c_str());
      continue;
    }
    if (checkOnly) {
      std::printf("%s: не установлен (%s)\n", name, thumbprint.c_str());
      ++missing;
      continue;
    }
    if (!app::InstallRootCertificate(root.base64, services->stores, error)) {
      if (error == platform::kErrorAccessDenied) {
        std::fprintf(stderr,
                     "orvane-tool install-roots: нет прав на запись в хранилище корневых сертификатов компьютера; "
                     "запустите команду от имени администратора (sudo orvane-tool install-roots)\n");
      } else {
        std::fprintf(stderr, "orvane-tool install-roots: не удалось установить «%s», ошибка 0x%08x\n", name, error);
      }
      return 1;
    }
    std::printf("%s: установлен (%s)\n", name, thumbprint.c_str());
  }
  return missing == 0 ? 0 : 1;
}

}  // namespace orvane::tool
