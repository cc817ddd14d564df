#include "carriers/monitor.h"

namespace orvane::carriers {

ReaderMonitor::ReaderMonitor(Hooks hooks, std::chrono::milliseconds period)
    : hooks_(std::move(hooks)), period_(period) {}

ReaderMonitor::~ReaderMonitor() {
  Stop();
}

void ReaderMonitor::Start() {
  if (thread_.joinable()) return;
  stop_.store(false);
  thread_ = std::thread([this] { Run(); });
}

void ReaderMonitor::Stop() {
  {
    std::lock_guard lock(sleepMutex_);
    stop_.store(true);
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

ReaderMonitor::Cycle ReaderMonitor::RunOnce() {
  cycles_.fetch_add(1);
  if (hooks_.lock == nullptr) return Cycle::NoList;
  std::optional<SCardChange> change;
  {
    std::unique_lock lock(*hooks_.lock, std::try_to_lock);
    if (!lock.owns_lock()) {
      skipped_.fetch_add(1);
      return Cycle::Busy;
    }
    SCardList* list = hooks_.list ? hooks_.list() : nullptr;
    if (list == nullptr) return Cycle::NoList;
    change = list->Poll();
  }
  if (!change) return Cycle::NoChange;
  changes_.fetch_add(1);
  if (hooks_.changed) hooks_.changed(std::move(*change));
  return Cycle::Changed;
}

void ReaderMonitor::Run() {
  while (!stop_.load()) {
    {
      std::unique_lock lock(sleepMutex_);
      if (wake_.wait_for(lock, period_, [this] { return stop_.load(); })) break;
    }
    RunOnce();
  }
}

}  // namespace orvane::carriers
