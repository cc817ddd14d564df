#include "app/startup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "support/scripted_ui.h"
#include "support/tls_test_server.h"

using namespace orvane;
using app::StartupOutcome;

namespace {

std::shared_ptr<csp::cryptoProviderData> Entry(csp::ProviderKind kind, int major, int minor, int build) {
  auto e = std::make_shared<csp::cryptoProviderData>();
  e->kind = kind;
  e->major = major;
  e->minor = minor;
  e->build = build;
  e->type = kind == csp::kKindCryptoPro ? 80 : 77;
  return e;
}

struct StartupRun {
  test::ScriptedUi ui;
  app::StartupSteps steps;
  int providers = 1;
  bool rootsOk = true;
  net::VersionCheckResult version{true, true, u"1.36.0"};
  int diagnostics = 0, mainWindow = 0;
  std::vector<std::u16string> opened;
  csp::providerCatalogue catalogue;

  StartupRun() {
    steps.catalogue = &catalogue;
    steps.fillCatalogue = [this] {
      catalogue.clear();
      if (providers > 0) catalogue.push_back(Entry(csp::kKindCryptoPro, 5, 0, 12000));
      return providers;
    };
    steps.ensureRoots = [this] { return rootsOk; };
    steps.checkVersion = [this] { return version; };
    steps.runDiagnostics = [this] { ++diagnostics; };
    steps.runMainWindow = [this] { ++mainWindow; };
    steps.openUrl = [this](const std::u16string& u) { opened.push_back(u); };
    steps.downloadSite = u"https://download.example/";
  }
  StartupOutcome Go() { return app::RunStartup(ui, steps); }
};

}  // namespace

TEST(Startup, AcceptedVersionRunsTheMainWindow) {
  StartupRun r;
  EXPECT_EQ(r.Go(), StartupOutcome::MainWindow);
  EXPECT_EQ(r.mainWindow, 1);
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(Startup, EachRefusalShowsOneMessage) {
  {
    StartupRun r;
    r.steps.probeTemp = [](std::string& folder, std::string& error) {
      folder = "/nonexistent";
      error = "Нет такого файла или каталога";
      return false;
    };
    EXPECT_EQ(r.Go(), StartupOutcome::Refused);
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.ui.messages[0].Utf8(),
              "Запуск программы невозможен. Не удается создать файл во временной папке /nonexistent, ошибка: Нет "
              "такого файла или каталога");
  }
  {
    StartupRun r;
    r.steps.probeXml = [] { return false; };
    EXPECT_EQ(r.Go(), StartupOutcome::Refused);
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.ui.messages[0].Utf8(),
              "Запуск программы невозможен.\nНевозможно инициализировать объектную модель документа.");
  }
  {
    StartupRun r;
    r.providers = 0;
    EXPECT_EQ(r.Go(), StartupOutcome::Refused);
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.ui.messages[0].Utf8(),
              "Запуск программы невозможен.\nНе обнаружен криптопровайдер с поддержкой ГОСТ алгоритмов.");
    EXPECT_EQ(r.mainWindow, 0);
  }
  {
    StartupRun r;
    r.rootsOk = false;  // the roots check shows its own message (or none when declined)
    EXPECT_EQ(r.Go(), StartupOutcome::Refused);
    EXPECT_TRUE(r.ui.messages.empty());
  }
  {
    StartupRun r;
    r.steps.fillCatalogue = [&r] {
      r.catalogue.clear();
      r.catalogue.push_back(Entry(csp::kKindCryptoPro, 3, 7, 0));
      return 1;
    };
    EXPECT_EQ(r.Go(), StartupOutcome::Refused);
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(
        r.ui.messages[0].Utf8(),
        "Обнаружена неподдерживаемая версия КриптоПро CSP 3.7.0000.\nМинимальная требуемая версия: 3.6.7777 (3.6R4).");
  }
}

TEST(Startup, VersionOutcomes) {
  StartupRun noVersion;
  noVersion.version = {};
  noVersion.ui.answers = {true};
  EXPECT_EQ(noVersion.Go(), StartupOutcome::DiagnosticsOffered);
  ASSERT_EQ(noVersion.ui.messages.size(), 1u);
  EXPECT_EQ(noVersion.ui.messages[0].kind, MessageKind::ErrorYesNo);
  EXPECT_EQ(noVersion.ui.messages[0].Utf8(), "Ошибка соединения с сервером Talvik. Провести диагностику?");
  EXPECT_EQ(noVersion.diagnostics, 1);
  EXPECT_EQ(noVersion.mainWindow, 0);

  StartupRun declined;
  declined.version = {};
  declined.ui.answers = {false};
  EXPECT_EQ(declined.Go(), StartupOutcome::DiagnosticsOffered);
  EXPECT_EQ(declined.diagnostics, 0);

  StartupRun outdated;
  outdated.version = {true, false, u"1.37"};
  EXPECT_EQ(outdated.Go(), StartupOutcome::DownloadOpened);
  EXPECT_EQ(outdated.opened, std::vector<std::u16string>{u"https://download.example/"});
  EXPECT_EQ(outdated.mainWindow, 0);
}

TEST(CryptoProCompatibility, VersionAndOsTable) {
  test::ScriptedUi ui;
  auto check = [&](csp::ProviderKind kind, int major, int minor, int build, std::optional<app::WindowsVersion> os) {
    csp::providerCatalogue c{Entry(kind, major, minor, build)};
    return app::CheckCryptoProCompatibility(ui, c, os);
  };
  const app::WindowsVersion win7{6, 1, 7601}, win81{6, 3, 9600}, win10{10, 0, 19045};
  EXPECT_TRUE(check(csp::kKindCryptoPro, 3, 6, 7777, win7));
  EXPECT_FALSE(check(csp::kKindCryptoPro, 3, 6, 7777, win81));
  EXPECT_EQ(ui.messages.back().Utf8(),
            "Установленная версия криптопровайдера (КриптоПро CSP 3.6.7777) несовместима с операционной системой "
            "Windows 8.1.");
  EXPECT_FALSE(check(csp::kKindCryptoPro, 3, 6, 7777, win10));
  EXPECT_FALSE(check(csp::kKindCryptoPro, 3, 6, 7776, win7));
  EXPECT_FALSE(check(csp::kKindCryptoPro, 3, 9, 8322, win10));
  EXPECT_TRUE(check(csp::kKindCryptoPro, 3, 9, 8323, win10));
  EXPECT_FALSE(check(csp::kKindCryptoPro, 4, 0, 9605, win10));
  EXPECT_TRUE(check(csp::kKindCryptoPro, 4, 0, 9606, win10));
  EXPECT_TRUE(check(csp::kKindCryptoPro, 3, 8, 1, win10));
  EXPECT_FALSE(check(csp::kKindCryptoPro, 6, 0, 0, win7));
  EXPECT_TRUE(check(csp::kKindCryptoPro, 3, 6, 7777, std::nullopt));  // no Windows record (Linux)
  EXPECT_TRUE(check(csp::kKindVipnet, 1, 0, 0, win10));               // only a CryptoPro first entry is checked
  csp::providerCatalogue empty;
  EXPECT_TRUE(app::CheckCryptoProCompatibility(ui, empty, win10));
}

TEST(StartupProbes, TemporaryFolderAndXml) {
  EXPECT_TRUE(app::ProbeXml());
  test::TempDir dir;
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  setenv("TMPDIR", dir.Path().c_str(), 1);
  std::string folder, error;
  EXPECT_TRUE(app::ProbeTemporaryFolder(folder, error));
  EXPECT_EQ(folder, dir.Path());
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));  // the probe file does not remain
  setenv("TMPDIR", (dir.Path() + "/missing").c_str(), 1);
  EXPECT_FALSE(app::ProbeTemporaryFolder(folder, error));
  EXPECT_EQ(folder, dir.Path() + "/missing");
  EXPECT_FALSE(error.empty());
  if (old != nullptr) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}
