// Carrier presence on the PC/SC stack: a reader counts as present while a card is in it.
// The software provider asks it whenever it opens or uses a container.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "csp/provider.h"
#include "platform/pcsc_api.h"

namespace orvane::app {

class PcscCarrierPresence : public csp::CarrierPresence {
 public:
  explicit PcscCarrierPresence(std::shared_ptr<platform::PcscApi> api) : api_(std::move(api)) {}
  std::vector<std::u16string> PresentReaders() override;

 private:
  std::shared_ptr<platform::PcscApi> api_;
};

}  // namespace orvane::app
