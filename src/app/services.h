// The composition root: every service of the program, built in one place from the
// deployment configuration and the few seams that differ between the front ends (the UI,
// the PIN prompt, the settings store). Both orvane and orvane-tool call BuildServices; the
// classes below them receive what they need through their constructors, so a front end
// cannot forget a seam.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "app/pcsc_presence.h"
#include "carriers/pkcs11_probe.h"
#include "config/deployment_config.h"
#include "csp/catalogue.h"
#include "csp/provider.h"
#include "net/auth_login.h"
#include "net/request_system.h"
#include "operator/rights_check.h"
#include "platform/cert_store.h"
#include "platform/pcsc_api.h"
#include "platform/pkcs11_module.h"
#include "platform/settings_store.h"
#include "platform/wizard_ui.h"
#include "render/form_render.h"

namespace orvane::app {

// What a front end brings: its UI, how it asks for a carrier PIN and where it keeps the
// operator settings. presence and pcsc may be given for tests (a fake stack, a fixed
// reader); left null they are the PC/SC stack of this machine and the presence of cards in
// its readers.
struct FrontEndSeams {
  WizardUi* ui = nullptr;
  std::shared_ptr<csp::PinPrompt> pinPrompt;
  std::shared_ptr<platform::SettingsStore> settings;
  std::shared_ptr<csp::CarrierPresence> presence;
  std::shared_ptr<platform::PcscApi> pcsc;
};

struct Services {
  config::DeploymentConfig deployment;
  WizardUi& ui;
  std::shared_ptr<platform::PcscApi> pcsc;
  std::shared_ptr<CarrierSelection> carrierSelection;  // the main window's carrier, for the provider
  std::shared_ptr<csp::CarrierPresence> presence;
  std::shared_ptr<csp::PinPrompt> pinPrompt;
  std::shared_ptr<platform::SettingsStore> settings;
  platform::Pkcs11ModuleLoader pkcs11;
  csp::ProviderRegistry registry;
  csp::providerCatalogue catalogue;  // filled once at start-up (FillCatalogue), read-only afterwards
  platform::CertStoreOpener stores;
  net::RequestSystem requestSystem;
  net::LoginPeer loginPeer;
  render::FormRenderer forms;
  carriers::DriverDownloads driverDownloads;
  op::YearSource year;  // the clock of the rights check

  Services(config::DeploymentConfig deployment, FrontEndSeams seams);
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;

  // Enumerates the registry's GOST providers into the catalogue (once); their number.
  int FillCatalogue();
  // The peers of the operator rights check.
  op::RightsCheckPeers RightsPeers();
};

std::unique_ptr<Services> BuildServices(config::DeploymentConfig deployment, FrontEndSeams seams);

}  // namespace orvane::app
