#include "app/pcsc_presence.h"

namespace orvane::app {

std::vector<std::u16string> PcscCarrierPresence::PresentReaders() {
  std::vector<std::u16string> present;
  // A context of its own per question: the provider may ask from any thread, and a context
  // must not be shared between threads.
  platform::ScopedPcscContext context(*api_, platform::pcsc::kScopeUser);
  if (!context) return present;
  std::vector<std::u16string> readers;
  if (api_->ListReaders(context.get(), &readers) != platform::pcsc::kSuccess) return present;
  std::vector<platform::PcscReaderState> states;
  for (const auto& reader : readers) {
    platform::PcscReaderState state;
    state.reader = reader;
    states.push_back(std::move(state));
  }
  if (states.empty() || api_->GetStatusChange(context.get(), 0, states) != platform::pcsc::kSuccess) return present;
  for (const auto& state : states) {
    if ((state.eventState & platform::pcsc::kStatePresent) != 0) present.push_back(state.reader);
  }
  return present;
}

}  // namespace orvane::app
