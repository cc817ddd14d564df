// CAgentCertDlg (dialog 137): the operator-certificate settings. It shows the chosen
// certificate's owner and validity, lets the user choose another (CSelectCertificateDlg),
// view or clear it, block the operator's carrier and apply the change, which checks the
// certificate's rights and saves the choice. The state lives in op::AgentCertModel, which
// the caller reads afterwards. Закрыть ends with Accepted; Escape and the close box with
// Rejected.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "operator/agent_settings.h"
#include "platform/cert_store.h"
#include "platform/settings_store.h"
#include "platform/wizard_ui.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace orvane::gui {

struct AgentCertServices {
  WizardUi* ui = nullptr;
  platform::SettingsStore* settings = nullptr;  // null: the choice takes effect unsaved
  platform::CertStoreOpener stores;             // the "MY" store to choose from
  // The rights check of a certificate (owner: this dialog); none when refused.
  std::function<std::shared_ptr<op::verifyClientResult>(QWidget* owner, const CertificatePtr&)> verify;
  // Shows a certificate.
  std::function<void(QWidget* owner, const CertificatePtr&)> view;
};

class CAgentCertDlg : public QDialog {
  Q_OBJECT
 public:
  CAgentCertDlg(op::AgentCertModel& model, AgentCertServices services, QWidget* parent = nullptr);

 private:
  void OnSelect();
  void OnView();
  void OnClear();
  void OnApply();
  void Refresh();

  op::AgentCertModel& model_;
  AgentCertServices services_;
  QLabel* owner_ = nullptr;
  QLabel* validity_ = nullptr;
  QPushButton* view_ = nullptr;
  QPushButton* clear_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* close_ = nullptr;
  QPushButton* select_ = nullptr;
  QCheckBox* save_ = nullptr;
  QCheckBox* block_ = nullptr;
};

}  // namespace orvane::gui
