// The start-up sequence, toolkit-free: provider catalogue, temporary-folder probe, XML
// probe, OS gate, CryptoPro compatibility, head-CA roots, the no-provider refusal and the
// version check with its three outcomes. Every refusal shows exactly one message; the
// GUI's application object runs this and then the main window.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "csp/catalogue.h"
#include "net/request_system.h"
#include "platform/wizard_ui.h"

namespace orvane::app {

// A Windows version record for the compatibility rules. Linux has none: the rules that
// depend on the Windows release do not apply there.
struct WindowsVersion {
  int major = 0;
  int minor = 0;
  int build = 0;
};

// The CryptoPro version and OS compatibility check of the first catalogue entry. Shows its
// message and returns false for an unsupported or incompatible version.
bool CheckCryptoProCompatibility(WizardUi& ui, const csp::providerCatalogue& catalogue,
                                 const std::optional<WindowsVersion>& os);

// Creates and deletes a "TVK-" file in the temporary folder; false with the folder and the
// system's text for the error (Russian where the locale has it).
bool ProbeTemporaryFolder(std::string& folder, std::string& errorText);
// A document and an XSLT stylesheet can be created with libxml2/libxslt.
bool ProbeXml();

enum class StartupOutcome {
  Refused,             // a check failed (its message was shown) or the user declined
  DiagnosticsOffered,  // no version from the request system; diagnostics asked about (and run on Yes)
  DownloadOpened,      // the program is outdated; the download site was opened
  MainWindow,          // accepted: the main window ran
};

struct StartupSteps {
  std::function<int()> fillCatalogue;                 // fills the program's catalogue, returns the count
  const csp::providerCatalogue* catalogue = nullptr;  // read by the CryptoPro check once filled
  std::function<bool(std::string& folder, std::string& error)> probeTemp = ProbeTemporaryFolder;
  std::function<bool()> probeXml = ProbeXml;
  std::function<bool()> ensureRoots;  // the head-CA roots check (its own messages)
  std::function<net::VersionCheckResult()> checkVersion;
  std::function<void()> runDiagnostics;
  std::function<void()> runMainWindow;
  std::function<void(const std::u16string&)> openUrl;
  std::u16string downloadSite;
};

StartupOutcome RunStartup(WizardUi& ui, StartupSteps& steps);

struct Services;

// The steps wired to the program's services: their catalogue, the file stores, the request
// system and the deployment's download site. The caller adds runDiagnostics and runMainWindow.
StartupSteps SystemStartupSteps(Services& services);

}  // namespace orvane::app
