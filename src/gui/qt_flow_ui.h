// The flows' dialogs on Qt: request data (129), form preview (132), finish (135) and the
// auto-enrolment progress window (138).
#pragma once

#include "wizard/flow_ui.h"

namespace orvane::gui {

class QtFlowUi : public wizard::FlowUi {
 public:
  bool RunRequestProperties(WindowHandle owner, request::RequestPropertiesModel& model) override;
  bool RunDocumentPreview(WindowHandle owner, const std::u16string& htmlPath,
                          wizard::DocumentPreview& preview) override;
  int RunFinish(WindowHandle owner) override;
  std::unique_ptr<wizard::ProgressWindow> OpenAutoEnrollProgress(WindowHandle owner) override;
};

}  // namespace orvane::gui
