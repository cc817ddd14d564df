#include "diag/diagnostics.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstdio>

#include "net/http_client.h"
#include "text/format.h"
#include "text/text.h"

namespace orvane::diag {
namespace {

// Appends UTF-8 text to the report in Windows-1251.
void Put(io::ASVariableBuffer& report, const std::string& utf8) {
  if (const auto cp = text::WideToCp1251(text::FromUtf8(utf8))) report.Append(*cp);
}

using text::Format;

struct AddrInfoDeleter {
  void operator()(addrinfo* a) const { freeaddrinfo(a); }
};

class Progress {
 public:
  explicit Progress(DiagnosticsUi* ui) : ui_(ui) {}
  void Advance() {
    position_ += 20;
    if (ui_ != nullptr) ui_->SetProgress(position_);
  }

 private:
  DiagnosticsUi* ui_;
  int position_ = 0;
};

void ProbeLines(io::ASVariableBuffer& report, const ProbeResult& r) {
  Put(report,
      Format("Соединение: %s, код ошибки: %d\n", r.connected ? "ОК" : "ОШИБКА", static_cast<int>(r.connectError)));
  Put(report, Format("Запрос: %s, код ошибки: %d, код HTTP: %d\n", r.requestDone ? "ОК" : "ОШИБКА",
                     static_cast<int>(r.requestError), r.statusCode));
}

bool Ok200(const ProbeResult& r) {
  return r.connected && r.requestDone && r.statusCode == 200;
}
bool Below400(const ProbeResult& r) {
  return r.connected && r.requestDone && r.statusCode < 400;
}

}  // namespace

ProbeResult ProbeHttp(const ProbeTarget& t, const std::shared_ptr<platform::ProxyResolver>& resolver,
                      const std::string& extraCaFile) {
  ProbeResult r;
  net::HttpClient client(resolver, extraCaFile);
  if (!client.Connect(text::FromUtf8(t.host), t.port)) {
    r.connectError = 87;  // an invalid parameter: no host
    return r;
  }
  r.connected = true;
  client.SetSecure(t.secure);
  client.SetDirect(t.direct);
  client.SetPassthru(t.passthru);
  const auto reply = client.Get(text::FromUtf8(t.path));
  if (reply.status > 0) {
    r.requestDone = true;
    r.statusCode = reply.status;
  } else {
    r.requestError = static_cast<std::uint32_t>(client.LastError());
  }
  return r;
}

std::optional<std::vector<std::string>> ResolveIpv4(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* raw = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &raw) != 0 || raw == nullptr) {
    return std::nullopt;
  }
  std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);
  std::vector<std::string> out;
  for (const addrinfo* a = raw; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    char text[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) continue;
    out.push_back(std::string(text) + ":" + std::to_string(ntohs(in->sin_port)));
  }
  return out;
}

DiagnosticsEnvironment SystemEnvironment(const config::DeploymentConfig& c, const csp::providerCatalogue& catalogue) {
  DiagnosticsEnvironment env;
  env.os = platform::GetTrueOsVersion();
  env.catalogue = catalogue;
  env.extraCaFile = c.extraCaFile;
  env.requestHost = c.requestHost;
  env.requestPort = c.requestPort;
  env.edocHost = c.edocHost;
  env.publicServicesHost = c.publicServicesHost;
  env.makerHost = c.makerHost;
  return env;
}

std::unique_ptr<io::ASVariableBuffer> BuildReport(DiagnosticsEnvironment env, DiagnosticsUi* ui) {
  auto report = std::make_unique<io::ASVariableBuffer>();
  auto& r = *report;
  Progress progress(ui);
  auto probe =
      env.probe ? env.probe : [&env](const ProbeTarget& t) { return ProbeHttp(t, env.resolver, env.extraCaFile); };
  auto resolve = env.resolve ? env.resolve : ResolveIpv4;

  // Operating system.
  if (env.os) {
    const std::string os = Format("%s %s (%d.%d.%d %d-bit)", env.os->name.c_str(), env.os->servicePack.c_str(),
                                  env.os->major, env.os->minor, env.os->build, env.os->is64 ? 64 : 32);
    Put(r, "Версия ОС: " + os + "\n");
  }
  // Provider: the first entry of the catalogue.
  if (!env.catalogue.empty() && env.catalogue.front()) {
    const auto& p = *env.catalogue.front();
    std::string line;
    if (p.kind == csp::kKindVipnet) {
      line = Format("%s %d.%d", "ViPNet CSP", p.major, p.minor);
    } else if (p.kind == csp::kKindCryptoPro) {
      line = Format("%s %d.%d.%04d", "КриптоПро CSP", p.major, p.minor, p.build);
    } else {
      line = Format("%s %d.%d", text::ToUtf8(p.name).c_str(), p.major, p.minor);
    }
    Put(r, "Криптопровайдер: " + line + "\n");
  }
  // Name resolution of the request-system host.
  const auto addresses = resolve(env.requestHost, env.requestPort);
  std::string list;
  if (addresses) {
    for (const auto& a : *addresses) list += (list.empty() ? "" : ", ") + a;
  }
  Put(r, Format("Сервер ЛК: %s:%d\n", env.requestHost.c_str(), static_cast<int>(env.requestPort)));
  Put(r, addresses ? "Ответ DNS-сервера: " + list + "\n" : std::string("Ответ DNS-сервера: ОШИБКА\n"));

  // Proxy: discovery for the request system's address when auto-detection is on, else the
  // static proxy of the settings.
  std::optional<std::string> proxy;
  {
    net::HttpClient session(env.resolver, env.extraCaFile);
    if (session.AutoDetect()) {
      const auto found = session.ProxyForUrl(text::FromUtf8(env.requestHost), u"/a/get_version");
      if (found && !found->empty()) proxy = *found;
    } else if (session.Proxy()) {
      proxy = text::ToUtf8(*session.Proxy());
    }
  }
  Put(r, proxy ? "HTTP прокси сервер: " + *proxy + "\n" : std::string("HTTP прокси сервер: отсутствует\n"));
  progress.Advance();

  // Request system through the user's settings.
  Put(r, "\nПроверка соединения с ЛК Talvik:\n");
  ProbeResult p = probe({env.requestHost, env.requestPort, "/a/get_version", true, true, false});
  ProbeLines(r, p);
  if (Ok200(p)) {
    Put(r, "Соединение с ЛК Talvik успешно установлено.\n");
    progress.Advance();
    return report;
  }
  Put(r, "Невозможно установить соединение с ЛК Talvik.\n");
  progress.Advance();

  // Directly, when a proxy stood in the way.
  if (proxy) {
    Put(r, "\nПроверка прямого соединения с ЛК:\n");
    p = probe({env.requestHost, env.requestPort, "/a/get_version", true, true, true});
    ProbeLines(r, p);
    if (Ok200(p)) {
      Put(r, "Соединение с ЛК Talvik успешно установлено.\n");
      Put(r, "РЕКОМЕНДАЦИЯ: Проверьте настройки прокси в IE.\n");
      progress.Advance();
      return report;
    }
    Put(r, "Невозможно установить соединение с ЛК Talvik.\n");
    progress.Advance();
  }

  Put(r, "\nПроверка соединения с сервером ЭД:\n");
  p = probe({env.edocHost, env.edocPort, "/", true, false, false});
  ProbeLines(r, p);
  if (Ok200(p)) {
    Put(r, "Соединение с ЭД Talvik успешно установлено.\n");
    Put(r, "РЕКОМЕНДАЦИЯ: Проверьте доступность сервера ЛК.\n");
    progress.Advance();
    return report;
  }
  Put(r, "Невозможно установить соединение с ЭД Talvik.\n");
  progress.Advance();

  Put(r, "\nПроверка соединения с сервером ГосУслуги:\n");
  p = probe({env.publicServicesHost, env.publicServicesPort, "/", true, false, false});
  ProbeLines(r, p);
  if (Below400(p)) {
    Put(r, "Соединение с сервером ГосУслуги успешно установлено.\n");
    Put(r,
        "РЕКОМЕНДАЦИЯ: Проверьте настройки HTTPS трафика в антивирусе.\nВозможна проблема с криптопровайдером, либо с "
        "вредоносным ПО.");
    progress.Advance();
    return report;
  }
  Put(r, "Невозможно установить соединение с сервером ГосУслуги.\n");
  progress.Advance();

  Put(r, "\nПроверка соединения с сервером Talvik(HTTP):\n");
  p = probe({env.makerHost, env.makerPort, "/", false, false, false});
  ProbeLines(r, p);
  if (Below400(p)) {
    Put(r, "Соединение с сервером Talvik успешно установлено.\n");
    Put(r, "РЕКОМЕНДАЦИЯ: Проверьте прохождение HTTPS трафика (возможно, закрыт 443 порт).\n");
  } else {
    Put(r, "Невозможно установить соединение с сервером Talvik.\n");
    Put(r, "РЕКОМЕНДАЦИЯ: Проверьте прохождение трафика от данного ПК.\n");
  }
  progress.Advance();
  return report;
}

std::u16string ReportText(io::ASVariableBuffer& report) {
  report.SetReadPosition(0);
  const auto bytes = report.ReadAllText();
  if (!bytes) return {};
  return text::Cp1251ToWide(std::string_view(*bytes)).value_or(std::u16string());
}

void RunDiagnostics(WindowHandle owner, DiagnosticsEnvironment env, DiagnosticsUi& ui) {
  ui.Begin(owner);
  auto report = BuildReport(std::move(env), &ui);
  ui.End();
  if (report->Length() > 0) {
    std::uint8_t first = 0;
    report->SetReadPosition(0);
    if (report->Read(&first, 1) == 1 && first != 0) ui.ShowReport(owner, ReportText(*report));
  }
}

}  // namespace orvane::diag
