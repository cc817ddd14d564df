// The form preview's logic (dialog 132) without a toolkit: its mode (request, certificate,
// print-only), caption and button states, sign-and-send in request mode (SMS code or the
// operator's signature, "/a/set_request"), writing in certificate mode, and whether closing
// needs the abort question. The Qt dialog shows the form and drives this class.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "carriers/token_info.h"
#include "csp/provider.h"
#include "io/variable_buffer.h"
#include "net/request_system.h"
#include "operator/rights_check.h"
#include "platform/wizard_ui.h"
#include "types/certificate.h"
#include "wizard/flow_ui.h"

namespace orvane::wizard {

// What the request preview sends: the carrier the key was made on, the DER request, the
// container's name and the access token.
struct requestFormContext {
  std::shared_ptr<const carriers::tokenInfo> carrier;
  std::shared_ptr<io::ASVariableBuffer> requestBlob;
  std::u16string containerName;
  std::u16string accessToken;
};

enum class PreviewMode { Request, Certificate, PrintOnly };

struct PreviewServices {
  WizardUi& ui;
  net::RequestSystem& requestSystem;
  const csp::ProviderRegistry& registry;
  SmsCodeSource& smsCodes;
};

struct PreviewButtons {
  bool signVisible = true;
  bool signEnabled = true;
  std::u16string signCaption = u"Подписать и отправить";
  bool printEnabled = true;
  bool writeVisible = false;
  bool writeEnabled = false;
};

class DocumentPreview {
 public:
  // Request mode.
  DocumentPreview(PreviewServices services, std::shared_ptr<requestFormContext> request);
  // Certificate mode for the access token, or print-only mode.
  DocumentPreview(PreviewServices services, std::u16string certificateToken, bool printOnly);

  // Set by the caller before the dialog runs.
  bool agentMode = false;
  CertificatePtr operatorCertificate;                      // set: no SMS code, the operator signs
  std::shared_ptr<op::verifyClientResult> operatorRights;  // its token goes with every call
  std::optional<std::string> carrierTypeName;              // sent as "token_type"
  std::u16string requestId;                                // names the application to the SMS source
  bool formSigned = false;                                 // certificate mode: form confirmed
  bool canWrite = false;                                   // certificate mode: may write and print

  PreviewMode Mode() const { return mode_; }
  // "Информация о запросе на сертификат" / "Информация о сертификате".
  std::u16string Caption() const;
  PreviewButtons Buttons() const;
  // Ctrl+P prints, except in agent mode.
  bool PrintHotKey() const { return !agentMode; }

  // Button 1007. True when the dialog is to end with OK (request mode: sent).
  bool SignAndSend(WindowHandle owner);
  // Button 1015. True when the dialog is to end with OK.
  bool Write();
  // The abort question's reason, or none when the dialog closes without asking.
  std::optional<std::u16string> AbortReason() const;

  bool Sent() const { return sent_; }
  bool AutoEnroll() const { return autoEnroll_; }

 private:
  bool SendRequest(WindowHandle owner);
  void ConfirmCertificate(WindowHandle owner);

  PreviewServices s_;
  PreviewMode mode_;
  std::shared_ptr<requestFormContext> request_;
  std::u16string certificateToken_;
  bool sent_ = false;
  bool autoEnroll_ = false;
};

}  // namespace orvane::wizard
