#include "gui/qt_flow_ui.h"

#include "gui/auto_enroll_dlg.h"
#include "gui/doc_dlg.h"
#include "gui/finish_dialogs.h"
#include "gui/request_properties_dlg.h"

namespace orvane::gui {

bool QtFlowUi::RunRequestProperties(WindowHandle owner, request::RequestPropertiesModel& model) {
  RequestProperties dialog(model, static_cast<QWidget*>(owner));
  return dialog.exec() == QDialog::Accepted;
}

bool QtFlowUi::RunDocumentPreview(WindowHandle owner, const std::u16string& htmlPath,
                                  wizard::DocumentPreview& preview) {
  return gui::RunDocumentPreview(static_cast<QWidget*>(owner), htmlPath, preview);
}

int QtFlowUi::RunFinish(WindowHandle owner) {
  CFinishDlg dialog(static_cast<QWidget*>(owner));
  return dialog.exec();
}

std::unique_ptr<wizard::ProgressWindow> QtFlowUi::OpenAutoEnrollProgress(WindowHandle owner) {
  return gui::OpenAutoEnrollProgress(static_cast<QWidget*>(owner));
}

}  // namespace orvane::gui
