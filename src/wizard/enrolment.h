// The get-certificate steps orvane-tool runs after auto-enrolment (certificate fetched,
// confirmed with the SMS code, written into the key container, handed to the caller, token
// invalidated). The desktop's get-certificate flow replaces it with the form preview.
#pragma once

#include <functional>
#include <string>

#include "wizard/create_request.h"

namespace orvane::wizard {

// The key container of a request.
struct RequestContainer {
  std::uint32_t providerType = 0;
  std::u16string providerName;
  std::u16string path;  // as the provider opens it
};

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
