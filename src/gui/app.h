// COrvaneApp: builds the program's services (app::BuildServices) with the desktop's seams,
// runs the start-up sequence, then the main window modally; the process ends when
// InitInstance returns.
#pragma once

#include <memory>

#include "app/services.h"
#include "gui/qt_ui.h"

namespace orvane::gui {

class COrvaneApp {
 public:
  // Seams left null are the desktop's own: the Qt PIN dialog, QSettings, the PC/SC stack of
  // this machine and the presence of cards in its readers. Tests put in their own.
  struct Overrides {
    std::shared_ptr<csp::PinPrompt> pinPrompt;
    std::shared_ptr<platform::SettingsStore> settings;
    std::shared_ptr<platform::PcscApi> pcsc;
    std::shared_ptr<csp::CarrierPresence> presence;
  };

  COrvaneApp() = default;
  explicit COrvaneApp(Overrides overrides) : overrides_(std::move(overrides)) {}

  // Always false: nothing is left to run when it returns.
  bool InitInstance();

 private:
  Overrides overrides_;
  QtWizardUi ui_;
};

}  // namespace orvane::gui
