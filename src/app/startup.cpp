#include "app/startup.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxslt/transform.h>
#include <libxslt/xsltutils.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/head_ca_roots.h"
#include "app/services.h"
#include "platform/temp_file.h"
#include "text/format.h"
#include "text/text.h"

namespace orvane::app {
namespace {

std::u16string W(const std::string& utf8) {
  return text::FromUtf8(utf8);
}

using text::Format;

// The system's text for an errno value, in Russian when such a locale is installed.
std::string ErrorText(int err) {
  locale_t ru = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "ru_RU.UTF-8", static_cast<locale_t>(nullptr));
  std::string text;
  if (ru != static_cast<locale_t>(nullptr)) {
    text = strerror_l(err, ru);
    freelocale(ru);
  } else {
    text = std::strerror(err);
  }
  return text;
}

struct DocDeleter {
  void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
struct SheetDeleter {
  void operator()(xsltStylesheet* s) const { xsltFreeStylesheet(s); }
};

}  // namespace

bool ProbeTemporaryFolder(std::string& folder, std::string& errorText) {
  folder = platform::TempDirectory();
  int err = 0;
  auto probe = platform::TempFile::Create("TVK-", "", &err);
  if (!probe) {
    errorText = ErrorText(err);
    return false;
  }
  return true;  // the probe file is deleted with the object
}

bool ProbeXml() {
  static constexpr char kSheet[] =
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
      "<xsl:template match=\"/\"><p/></xsl:template></xsl:stylesheet>";
  std::unique_ptr<xmlDoc, DocDeleter> sheetDoc(
      xmlReadMemory(kSheet, static_cast<int>(sizeof kSheet - 1), "probe.xsl", nullptr, XML_PARSE_NONET));
  if (!sheetDoc) return false;
  std::unique_ptr<xsltStylesheet, SheetDeleter> sheet(xsltParseStylesheetDoc(sheetDoc.get()));
  if (!sheet) return false;
  sheetDoc.release();  // owned by the stylesheet now
  std::unique_ptr<xmlDoc, DocDeleter> doc(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
  if (!doc) return false;
  std::unique_ptr<xmlDoc, DocDeleter> out(xsltApplyStylesheet(sheet.get(), doc.get(), nullptr));
  return out != nullptr;
}

bool CheckCryptoProCompatibility(WizardUi& ui, const csp::providerCatalogue& catalogue,
                                 const std::optional<WindowsVersion>& os) {
  if (catalogue.empty() || !catalogue.front() || catalogue.front()->kind != csp::kKindCryptoPro) return true;
  const auto& e = *catalogue.front();
  const bool supported = (e.major == 3 && e.minor == 6 && e.build >= 7777) || (e.major == 3 && e.minor == 8) ||
                         (e.major == 3 && e.minor == 9) || e.major == 4 || e.major == 5;
  if (!supported) {
    ui.ShowError(nullptr, W(Format("Обнаружена неподдерживаемая версия КриптоПро CSP %d.%d.%04d.\nМинимальная "
                                   "требуемая версия: 3.6.7777 (3.6R4).",
                                   e.major, e.minor, e.build)));
    return false;
  }
  if (!os) return true;
  const char* incompatibleWith = nullptr;
  if (os->major == 6 && os->minor >= 3 && e.major == 3 && e.minor == 6) incompatibleWith = "Windows 8.1";
  if (os->major == 10 && ((e.major == 3 && e.minor == 6) || (e.major == 3 && e.minor == 9 && e.build < 8323) ||
                          (e.major == 4 && e.minor == 0 && e.build < 9606))) {
    incompatibleWith = "Windows 10";
  }
  if (incompatibleWith == nullptr) return true;
  ui.ShowError(nullptr, W(Format("Установленная версия криптопровайдера (КриптоПро CSP %d.%d.%04d) несовместима с "
                                 "операционной системой %s.",
                                 e.major, e.minor, e.build, incompatibleWith)));
  return false;
}

StartupOutcome RunStartup(WizardUi& ui, StartupSteps& steps) {
  const int providers = steps.fillCatalogue ? steps.fillCatalogue() : 0;

  std::string folder, error;
  if (!steps.probeTemp(folder, error)) {
    ui.ShowError(nullptr, W(Format("Запуск программы невозможен. Не удается создать файл во временной папке %s, "
                                   "ошибка: %s",
                                   folder.c_str(), error.c_str())));
    return StartupOutcome::Refused;
  }
  if (!steps.probeXml()) {
    ui.ShowError(nullptr, u"Запуск программы невозможен.\nНевозможно инициализировать объектную модель документа.");
    return StartupOutcome::Refused;
  }
  // The operating-system gate passes on Linux; the Windows-release rules of the CryptoPro
  // check do not apply (no Windows version record).
  if (!CheckCryptoProCompatibility(ui, steps.catalogue ? *steps.catalogue : csp::providerCatalogue{}, std::nullopt)) {
    return StartupOutcome::Refused;
  }
  if (steps.ensureRoots && !steps.ensureRoots()) return StartupOutcome::Refused;
  if (providers == 0) {
    ui.ShowError(nullptr, u"Запуск программы невозможен.\nНе обнаружен криптопровайдер с поддержкой ГОСТ алгоритмов.");
    return StartupOutcome::Refused;
  }
  const net::VersionCheckResult version = steps.checkVersion ? steps.checkVersion() : net::VersionCheckResult{};
  if (!version.received) {
    if (ui.AskErrorYesNo(nullptr, u"Ошибка соединения с сервером Talvik. Провести диагностику?") &&
        steps.runDiagnostics) {
      steps.runDiagnostics();
    }
    return StartupOutcome::DiagnosticsOffered;
  }
  if (version.accepted) {
    if (steps.runMainWindow) steps.runMainWindow();
    return StartupOutcome::MainWindow;
  }
  if (steps.openUrl) steps.openUrl(steps.downloadSite);
  return StartupOutcome::DownloadOpened;
}

StartupSteps SystemStartupSteps(Services& services) {
  StartupSteps steps;
  steps.fillCatalogue = [&services] { return services.FillCatalogue(); };
  steps.catalogue = &services.catalogue;
  steps.ensureRoots = [&services] { return EnsureHeadCaRoots(services.ui, services.stores); };
  steps.checkVersion = [&services] { return services.requestSystem.CheckVersion(); };
  steps.openUrl = [&services](const std::u16string& url) { services.ui.OpenUrl(url); };
  steps.downloadSite = text::FromUtf8(services.deployment.downloadSite);
  return steps;
}

}  // namespace orvane::app
