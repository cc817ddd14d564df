#include "tool/commands.h"

#include <cstdio>

#include "app/pcsc_presence.h"
#include "tool/tool_seams.h"

namespace orvane::tool {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"config", "действующие параметры развертывания и прочитанные файлы", RunConfig},
      {"version-check", "проверка версии программы в системе заявок", RunVersionCheck},
      {"get-subject", "данные заявки по маркеру доступа (--token МАРКЕР)", RunGetSubject},
      {"get-certificate", "выпущенный сертификат по маркеру доступа (--token МАРКЕР)", RunGetCertificate},
      {"enroll", "вся работа мастера без окна: запрос, СМС-код, сертификат в контейнере", RunEnroll},
      {"diag", "отчет диагностики системы (соединение с ЛК, прокси, DNS)", RunDiag},
      {"providers", "установленные ГОСТ-криптопровайдеры: семейство, тип, имя, версия", RunProviders},
      {"make-request", "ключ в новом контейнере и запрос PKCS#10 (DER)", RunMakeRequest},
      {"carriers", "считыватели и ключевые носители (--watch: следить за изменениями)", RunCarriers},
      {"render-request", "бланк запроса на сертификат в HTML (-o ФАЙЛ) или его XML (--xml)", RunRenderRequest},
      {"render-cert", "бланк сертификата в HTML (-o ФАЙЛ) или его XML (--xml)", RunRenderCert},
      {"install-roots", "корневые сертификаты головного УЦ в хранилище компьютера (--check: только проверить)",
       RunInstallRoots},
  };
  return commands;
}

std::unique_ptr<app::Services> ToolEnv::Services(std::optional<std::string> pin,
                                                 std::optional<std::u16string> namedReader) {
  app::FrontEndSeams seams;
  seams.ui = &ui;
  seams.pinPrompt = std::make_shared<ToolPinPrompt>(std::move(pin));
  if (namedReader) {
    seams.pcsc = platform::CreatePcscLiteApi();
    seams.presence =
        std::make_shared<NamedReaderPresent>(*namedReader, std::make_shared<app::PcscCarrierPresence>(seams.pcsc));
  }
  return app::BuildServices(loaded.config, std::move(seams));
}

int RunConfig(const std::vector<std::string>& args, ToolEnv& env) {
  if (!args.empty()) {
    std::fputs("Использование: orvane-tool config\n", stderr);
    return 2;
  }
  const auto& loaded = env.loaded;
  if (loaded.filesRead.empty()) {
    std::puts("# files: none (built-in defaults)");
  } else {
    for (const auto& f : loaded.filesRead) std::printf("# file: %s\n", f.c_str());
  }
  for (const auto& e : loaded.errors) std::printf("# error: %s\n", e.c_str());
  for (const auto& [key, value] : config::DescribeConfig(loaded.config)) {
    std::printf("%s = %s\n", key.c_str(), value.c_str());
  }
  return loaded.errors.empty() ? 0 : 1;
}

}  // namespace orvane::tool
