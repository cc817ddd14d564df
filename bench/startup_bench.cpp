// Start-up to the main window shown (offscreen): catalogue built, temporary-folder and XML
// probes, roots present, the version check against the reference request system on
// loopback, the main window constructed and shown. Prints the median over the runs and the
// share spent before the first network call.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "app/head_ca_roots.h"
#include "app/services.h"
#include "app/startup.h"
#include "config/deployment_config.h"
#include "gui/main_dialog.h"
#include "platform/pcsc_api.h"
#include "server.h"
#include "support/scripted_ui.h"
#include "support/tls_test_server.h"

using namespace orvane;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  test::TempDir dir;
  refsys::Server server;
  refsys::ServerOptions options;
  options.stateDir = dir.Path() + "/state";
  options.seedFile = ORVANE_SOURCE_DIR "/tools/request-system/sample-seed.ini";
  std::string error;
  if (!server.Start(options, error)) {
    std::fprintf(stderr, "reference request system: %s\n", error.c_str());
    return 1;
  }
  std::thread serving([&] { server.Run(); });

  auto config = config::BuiltInDefaults();
  config.requestHost = "127.0.0.1";
  config.requestPort = static_cast<std::uint16_t>(server.Port());
  config.extraCaFile = server.TlsCaFile();
  config.dataDir = dir.Path() + "/data";
  config.rootStoreDir = dir.Path() + "/ROOT";
  config.myStoreDir = dir.Path() + "/MY";
  std::uint32_t installError = 0;
  const auto stores = platform::FileStores(config.rootStoreDir, config.myStoreDir);
  app::InstallRootCertificate(app::HeadCaRootA().base64, stores, installError);
  app::InstallRootCertificate(app::HeadCaRootB().base64, stores, installError);

  std::vector<double> totals, beforeNetwork;
  for (int run = 0; run < 15; ++run) {
    test::ScriptedUi ui;
    const auto start = Clock::now();
    Clock::time_point firstNetwork{}, shown{};
    app::FrontEndSeams seams;
    seams.ui = &ui;
    const auto services = app::BuildServices(config, std::move(seams));
    app::StartupSteps steps = app::SystemStartupSteps(*services);
    auto check = steps.checkVersion;
    steps.checkVersion = [&] {
      firstNetwork = Clock::now();
      return check();
    };
    steps.runMainWindow = [&] {
      gui::COrvaneDlg::Services window;
      window.ui = &ui;
      window.pcsc = services->pcsc.get();
      window.catalogue = &services->catalogue;
      window.registry = &services->registry;
      gui::COrvaneDlg dialog(window);
      dialog.show();
      QApplication::processEvents();
      shown = Clock::now();
    };
    if (app::RunStartup(ui, steps) != app::StartupOutcome::MainWindow) {
      std::fprintf(stderr, "start-up did not reach the main window (%zu messages)\n", ui.messages.size());
      server.Stop();
      serving.join();
      return 1;
    }
    totals.push_back(std::chrono::duration<double, std::milli>(shown - start).count());
    beforeNetwork.push_back(std::chrono::duration<double, std::milli>(firstNetwork - start).count());
  }
  server.Stop();
  serving.join();
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double total = median(totals), before = median(beforeNetwork);
  std::printf("start-up to main window shown: median %.1f ms over %zu runs (goal < 400 ms)\n", total, totals.size());
  std::printf("before the first network call: median %.1f ms (%.0f %% of the total)\n", before, 100.0 * before / total);
  return 0;
}
