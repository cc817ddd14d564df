// version-check, get-subject, get-certificate: request-system operations from the terminal.
#include <cstdio>
#include <cstring>

#include "config/version.h"
#include "net/request_system.h"
#include "tool/commands.h"
#include "tool/terminal_ui.h"

namespace orvane::tool {
namespace {

std::string Opt(const std::optional<std::u16string>& v) {
  return v ? text::ToUtf8(*v) : std::string();
}
std::string Opt(const std::optional<std::string>& v) {
  return v.value_or(std::string());
}

// "--token T" from the arguments, or none with the usage printed.
std::optional<std::u16string> TokenArg(const std::vector<std::string>& args, const char* command) {
  if (args.size() == 2 && args[0] == "--token") return text::FromUtf8(args[1]);
  std::fprintf(stderr, "Использование: orvane-tool %s --token МАРКЕР\n", command);
  return std::nullopt;
}

}  // namespace

int RunVersionCheck(const std::vector<std::string>& args, ToolEnv& env) {
  if (!args.empty()) {
    std::fputs("Использование: orvane-tool version-check\n", stderr);
    return 2;
  }
  const auto services = env.Services();
  net::RequestSystem& rs = services->requestSystem;
  const auto result = rs.CheckVersion();
  std::printf("program: %s\n", config::kProgramVersion);
  std::printf("received: %s\n", result.received ? "yes" : "no");
  if (result.version) std::printf("server: %s\n", text::ToUtf8(*result.version).c_str());
  std::printf("accepted: %s\n", result.accepted ? "yes" : "no");
  if (!result.received) std::fputs("Ошибка: не удалось получить версию программы из системы заявок\n", stderr);
  return result.accepted ? 0 : 1;
}

int RunGetSubject(const std::vector<std::string>& args, ToolEnv& env) {
  const auto token = TokenArg(args, "get-subject");
  if (!token) return 2;
  const auto services = env.Services();
  net::RequestSystem& rs = services->requestSystem;
  int lastError = 0;
  const auto r = rs.GetRequestData(nullptr, *token, nullptr, lastError);
  if (!r) return 1;
  std::string eku;
  for (const auto& o : r->eku.value_or(std::vector<std::u16string>{})) {
    eku += (eku.empty() ? "" : ",") + text::ToUtf8(o);
  }
  const std::pair<const char*, std::string> fields[] = {
      {"request_id", Opt(r->request_id)},
      {"template", Opt(r->template_)},
      {"subject_quoted", Opt(r->subject_quoted)},
      {"eku", eku},
      {"export", r->export_ ? "yes" : "no"},
      {"license", r->license ? "yes" : "no"},
      {"egais", r->egais ? "yes" : "no"},
      {"token_type", Opt(r->token_type)},
      {"embedCPLicense", r->embedCPLicense ? "yes" : "no"},
      {"certStartDate", Opt(r->certStartDate)},
      {"certExpirationDate", Opt(r->certExpirationDate)},
      {"certPeriod", Opt(r->certPeriod)},
      {"policyLevel", Opt(r->policyLevel)},
      {"nonqualified", r->nonqualified ? "yes" : "no"},
      {"cryptoStandart", std::to_string(r->cryptoStandart)},
      {"cryptoProvider", std::to_string(r->cryptoProvider)},
      {"templateOid", Opt(r->templateOid)},
      {"ord", std::to_string(r->ord)},
      {"identificationKind", r->identificationKind ? std::to_string(*r->identificationKind) : std::string()},
      {"subjectAltName", Opt(r->subjectAltName)},
  };
  for (const auto& [name, value] : fields) std::printf("%s: %s\n", name, value.c_str());
  return 0;
}

int RunGetCertificate(const std::vector<std::string>& args, ToolEnv& env) {
  const auto token = TokenArg(args, "get-certificate");
  if (!token) return 2;
  const auto services = env.Services();
  net::RequestSystem& rs = services->requestSystem;
  const auto r = rs.GetCertificate(nullptr, *token, nullptr);
  if (!r) return 1;
  std::printf("container: %s\n", Opt(r->container).c_str());
  std::printf("license: %s\n", r->license ? "yes" : "no");
  std::printf("cert_pdf_file_uuid: %s\n", Opt(r->certPdfFileUuid).c_str());
  std::printf("sign_cert_link: %s\n", Opt(r->signCertLink).c_str());
  std::printf("cert_pdf_signed: %s\n", r->certPdfSigned ? "yes" : "no");
  std::printf("signer_name: %s\n", Opt(r->signerName).c_str());
  std::printf("cert: %s\n", r->cert.c_str());
  return 0;
}

}  // namespace orvane::tool
