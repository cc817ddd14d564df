// The reader monitor: a thread that wakes once a period, takes the owner's reader lock
// without waiting (a busy lock skips the cycle), polls the list and hands a reported change
// to the owner. The change is handed over after the lock has been released, and the
// handler must only queue it (for the UI thread): the monitor never waits for the UI thread
// while it holds the lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "carriers/scard_list.h"

namespace orvane::carriers {

class ReaderMonitor {
 public:
  struct Hooks {
    std::mutex* lock = nullptr;  // the owner's reader lock; guards the list and its records
    // The owner's list, read under the lock; null skips the cycle.
    std::function<SCardList*()> list;
    // Takes a change over (queues it to the UI thread); called without the lock.
    std::function<void(SCardChange)> changed;
  };

  enum class Cycle { NoList, Busy, NoChange, Changed };

  explicit ReaderMonitor(Hooks hooks, std::chrono::milliseconds period = std::chrono::milliseconds(1000));
  ~ReaderMonitor();
  ReaderMonitor(const ReaderMonitor&) = delete;
  ReaderMonitor& operator=(const ReaderMonitor&) = delete;

  // Starts the thread (once).
  void Start();
  // Sets the stop flag, wakes the thread from its sleep and waits for it to end. A cycle in
  // progress is finished first (the thread cannot be cut off safely while it holds the lock
  // or is inside the PC/SC library).
  void Stop();
  bool running() const { return thread_.joinable(); }

  // One cycle as the thread runs it (also for tests and tools driving the monitor by hand).
  Cycle RunOnce();

  // Cycles run, skipped for a busy lock, and changes reported so far.
  std::uint64_t cycles() const { return cycles_.load(); }
  std::uint64_t skipped() const { return skipped_.load(); }
  std::uint64_t changes() const { return changes_.load(); }

 private:
  void Run();

  Hooks hooks_;
  std::chrono::milliseconds period_;
  std::thread thread_;
  std::mutex sleepMutex_;
  std::condition_variable wake_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint64_t> cycles_{0};
  std::atomic<std::uint64_t> skipped_{0};
  std::atomic<std::uint64_t> changes_{0};
};

}  // namespace orvane::carriers
