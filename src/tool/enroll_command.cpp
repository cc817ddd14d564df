// orvane-tool enroll: the wizard's whole job without a window, through the same flows as the
// desktop wizard. The application is fetched with its access token, a key pair is made in a
// new container on the named reader, the PKCS#10 request is confirmed with the SMS code and
// sent; when the request system issues at once (auto-enrolment) the certificate is fetched,
// confirmed, written into the container and saved, and only then is the token invalidated.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

#include "carriers/scard_list.h"
#include "csp/container_store.h"
#include "keys/container_name.h"
#include "platform/file_write.h"
#include "request/request_properties.h"
#include "tool/commands.h"
#include "tool/terminal_ui.h"
#include "tool/tool_seams.h"
#include "wizard/document_preview.h"
#include "wizard/get_certificate.h"

namespace orvane::tool {
namespace {

const char kUsage[] =
    "Использование: orvane-tool enroll --token МАРКЕР --reader СЧИТЫВАТЕЛЬ [--pin PIN] [--family 1|2]\n"
    "  [--sms-outbox ФАЙЛ] [--poll-seconds N] [--out СЕРТИФИКАТ.cer] [--no-install]\n"
    "Без --sms-outbox СМС-код запрашивается с терминала; без --pin — PIN-код носителя.\n"
    "Выпущенный сертификат устанавливается в хранилище \"Личные\", если не задан --no-install.\n";

// The code last written for the application into the reference system's outbox, or asked on
// the terminal.
class ToolSmsCodes : public wizard::SmsCodeSource {
 public:
  explicit ToolSmsCodes(std::optional<std::string> outbox) : outbox_(std::move(outbox)) {}

  std::optional<std::u16string> SmsCode(WindowHandle, const std::u16string&, const std::u16string& requestId) override {
    if (outbox_) {
      std::ifstream in(*outbox_);
      std::string id, code, last;
      while (in >> id >> code) {
        if (id == text::ToUtf8(requestId)) last = code;
      }
      if (last.empty()) {
        std::fputs("Ошибка: СМС-код не получен\n", stderr);
        return std::nullopt;
      }
      return text::FromUtf8(last);
    }
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (tty == nullptr) {
      std::fputs("Ошибка: СМС-код не получен\n", stderr);
      return std::nullopt;
    }
    std::fputs("СМС-код: ", tty);
    std::fflush(tty);
    std::string code;
    for (int c; (c = std::fgetc(tty)) != EOF && c != '\n';) code.push_back(static_cast<char>(c));
    std::fclose(tty);
    return text::FromUtf8(code);
  }

 private:
  std::optional<std::string> outbox_;
};

// The dialogs answered on the terminal: the application's data are printed and taken as
// right, the request form is signed at once, the progress window is the terminal's patience.
class ToolFlowUi : public wizard::FlowUi {
 public:
  bool RunRequestProperties(WindowHandle, request::RequestPropertiesModel& model) override {
    model.Initialise();
    std::printf("Заявка %s: %s\n", text::ToUtf8(model.numberText).c_str(),
                text::ToUtf8(model.signatureTypeText).c_str());
    for (const auto& row : model.Rows()) {
      std::printf("  %s: %s\n", text::ToUtf8(row.label).c_str(), text::ToUtf8(row.value).c_str());
    }
    return true;
  }
  bool RunDocumentPreview(WindowHandle owner, const std::u16string&, wizard::DocumentPreview& preview) override {
    // The request form is signed and sent; the certificate form is confirmed, then written.
    if (preview.Mode() == wizard::PreviewMode::Request) {
      const bool sent = preview.SignAndSend(owner);
      if (sent) std::puts("Запрос на сертификат отправлен.");
      return sent;
    }
    if (!preview.Buttons().signEnabled) return preview.Write();
    preview.SignAndSend(owner);
    return preview.Write();
  }
  explicit ToolFlowUi(bool install) : install_(install) {}
  int RunFinish(WindowHandle) override { return install_ ? wizard::kFinishInstall : wizard::kFinishDone; }
  std::unique_ptr<wizard::ProgressWindow> OpenAutoEnrollProgress(WindowHandle) override {
    class Patience : public wizard::ProgressWindow {
     public:
      void Advance() override {}
      void Pump(std::chrono::milliseconds time) override { std::this_thread::sleep_for(time); }
    };
    return std::make_unique<Patience>();
  }

 private:
  bool install_;
};

// The carrier record of the named reader: as the PC/SC stack identifies the card in it, or,
// for a reader the stack does not know, the tool's software carrier (model "Software
// carrier", the reader name as its serial).
carriers::tokenInfo CarrierOf(app::Services& services, const std::u16string& reader) {
  carriers::CarrierServices carrierServices;
  carrierServices.pcsc = services.pcsc.get();
  carrierServices.pkcs11 = &services.pkcs11;
  carrierServices.downloads = services.driverDownloads;
  std::vector<std::int32_t> offers;  // no driver prompts from a script
  carrierServices.driverOffers = &offers;
  carriers::SCardList list(carrierServices);
  platform::ScopedPcscContext context(*services.pcsc, platform::pcsc::kScopeUser);
  if (context) list.Rebuild(context.get());
  if (const auto item = list.Find(reader); item && item->token) {
    carriers::tokenInfo token = *item->token;
    token.reader = reader;
    return token;
  }
  carriers::tokenInfo software;
  software.reader = reader;
  software.model = u"Software carrier";
  software.serial = reader;
  software.BuildDisplay();
  return software;
}

// Writes the certificate file the user asked for through a temporary file beside it, so that
// a failure is reported and leaves nothing behind.
bool SaveCertificateFile(const std::string& path, const Bytes& der) {
  return platform::ReplaceFile(path, std::string_view(reinterpret_cast<const char*>(der.data()), der.size()), 0644);
}

}  // namespace

int RunEnroll(const std::vector<std::string>& args, ToolEnv& env) {
  static const std::map<std::string, bool> known = {
      {"--token", true},      {"--reader", true},       {"--pin", true}, {"--family", true},
      {"--sms-outbox", true}, {"--poll-seconds", true}, {"--out", true}, {"--no-install", false}};
  std::map<std::string, std::string> opt;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const auto it = known.find(args[i]);
    if (it == known.end() || (it->second && i + 1 >= args.size())) {
      std::fprintf(stderr, "orvane-tool enroll: неверный параметр \"%s\"\n%s", args[i].c_str(), kUsage);
      return 2;
    }
    const std::string& name = args[i];
    if (it->second) ++i;
    opt[name] = it->second ? args[i] : "1";
  }
  if (opt["--token"].empty() || opt["--reader"].empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  csp::ProviderKind family = csp::kKindCryptoPro;  // the desktop's default family
  if (opt.count("--family")) {
    if (opt["--family"] != "1" && opt["--family"] != "2") {
      std::fputs(kUsage, stderr);
      return 2;
    }
    family = opt["--family"] == "1" ? csp::kKindCryptoPro : csp::kKindVipnet;
  }
  const int pollSeconds = opt.count("--poll-seconds") ? std::max(1, std::atoi(opt["--poll-seconds"].c_str())) : 5;
  const std::u16string reader = text::FromUtf8(opt["--reader"]);
  std::optional<std::string> pin;
  if (opt.count("--pin")) pin = opt["--pin"];
  const auto services = env.Services(std::move(pin), reader);
  if (opt.count("--pin")) csp::store::Wipe(opt["--pin"]);
  TerminalUi& ui = env.ui;

  const auto version = services->requestSystem.CheckVersion();
  if (!version.accepted) {
    if (!version.received) std::fputs("Ошибка: система заявок недоступна\n", stderr);
    return 1;
  }
  services->FillCatalogue();
  ToolSmsCodes smsCodes(opt.count("--sms-outbox") ? std::optional(opt["--sms-outbox"]) : std::nullopt);
  ToolFlowUi dialogs(opt.count("--no-install") == 0);
  const wizard::FlowServices flows{
      ui, dialogs, services->requestSystem, services->registry, services->catalogue, services->forms, smsCodes};

  wizard::WizardState state;
  state.accessToken = text::FromUtf8(opt["--token"]);
  state.family = family;
  state.carrier = std::make_shared<const carriers::tokenInfo>(CarrierOf(*services, reader));

  const std::string out = opt["--out"];
  bool issued = false, kept = false;
  wizard::WizardHooks hooks;
  hooks.getCertificate = [&](WindowHandle owner) {
    issued = true;
    const std::string file = out.empty() ? text::ToUtf8(state.containerName) + ".cer" : out;
    wizard::GetCertificateFlow getCertificate(flows, services->stores);
    kept = getCertificate.Run(owner, state, hooks, [&](WindowHandle o, const Bytes& der) {
      if (SaveCertificateFile(file, der)) return true;
      ui.ShowError(o, text::FromUtf8("Не удалось сохранить сертификат в файл " + file +
                                     ". Маркер доступа действует: получите сертификат повторно."));
      return false;
    });
    if (kept) {
      std::printf("Сертификат записан в контейнер и сохранен в %s\n", file.c_str());
      if (getCertificate.InstalledInStore()) std::puts("Сертификат установлен в хранилище \"Личные\".");
    }
  };
  hooks.refreshCarrier = [&](const std::u16string&) {
    std::printf("Контейнер: %s\n", text::ToUtf8(keys::ContainerPathFor(family, reader, state.containerName)).c_str());
    return std::shared_ptr<const carriers::tokenInfo>();
  };
  wizard::AutoEnrollTiming timing;
  timing.checkEvery = std::chrono::seconds(pollSeconds);
  wizard::CreateRequestFlow flow(flows, timing);
  const bool sent = flow.Run(nullptr, state, hooks);
  if (!sent) return 1;
  if (!flow.AutoEnroll()) return 0;
  if (!issued) return 0;  // not issued in time: the flow said so
  return kept ? 0 : 1;
}

}  // namespace orvane::tool
