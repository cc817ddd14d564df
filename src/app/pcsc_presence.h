// Carrier presence on the PC/SC stack: a reader counts as present while a card is in it.
// The software provider asks it whenever it opens or uses a container, and learns from it
// the carrier selected in the main window (where a container named without a reader goes).
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "csp/provider.h"
#include "platform/pcsc_api.h"

namespace orvane::app {

// The carrier selected in the main window (its reader), written by the window, read by the
// provider from any thread.
class CarrierSelection {
 public:
  void Set(std::optional<std::u16string> reader) {
    std::lock_guard lock(mutex_);
    reader_ = std::move(reader);
  }
  std::optional<std::u16string> Get() const {
    std::lock_guard lock(mutex_);
    return reader_;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<std::u16string> reader_;
};

class PcscCarrierPresence : public csp::CarrierPresence {
 public:
  PcscCarrierPresence(std::shared_ptr<platform::PcscApi> api,
                      std::shared_ptr<const CarrierSelection> selection = nullptr)
      : api_(std::move(api)), selection_(std::move(selection)) {}
  std::vector<std::u16string> PresentReaders() override;
  std::optional<std::u16string> SelectedReader() override { return selection_ ? selection_->Get() : std::nullopt; }

 private:
  std::shared_ptr<platform::PcscApi> api_;
  std::shared_ptr<const CarrierSelection> selection_;
};

}  // namespace orvane::app
