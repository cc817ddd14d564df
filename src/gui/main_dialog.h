// COrvaneDlg: the main wizard window (dialog 102). Token edit, provider and carrier lists,
// the carrier panel, the phone and certificate labels and the flow buttons. The reader
// monitor runs while the window exists; its changes arrive through queued calls. The panel's
// state lives in wizard::CarrierPanel; this class copies it into the widgets.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <mutex>

#include "app/pcsc_presence.h"
#include "carriers/monitor.h"
#include "carriers/scard_list.h"
#include "csp/catalogue.h"
#include "gui/static_label.h"
#include "operator/operator_settings.h"
#include "types/certificate.h"
#include "wizard/carrier_panel.h"
#include "wizard/create_request.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QShortcut;

namespace orvane::gui {

class COrvaneDlg : public QDialog {
  Q_OBJECT
 public:
  struct Services {
    WizardUi* ui = nullptr;
    platform::PcscApi* pcsc = nullptr;  // null: no PC/SC service
    const platform::Pkcs11ModuleLoader* pkcs11 = nullptr;
    const csp::providerCatalogue* catalogue = nullptr;  // the provider list; null: empty
    const csp::ProviderRegistry* registry = nullptr;    // finds the operator key; null: none
    carriers::DriverDownloads driverDownloads;
    // Told the selected carrier's reader on every change (the provider puts new containers
    // named without a reader there).
    std::shared_ptr<app::CarrierSelection> carrierSelection;
    std::string caPhone;  // the phone label and its link
    std::string caWebSite;
    std::chrono::milliseconds monitorPeriod{1000};
    // The flows and the support functions behind the buttons and hot keys.
    std::function<void(COrvaneDlg&)> onCreateRequest;
    std::function<void(COrvaneDlg&)> onGetCertificate;
    std::function<void(COrvaneDlg&)> onOperatorCertificate;
    std::function<void(COrvaneDlg&)> onPrintCertificate;
    std::function<void(COrvaneDlg&)> onDiagnostics;
    std::function<void(COrvaneDlg&)> onShowOperatorCertificate;  // a click on "СЕРТИФИКАТ"
    // Loads the operator certificate and its rights from the settings (owner: the window).
    std::function<op::OperatorSettings(COrvaneDlg&)> loadOperatorSettings;
  };

  explicit COrvaneDlg(Services services, QWidget* parent = nullptr);
  ~COrvaneDlg() override;

  // The flow entry points behind the buttons (and Ctrl+S for the operator certificate).
  void OnCreateRequest() { Call(services_.onCreateRequest); }
  void OnGetCertificate() { Call(services_.onGetCertificate); }
  void OnOperatorCertificate() { Call(services_.onOperatorCertificate); }
  void OnPrintCertificate() { Call(services_.onPrintCertificate); }

  // Rebuilds the device list from the readers (caller holds ReaderLock()).
  void FillCarrierList(const std::optional<std::u16string>& preferredReader);
  void ShowCarrier(int position);
  void UpdateOperatorButton();

  std::mutex& ReaderLock() { return readerLock_; }
  const wizard::CarrierPanel& Panel() const { return panel_; }
  std::u16string AccessToken() const;
  csp::ProviderKind SelectedProviderKind() const;
  // The selected carrier (an own copy), taken under the reader lock.
  std::shared_ptr<const carriers::tokenInfo> Carrier();
  // Re-reads the reader (after key generation its free memory changed), refills the list
  // with it preferred and returns the carrier selected now.
  std::shared_ptr<const carriers::tokenInfo> RefreshCarrier(const std::u16string& reader);
  void FocusTokenEdit();

  // The state the flows share: the controls read into it, the request last made kept in it.
  wizard::WizardState& FlowState();

  // Takes over the operator certificate together with its rights (agent mode follows them)
  // and the blocking setting; a null certificate clears all of it.
  void SetOperatorCertificate(csp::CertificatePtr certificate, std::shared_ptr<op::verifyClientResult> rights,
                              bool blockCarrier);
  const csp::CertificatePtr& OperatorCertificate() const { return operatorCertificate_; }
  const std::shared_ptr<op::verifyClientResult>& OperatorRights() const { return operatorRights_; }
  bool AgentMode() const { return agentMode_; }
  bool BlockOperatorCarrier() const { return blockOperatorCarrier_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void LayoutControls();
  void ApplyPanel();
  void OnMonitorChange(carriers::SCardChange change);
  void SetHotKeysEnabled(bool enabled);
  // Runs a flow. Meanwhile the window's own controls, hot keys and Escape are off: a flow
  // processes events (progress windows, network waits) and must not be entered twice or have
  // its window closed under it. A flow may start another (auto-enrolment fetches the
  // certificate).
  void Call(const std::function<void(COrvaneDlg&)>& hook);
  void ApplyBusy();

  Services services_;
  std::mutex readerLock_;
  std::unique_ptr<carriers::SCardList> readers_;
  std::unique_ptr<carriers::ReaderMonitor> monitor_;
  wizard::CarrierPanel panel_;
  csp::ProviderComboModel providers_;
  csp::CertificatePtr operatorCertificate_;
  std::optional<csp::keyLocation> operatorKeyLocation_;
  bool blockOperatorCarrier_ = false;
  std::shared_ptr<op::verifyClientResult> operatorRights_;
  bool agentMode_ = false;
  wizard::WizardState flowState_;

  QLineEdit* tokenEdit_ = nullptr;
  QPushButton* createButton_ = nullptr;
  QPushButton* getButton_ = nullptr;
  QPushButton* operatorButton_ = nullptr;
  QPushButton* printButton_ = nullptr;
  QComboBox* providerList_ = nullptr;
  QComboBox* carrierList_ = nullptr;
  QGroupBox* carrierGroup_ = nullptr;
  CStaticLabel* carrierLines_[5] = {};
  CStaticLabel* phoneLabel_ = nullptr;
  CStaticLabel* certificateLabel_ = nullptr;
  QShortcut* settingsKey_ = nullptr;
  QShortcut* diagnosticsKey_ = nullptr;
  bool filling_ = false;
  int busy_ = 0;  // flows running
  bool focusTokenWhenIdle_ = false;
};

}  // namespace orvane::gui
