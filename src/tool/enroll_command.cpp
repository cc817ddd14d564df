// orvane-tool enroll: the wizard's whole job without a window. The application is fetched
// with its access token, a key pair is made in a new container on the named reader, the
// PKCS#10 request is confirmed with the SMS code and sent; when the request system issues at
// once (auto-enrolment) the certificate is fetched, confirmed, written into the container and
// saved, and the token is invalidated.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

#include "crypto/container_name.h"
#include "crypto/pkcs10.h"
#include "csp/catalogue.h"
#include "csp/software_provider.h"
#include "net/request_system.h"
#include "render/form_render.h"
#include "request/attribute_list.h"
#include "tool/commands.h"
#include "tool/terminal_ui.h"
#include "tool/tool_seams.h"

namespace orvane::tool {
namespace {

const char kUsage[] =
    "Использование: orvane-tool enroll --token МАРКЕР --reader СЧИТЫВАТЕЛЬ [--pin PIN] [--family 1|2]\n"
    "  [--sms-outbox ФАЙЛ] [--poll-seconds N] [--out СЕРТИФИКАТ.cer]\n"
    "Без --sms-outbox СМС-код запрашивается с терминала; без --pin — PIN-код носителя.\n";

// The code last written for the application into the reference system's outbox, or asked on
// the terminal.
std::optional<std::string> SmsCode(const std::map<std::string, std::string>& opt, const std::u16string& requestId) {
  if (const auto it = opt.find("--sms-outbox"); it != opt.end()) {
    std::ifstream in(it->second);
    std::string id, code, last;
    while (in >> id >> code) {
      if (id == text::ToUtf8(requestId)) last = code;
    }
    if (last.empty()) return std::nullopt;
    return last;
  }
  FILE* tty = std::fopen("/dev/tty", "r+");
  if (tty == nullptr) return std::nullopt;
  std::fputs("СМС-код: ", tty);
  std::fflush(tty);
  std::string code;
  for (int c; (c = std::fgetc(tty)) != EOF && c != '\n';) code.push_back(static_cast<char>(c));
  std::fclose(tty);
  return code;
}

}  // namespace

int RunEnroll(const std::vector<std::string>& args) {
  static const std::map<std::string, bool> known = {
      {"--token", true},      {"--reader", true},       {"--pin", true}, {"--family", true},
      {"--sms-outbox", true}, {"--poll-seconds", true}, {"--out", true}};
  std::map<std::string, std::string> opt;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const auto it = known.find(args[i]);
    if (it == known.end() || i + 1 >= args.size()) {
      std::fprintf(stderr, "orvane-tool enroll: неверный параметр \"%s\"\n%s", args[i].c_str(), kUsage);
      return 2;
    }
    opt[args[i]] = args[i + 1];
    ++i;
  }
  if (opt["--token"].empty() || opt["--reader"].empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const int pollSeconds = opt.count("--poll-seconds") ? std::max(1, std::atoi(opt["--poll-seconds"].c_str())) : 5;
  LoadConfigOrWarn();
  TerminalUi ui;
  net::RequestSystem rs(ui);
  const std::u16string token = text::FromUtf8(opt["--token"]);
  const std::u16string reader = text::FromUtf8(opt["--reader"]);

  const auto version = rs.CheckVersion();
  if (!version.accepted) {
    if (!version.received) std::fputs("Ошибка: система заявок недоступна\n", stderr);
    return 1;
  }
  int lastError = 0;
  const auto record = rs.GetRequestData(nullptr, token, nullptr, lastError);
  if (!record) return 1;
  if (record->egais) {
    ui.ShowError(nullptr, u"Заявка предназначена для ЕГАИС и не может быть обработана этой программой.");
    return 1;
  }
  std::printf("Заявка %s: %s\n", text::ToUtf8(record->request_id.value_or(u"")).c_str(),
              text::ToUtf8(record->template_.value_or(u"")).c_str());

  // Key pair and request.
  csp::SetCarrierPresence(std::make_shared<NamedReaderPresent>(reader));
  csp::SetPinPrompt(std::make_shared<ToolPinPrompt>(opt.count("--pin") ? std::optional(opt["--pin"]) : std::nullopt));
  csp::EnumerateGostProviders();
  crypto::KeyRequestInputs in;
  in.family = opt.count("--family") ? std::atoi(opt["--family"].c_str())
                                    : (record->cryptoProvider != 0 ? record->cryptoProvider : csp::kKindCryptoPro);
  in.generation = record->cryptoStandart;
  in.subject = request::ParseAttributeList(record->subject_quoted);
  in.eku = record->eku;
  in.exportable = record->export_;
  in.startDate = record->certStartDate;
  in.expirationDate = record->certExpirationDate;
  in.period = record->certPeriod;
  in.embedLicense = record->embedCPLicense;
  in.policyLevel = record->policyLevel;
  in.nonqualified = record->nonqualified;
  in.templateOid = record->templateOid;
  if (record->identificationKind) in.identificationKind = static_cast<std::int32_t>(*record->identificationKind);
  if (record->subjectAltName) in.altName = request::ParseAttributeList(record->subjectAltName);
  const auto type = csp::ProviderTypeFor(in.family, in.generation);
  in.providerName = csp::FindProviderName(static_cast<std::uint32_t>(type));
  const auto name = crypto::MakeContainerName(record->request_id, record->ord, in.subject);
  if (!in.providerName || !name) {
    ui.ShowError(nullptr, u"Не найден криптопровайдер для ключа заявки.");
    return 1;
  }
  in.containerPath = crypto::ContainerPathFor(in.family, reader, *name);
  const auto made = crypto::CreateKeyAndRequest(in);
  if (!made.der) {
    std::fprintf(stderr, "Ошибка: не удалось создать запрос на сертификат, ошибка 0x%08x\n", made.error);
    return 1;
  }
  std::printf("Контейнер: %s\n", text::ToUtf8(in.containerPath).c_str());

  // The request, confirmed by SMS code.
  if (!rs.RequestSmsCode(nullptr, token)) return 1;
  const auto code = SmsCode(opt, record->request_id.value_or(u""));
  if (!code) {
    std::fputs("Ошибка: СМС-код не получен\n", stderr);
    return 1;
  }
  net::PendingRequest pending;
  pending.container = *name;
  pending.der = std::make_shared<net::ASVariableBuffer>();
  pending.der->Append(made.der->data(), static_cast<std::int64_t>(made.der->size()));
  pending.tokenTypeName = record->token_type;
  const auto sent = rs.SubmitRequest(nullptr, text::FromUtf8(*code), token, &pending, nullptr);
  if (!sent.ok) return 1;
  std::puts("Запрос на сертификат отправлен.");
  if (!sent.autoEnroll) {
    std::puts("Сертификат будет выпущен позже: получите его по тому же маркеру доступа.");
    return 0;
  }

  // Auto-enrolment: ask every few seconds for at most 90 s.
  int status = 404;
  for (int waited = 0; status == 404 && waited < 90; waited += pollSeconds) {
    std::this_thread::sleep_for(std::chrono::seconds(pollSeconds));
    status = rs.CheckAutoEnroll(token);
  }
  if (status != 200) {
    std::puts("Сертификат не выпущен автоматически: получите его позже по тому же маркеру доступа.");
    return 0;
  }
  const auto reply = rs.GetCertificate(nullptr, token, nullptr);
  if (!reply) return 1;
  const auto der = render::DecodeObjectText(
      std::span(reinterpret_cast<const std::uint8_t*>(reply->cert.data()), reply->cert.size()));
  if (!der || der->empty()) {
    ui.ShowError(nullptr, u"Не удалось декодировать сертификат.");
    return 1;
  }
  if (!rs.RequestSmsCode(nullptr, token)) return 1;
  const auto confirm = SmsCode(opt, record->request_id.value_or(u""));
  if (!confirm || !rs.ConfirmCertificate(nullptr, token, text::FromUtf8(*confirm))) return 1;

  // Into the container beside its key.
  auto context =
      csp::DefaultRegistry().AcquireContext(in.containerPath, in.providerName, static_cast<std::uint32_t>(type), 0);
  if (!context || !context->SetKeyParam(csp::AT_KEYEXCHANGE, csp::KP_CERTIFICATE, *der)) {
    std::fprintf(stderr, "Ошибка: не удалось записать сертификат в контейнер, ошибка 0x%08x\n", csp::GetLastError());
    return 1;
  }
  rs.KillMarker(token);
  const std::string out = opt.count("--out") ? opt["--out"] : text::ToUtf8(*name) + ".cer";
  std::ofstream(out, std::ios::binary)
      .write(reinterpret_cast<const char*>(der->data()), static_cast<std::streamsize>(der->size()));
  std::printf("Сертификат записан в контейнер и сохранен в %s\n", out.c_str());
  csp::SetPinPrompt(nullptr);
  csp::SetCarrierPresence(nullptr);
  return 0;
}

}  // namespace orvane::tool
