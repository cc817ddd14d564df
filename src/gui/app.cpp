#include "gui/app.h"

#include "app/deployment_config.h"
#include "app/startup.h"
#include "diag/diagnostics.h"
#include "gui/main_dialog.h"
#include "gui/qt_settings_store.h"
#include "net/request_system.h"
#include "operator/rights_check.h"
#include "platform/pcsc_api.h"
#include "platform/pkcs11_module.h"

namespace orvane::gui {

bool COrvaneApp::InitInstance() {
  const auto loaded = app::LoadDeploymentConfig();
  app::SetConfig(loaded.config);
  net::RequestSystem requestSystem(ui_);
  app::StartupSteps steps = app::SystemStartupSteps(ui_, requestSystem);
  steps.runDiagnostics = [] {
    QtDiagnosticsUi diagUi;
    diag::RunDiagnostics(nullptr, diag::SystemEnvironment(), diagUi);
  };
  steps.runMainWindow = [this, &requestSystem] {
    const auto pcsc = platform::CreatePcscLiteApi();
    const platform::Pkcs11ModuleLoader loader;
    COrvaneDlg::Services services;
    services.ui = &ui_;
    services.pcsc = pcsc.get();
    services.pkcs11 = &loader;
    services.onDiagnostics = [](COrvaneDlg& dlg) {
      QtDiagnosticsUi diagUi;
      diag::RunDiagnostics(&dlg, diag::SystemEnvironment(), diagUi);
    };
    services.loadOperatorSettings = [this, &requestSystem](COrvaneDlg& dlg) {
      QtSettingsStore settings;
      op::RightsCheckPeers peers{&requestSystem, net::LoginPeerFromConfig(), op::LocalYear};
      return op::LoadOperatorSettings(settings, platform::OpenFileStore, [&](const csp::CertificatePtr& cert) {
        return op::VerifyOperator(ui_, &dlg, cert, peers);
      });
    };
    COrvaneDlg dialog(services);
    dialog.exec();
  };
  app::RunStartup(ui_, steps);
  return false;
}

}  // namespace orvane::gui
