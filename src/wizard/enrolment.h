// The enrolment flows without a toolkit: the create-request flow (application data, key pair
// in a new container on the selected carrier, PKCS#10 request, SMS confirmation, sending),
// the wait for auto-enrolment and the get-certificate flow (certificate fetched, confirmed,
// written into the key container, handed to the caller, token invalidated). They talk to the
// user through WizardUi and an SmsCodeSource, so the desktop wizard and orvane-tool run the
// same steps with different front ends.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "carriers/token_info.h"
#include "csp/catalogue.h"
#include "csp/provider.h"
#include "net/request_system.h"
#include "platform/wizard_ui.h"
#include "render/form_render.h"
#include "request/request_data.h"

namespace orvane::wizard {

// Where the SMS code sent for an application comes from (the SMS-code dialog, a terminal
// prompt, a test's outbox). None: the user gave up.
class SmsCodeSource {
 public:
  virtual ~SmsCodeSource() = default;
  virtual std::optional<std::u16string> SmsCode(WindowHandle owner, const std::u16string& requestId) = 0;
};

// The services the flows use; every one outlives the flow.
struct FlowServices {
  WizardUi& ui;
  net::RequestSystem& requestSystem;
  const csp::ProviderRegistry& registry;
  const csp::providerCatalogue& catalogue;
  const render::FormRenderer& forms;
  SmsCodeSource& smsCodes;
};

// The wording of a key-and-request failure: the biological-RNG hint for NTE_FAIL, the wrong
// PIN text, otherwise "Не удалось создать запрос на сертификат, ошибка 0x%08x".
std::u16string CreateRequestErrorText(std::uint32_t error);

// The key container of an application's request.
struct RequestContainer {
  csp::ProviderKind family = csp::kKindCryptoPro;
  std::uint32_t providerType = 0;
  std::u16string providerName;
  std::u16string name;  // the container name sent with the request
  std::u16string path;  // as the provider opens it
};

struct CreateRequestResult {
  bool sent = false;
  bool autoEnroll = false;  // the request system announced auto-enrolment
  std::shared_ptr<request::remoteRequestData> application;
  RequestContainer container;
};

class CreateRequestFlow {
 public:
  explicit CreateRequestFlow(FlowServices services) : s_(services) {}

  // Runs the flow for the access token with the selected carrier (its reader holds the new
  // container; its model and serial go with the request). familyOverride chooses the
  // provider family instead of the application's. Every failure shows one message.
  CreateRequestResult Run(WindowHandle owner, const std::u16string& token, const carriers::tokenInfo& carrier,
                          std::optional<csp::ProviderKind> familyOverride = std::nullopt);

 private:
  FlowServices s_;
};

// Polls "/a/check-autoenroll" every `period` for at most `limit`: the last status (200 issued,
// 403 refused, anything else not yet). sleep is replaceable for tests.
int WaitForAutoEnrollment(const net::RequestSystem& requestSystem, const std::u16string& token,
                          std::chrono::seconds period = std::chrono::seconds(5),
                          std::chrono::seconds limit = std::chrono::seconds(90),
                          const std::function<void(std::chrono::seconds)>& sleep = nullptr);

struct GetCertificateResult {
  bool done = false;  // in the container, kept by the caller, token invalidated
  Bytes certificate;  // DER, once fetched
};

class GetCertificateFlow {
 public:
  // Receives the confirmed certificate after it has been written into the container and
  // before the token is invalidated (store installation, a file); false stops the flow with
  // the token intact (its own message shown).
  using KeepCertificate = std::function<bool(WindowHandle owner, const Bytes& der)>;

  explicit GetCertificateFlow(FlowServices services) : s_(services) {}

  GetCertificateResult Run(WindowHandle owner, const std::u16string& token, const std::u16string& requestId,
                           const RequestContainer& container, const KeepCertificate& keep);

 private:
  FlowServices s_;
};

}  // namespace orvane::wizard
