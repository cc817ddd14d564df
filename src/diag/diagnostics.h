// The system diagnostics report: operating system, GOST provider, name resolution of the
// request-system host, the proxy, and a chain of HTTP probes (request system through the
// user's proxy, then directly, the electronic-document host, the public-services portal,
// the maker's site over plain HTTP) with a recommendation for the first that works.
// The report is Windows-1251 text in an ASVariableBuffer, shown in the "Отчет" box.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/deployment_config.h"
#include "csp/catalogue.h"
#include "io/variable_buffer.h"
#include "platform/os_info.h"
#include "platform/proxy_settings.h"
#include "platform/wizard_ui.h"

namespace orvane::diag {

struct ProbeResult {
  bool connected = false;
  bool requestDone = false;
  std::int32_t statusCode = 0;
  std::uint32_t connectError = 0;
  std::uint32_t requestError = 0;
};

struct ProbeTarget {
  std::string host;
  std::uint16_t port = 443;
  std::string path;
  bool secure = true;
  bool passthru = false;
  bool direct = false;
};

// The progress dialog and the report box.
class DiagnosticsUi {
 public:
  virtual ~DiagnosticsUi() = default;
  virtual void Begin(WindowHandle owner) = 0;  // show the progress dialog, range 0..200
  virtual void SetProgress(int position) = 0;
  virtual void End() = 0;                                                       // finished: close the progress dialog
  virtual void ShowReport(WindowHandle owner, const std::u16string& text) = 0;  // caption "Отчет", OK
};

struct DiagnosticsEnvironment {
  std::optional<platform::OsVersionRecord> os;
  csp::providerCatalogue catalogue;
  std::string requestHost;
  std::uint16_t requestPort = 443;
  std::string edocHost;
  std::uint16_t edocPort = 443;
  std::string publicServicesHost;
  std::uint16_t publicServicesPort = 443;
  std::string makerHost;
  std::uint16_t makerPort = 80;
  std::shared_ptr<platform::ProxyResolver> resolver;  // null: the user's settings
  std::string extraCaFile;                            // trusted besides the system store
  // Replaceable for tests: one HTTP probe, and name resolution (IPv4 "a.b.c.d:port" texts;
  // none when resolution failed).
  std::function<ProbeResult(const ProbeTarget&)> probe;
  std::function<std::optional<std::vector<std::string>>(const std::string& host, std::uint16_t port)> resolve;
};

// This machine, the program's provider catalogue and the deployment's hosts.
DiagnosticsEnvironment SystemEnvironment(const config::DeploymentConfig& deployment,
                                         const csp::providerCatalogue& catalogue);

ProbeResult ProbeHttp(const ProbeTarget& target, const std::shared_ptr<platform::ProxyResolver>& resolver,
                      const std::string& extraCaFile = {});
std::optional<std::vector<std::string>> ResolveIpv4(const std::string& host, std::uint16_t port);

// Builds the report (Windows-1251), advancing the progress by 20 after each proxy/probe step.
std::unique_ptr<io::ASVariableBuffer> BuildReport(DiagnosticsEnvironment env, DiagnosticsUi* ui);

// The whole run: progress dialog, report, the "Отчет" box.
void RunDiagnostics(WindowHandle owner, DiagnosticsEnvironment env, DiagnosticsUi& ui);

// The report as UTF-16 (bytes 0-127 unchanged, 128-255 by Windows-1251).
std::u16string ReportText(io::ASVariableBuffer& report);

}  // namespace orvane::diag
