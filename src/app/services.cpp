#include "app/services.h"

#include "csp/software_provider.h"

namespace orvane::app {

Services::Services(config::DeploymentConfig deploymentIn, FrontEndSeams seams)
    : deployment(std::move(deploymentIn)),
      ui(*seams.ui),
      pcsc(seams.pcsc ? std::move(seams.pcsc) : std::shared_ptr<platform::PcscApi>(platform::CreatePcscLiteApi())),
      carrierSelection(std::make_shared<CarrierSelection>()),
      presence(seams.presence ? std::move(seams.presence)
                              : std::make_shared<PcscCarrierPresence>(pcsc, carrierSelection)),
      pinPrompt(std::move(seams.pinPrompt)),
      settings(seams.settings ? std::move(seams.settings) : std::make_shared<platform::MemorySettingsStore>()),
      stores(platform::FileStores(deployment.rootStoreDir, deployment.myStoreDir)),
      requestSystem(ui, deployment),
      loginPeer(net::LoginPeerFrom(deployment)),
      forms(render::FormContacts{deployment.caAddress, deployment.caPhone}),
      driverDownloads(carriers::DriverDownloadsFrom(deployment)),
      year(op::LocalYear) {
  csp::RegisterSoftwareProviders(registry, csp::SoftwareProviderEnvironment{deployment.dataDir, presence, pinPrompt});
}

int Services::FillCatalogue() {
  catalogue.clear();
  return csp::EnumerateGostProviders(&catalogue, registry);
}

op::RightsCheckPeers Services::RightsPeers() {
  return op::RightsCheckPeers{&requestSystem, &registry, loginPeer, year};
}

std::unique_ptr<Services> BuildServices(config::DeploymentConfig deployment, FrontEndSeams seams) {
  return std::make_unique<Services>(std::move(deployment), std::move(seams));
}

}  // namespace orvane::app
