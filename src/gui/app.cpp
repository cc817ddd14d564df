#include "gui/app.h"

#include <QFileDialog>
#include <cstdio>

#include "app/startup.h"
#include "diag/diagnostics.h"
#include "gui/agent_cert_dlg.h"
#include "gui/cert_viewer.h"
#include "gui/main_dialog.h"
#include "gui/pin_code_dlg.h"
#include "gui/pin_dialog.h"
#include "gui/qt_flow_ui.h"
#include "gui/qt_settings_store.h"
#include "operator/agent_settings.h"
#include "operator/operator_settings.h"
#include "operator/rights_check.h"
#include "wizard/get_certificate.h"

namespace orvane::gui {

bool COrvaneApp::InitInstance() {
  // Problems in the configuration files leave the affected keys at their previous values;
  // they go to the standard error (the session's log) and `orvane-tool config` lists them.
  auto loaded = config::LoadDeploymentConfig();
  for (const auto& problem : loaded.errors) std::fprintf(stderr, "orvane: %s\n", problem.c_str());
  app::FrontEndSeams seams;
  seams.ui = &ui_;
  seams.pinPrompt = overrides_.pinPrompt ? overrides_.pinPrompt : std::make_shared<QtPinPrompt>();
  seams.settings = overrides_.settings ? overrides_.settings : std::make_shared<QtSettingsStore>();
  seams.pcsc = overrides_.pcsc;
  seams.presence = overrides_.presence;
  const auto services = app::BuildServices(std::move(loaded.config), std::move(seams));

  app::StartupSteps steps = app::SystemStartupSteps(*services);
  steps.runDiagnostics = [&services] {
    QtDiagnosticsUi diagUi;
    diag::RunDiagnostics(nullptr, diag::SystemEnvironment(services->deployment, services->catalogue), diagUi);
  };
  steps.runMainWindow = [this, &services] {
    COrvaneDlg::Services window;
    window.ui = &ui_;
    window.pcsc = services->pcsc.get();
    window.pkcs11 = &services->pkcs11;
    window.catalogue = &services->catalogue;
    window.registry = &services->registry;
    window.carrierSelection = services->carrierSelection;
    window.driverDownloads = services->driverDownloads;
    window.caPhone = services->deployment.caPhone;
    window.caWebSite = services->deployment.caWebSite;
    // The flows behind the buttons, each with the Qt dialogs and the SMS-code dialog.
    QtFlowUi dialogs;
    QtSmsCodeSource smsCodes(services->requestSystem, ui_);
    const wizard::FlowServices flows{
        ui_, dialogs, services->requestSystem, services->registry, services->catalogue, services->forms, smsCodes};
    auto hooksFor = [](COrvaneDlg& dlg) {
      wizard::WizardHooks hooks;
      hooks.focusToken = [&dlg] { dlg.FocusTokenEdit(); };
      hooks.refreshCarrier = [&dlg](const std::u16string& reader) { return dlg.RefreshCarrier(reader); };
      hooks.getCertificate = [&dlg](WindowHandle) { dlg.OnGetCertificate(); };
      return hooks;
    };
    window.onCreateRequest = [&flows, hooksFor](COrvaneDlg& dlg) {
      wizard::CreateRequestFlow(flows).Run(&dlg, dlg.FlowState(), hooksFor(dlg));
    };
    window.onGetCertificate = [&flows, &services, hooksFor](COrvaneDlg& dlg) {
      wizard::GetCertificateFlow(flows, services->stores).Run(&dlg, dlg.FlowState(), hooksFor(dlg));
    };
    window.onPrintCertificate = [&flows](COrvaneDlg& dlg) {
      QFileDialog files(&dlg, QStringLiteral("Файл сертификата"));
      files.setNameFilters({QStringLiteral("Файлы сертификата (*.cer *.pem)"), QStringLiteral("Все файлы (*.*)")});
      files.setDefaultSuffix(QStringLiteral("cer"));
      files.setFileMode(QFileDialog::ExistingFile);
      files.setOption(QFileDialog::ReadOnly);
      if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty()) return;
      wizard::PrintCertificateFile(flows, &dlg, files.selectedFiles().front().toStdString());
    };
    window.onOperatorCertificate = [this, &services](COrvaneDlg& dlg) {
      op::AgentCertModel model(dlg.OperatorCertificate(), dlg.BlockOperatorCarrier());
      AgentCertServices agent;
      agent.ui = &ui_;
      agent.settings = services->settings.get();
      agent.stores = services->stores;
      agent.verify = [this, &services](QWidget* owner, const CertificatePtr& certificate) {
        return op::VerifyOperator(ui_, owner, certificate, services->RightsPeers());
      };
      agent.view = [](QWidget* owner, const CertificatePtr& certificate) { ShowCertificate(owner, certificate); };
      CAgentCertDlg settings(model, agent, &dlg);
      settings.exec();
      if (model.applied) dlg.SetOperatorCertificate(model.Current(), model.Rights(), model.blockCarrier);
    };
    window.onShowOperatorCertificate = [](COrvaneDlg& dlg) {
      if (dlg.OperatorCertificate()) ShowCertificate(&dlg, dlg.OperatorCertificate());
    };
    window.onDiagnostics = [&services](COrvaneDlg& dlg) {
      QtDiagnosticsUi diagUi;
      diag::RunDiagnostics(&dlg, diag::SystemEnvironment(services->deployment, services->catalogue), diagUi);
    };
    window.loadOperatorSettings = [this, &services](COrvaneDlg& dlg) {
      const op::RightsCheckPeers peers = services->RightsPeers();
      return op::LoadOperatorSettings(*services->settings, services->stores, [&](const csp::CertificatePtr& cert) {
        return op::VerifyOperator(ui_, &dlg, cert, peers);
      });
    };
    COrvaneDlg dialog(window);
    dialog.exec();
  };
  app::RunStartup(ui_, steps);
  return false;
}

}  // namespace orvane::gui
