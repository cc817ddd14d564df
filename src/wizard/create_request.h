// The create-request flow behind "Создать запрос": the application fetched with the access
// token, the refusals (EGAIS, another provider family, a carrier of another type unless the
// user goes on), the request-data dialog, a new container on the selected carrier with a key
// pair and the PKCS#10 request, the request form, its preview with sign-and-send and, when
// the request system issues at once, the wait for auto-enrolment and the get-certificate
// flow. Runs on the UI thread against the UI seams; the desktop and orvane-tool share it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "carriers/token_info.h"
#include "csp/catalogue.h"
#include "csp/provider.h"
#include "io/variable_buffer.h"
#include "net/request_system.h"
#include "operator/rights_check.h"
#include "platform/wizard_ui.h"
#include "render/form_render.h"
#include "request/request_data.h"
#include "types/certificate.h"
#include "wizard/flow_ui.h"

namespace orvane::wizard {

// The services the flows use; every one outlives the flow.
struct FlowServices {
  WizardUi& ui;
  FlowUi& dialogs;
  net::RequestSystem& requestSystem;
  const csp::ProviderRegistry& registry;
  const csp::providerCatalogue& catalogue;
  const render::FormRenderer& forms;
  SmsCodeSource& smsCodes;
};

// The main window's state that the flow reads (inputs) and writes (the request it made).
struct WizardState {
  std::u16string accessToken;
  csp::ProviderKind family = csp::kKindCryptoPro;      // the selected provider family
  std::shared_ptr<const carriers::tokenInfo> carrier;  // the selected carrier, if any
  CertificatePtr operatorCertificate;
  std::shared_ptr<op::verifyClientResult> operatorRights;
  bool agentMode = false;

  std::shared_ptr<request::remoteRequestData> requestData;  // the application last fetched
  std::shared_ptr<io::ASVariableBuffer> requestBlob;        // the DER request, none after a failure
  std::u16string containerName;
};

// What the flow asks of the main window.
struct WizardHooks {
  std::function<void()> focusToken;  // after "Введите маркер доступа"
  // Refreshes the reader after key generation (its free memory changed), refills the list
  // with it preferred and returns the carrier selected now.
  std::function<std::shared_ptr<const carriers::tokenInfo>(const std::u16string& reader)> refreshCarrier;
  // The get-certificate flow, run when auto-enrolment issued the certificate.
  std::function<void(WindowHandle owner)> getCertificate;
};

// The wording of a key-and-request failure: the biological-RNG hint for NTE_FAIL, the wrong
// PIN text, otherwise "Не удалось создать запрос на сертификат, ошибка 0x%08x".
std::u16string CreateRequestErrorText(std::uint32_t error);

// The auto-enrolment wait: progress steps, checks on at most one worker, the limit. The
// clock is replaceable so tests need not wait 90 seconds.
struct AutoEnrollTiming {
  std::function<std::chrono::steady_clock::time_point()> now = [] { return std::chrono::steady_clock::now(); };
  std::chrono::milliseconds step{100};
  std::chrono::milliseconds checkEvery{5000};
  std::chrono::milliseconds limit{90000};
};

// Shows the progress window and checks "/a/check-autoenroll" every checkEvery for at most
// limit: the status that ended the wait (200 issued, 403 refused, ...), or -1 when the time
// ran out. The UI keeps running meanwhile; a check still running at the end is abandoned and
// its result ignored.
int WaitForAutoEnrollment(FlowUi& dialogs, WindowHandle owner, const net::RequestSystem& requestSystem,
                          const std::u16string& token, const AutoEnrollTiming& timing = {});

class CreateRequestFlow {
 public:
  CreateRequestFlow(FlowServices services, AutoEnrollTiming timing = {}) : s_(services), timing_(std::move(timing)) {}

  // OnCreateRequest: true when the request was sent.
  bool Run(WindowHandle owner, WizardState& state, const WizardHooks& hooks);

  // The auto-enrolment announcement of the last sent request.
  bool AutoEnroll() const { return autoEnroll_; }

 private:
  bool GenerateKeyAndRequest(WindowHandle owner, WizardState& state, const WizardHooks& hooks);

  FlowServices s_;
  AutoEnrollTiming timing_;
  bool autoEnroll_ = false;
};

}  // namespace orvane::wizard
