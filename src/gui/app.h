// COrvaneApp: the start-up sequence, then the main window run modally; the process ends
// when InitInstance returns.
#pragma once

#include "gui/qt_ui.h"

namespace orvane::gui {

class COrvaneApp {
 public:
  // Always false: nothing is left to run when it returns.
  bool InitInstance();

 private:
  QtWizardUi ui_;
};

}  // namespace orvane::gui
