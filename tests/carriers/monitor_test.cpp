// The reader monitor: try-lock, skipped cycles, hand-over of changes without the lock, the
// stop flag, and concurrent use of the list from a second thread (run under ThreadSanitizer).
#include "carriers/monitor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>

#include "fake_pcsc.h"
#include "text/text.h"

namespace orvane::carriers {
namespace {

using test::FakePcsc;
namespace pcsc = platform::pcsc;
using namespace std::chrono_literals;

const std::u16string kR0 = u"Reader 0";
const std::u16string kR1 = u"Reader 1";

// The owner's side: the reader lock, the list and a queue of changes (the UI thread's).
struct Owner {
  Owner() {
    fake.AddReader(kR0);
    fake.AddReader(kR1);
    CarrierServices s;
    s.pcsc = &fake;
    s.pkcs11 = &noModules;
    list = std::make_unique<SCardList>(s);
  }
  ReaderMonitor::Hooks Hooks() {
    ReaderMonitor::Hooks h;
    h.lock = &lock;
    h.list = [this] { return list.get(); };
    h.changed = [this](SCardChange c) {
      // The lock must be free when a change is handed over.
      EXPECT_TRUE(lock.try_lock());
      lock.unlock();
      {
        std::lock_guard q(queueMutex);
        queue.push_back(std::move(c));
      }
      queued.notify_all();
    };
    return h;
  }
  void Rebuild() {
    platform::ScopedPcscContext c(fake, pcsc::kScopeUser);
    std::lock_guard l(lock);
    list->Rebuild(c.get());
  }
  // Waits (bounded) for the next change from the monitor thread.
  std::optional<SCardChange> NextChange() {
    std::unique_lock q(queueMutex);
    if (!queued.wait_for(q, 20s, [this] { return !queue.empty(); })) return std::nullopt;
    auto c = std::move(queue.front());
    queue.pop_front();
    return c;
  }

  FakePcsc fake;
  platform::Pkcs11ModuleLoader noModules{"/nonexistent-orvane-module-dir"};
  std::mutex lock;
  std::unique_ptr<SCardList> list;
  std::mutex queueMutex;
  std::condition_variable queued;
  std::deque<SCardChange> queue;
};

TEST(Monitor, CycleWithChangeHandsItOverAfterUnlocking) {
  Owner o;
  o.Rebuild();
  ReaderMonitor m(o.Hooks());
  EXPECT_EQ(m.RunOnce(), ReaderMonitor::Cycle::NoChange);
  o.fake.Insert(kR1, test::Card("rutoken-ecp"));
  EXPECT_EQ(m.RunOnce(), ReaderMonitor::Cycle::Changed);
  ASSERT_EQ(o.queue.size(), 1u);
  EXPECT_EQ(o.queue.front().reader, kR1);
  EXPECT_EQ(m.changes(), 1u);
}

TEST(Monitor, BusyLockSkipsTheCycleWithoutQueueing) {
  Owner o;
  o.Rebuild();
  ReaderMonitor m(o.Hooks());
  o.fake.Insert(kR0, test::Card("rutoken-ecp"));
  {
    std::lock_guard held(o.lock);
    EXPECT_EQ(m.RunOnce(), ReaderMonitor::Cycle::Busy);
    EXPECT_EQ(m.RunOnce(), ReaderMonitor::Cycle::Busy);
  }
  EXPECT_EQ(m.skipped(), 2u);
  EXPECT_TRUE(o.queue.empty());
  EXPECT_EQ(m.RunOnce(), ReaderMonitor::Cycle::Changed) << "the change is seen by the next free cycle";
  EXPECT_EQ(o.queue.size(), 1u);
}

TEST(Monitor, NoListSkipsTheCycle) {
  Owner o;
  ReaderMonitor::Hooks h = o.Hooks();
  h.list = [] { return static_cast<SCardList*>(nullptr); };
  ReaderMonitor m(h);
  EXPECT_EQ(m.RunOnce(), ReaderMonitor::Cycle::NoList);
  ReaderMonitor::Hooks none;
  ReaderMonitor m2(none);
  EXPECT_EQ(m2.RunOnce(), ReaderMonitor::Cycle::NoList);
}

TEST(Monitor, StopEndsTheThreadWithoutWaitingForThePeriod) {
  Owner o;
  o.Rebuild();
  ReaderMonitor m(o.Hooks(), 1000ms);
  m.Start();
  EXPECT_TRUE(m.running());
  m.Stop();
  EXPECT_FALSE(m.running());
  m.Stop();  // twice is harmless
}

TEST(Monitor, ThreadReportsInsertionAndRemoval) {
  Owner o;
  o.Rebuild();
  ReaderMonitor m(o.Hooks(), 5ms);
  m.Start();
  vtoken::CardOptions opt;
  opt.serial = 42;
  o.fake.Insert(kR0, test::Card("rutoken-ecp", opt));
  auto inserted = o.NextChange();
  ASSERT_TRUE(inserted);
  EXPECT_EQ(inserted->reader, kR0);
  {
    std::lock_guard l(o.lock);
    ASSERT_TRUE(o.list->Find(kR0)->token);
    EXPECT_EQ(text::ToUtf8(o.list->Find(kR0)->token->display), "RUTOKEN ECP 0000000042");
  }
  o.fake.Eject(kR0);
  auto removed = o.NextChange();
  ASSERT_TRUE(removed);
  EXPECT_FALSE(removed->reader);
  m.Stop();
}

// Both threads work on the list at once: the monitor polls while the "UI thread" reads the
// items, copies the selected record and refreshes a reader, all under the lock.
TEST(Monitor, ConcurrentUseUnderTheLockIsRaceFree) {
  Owner o;
  o.Rebuild();
  ReaderMonitor m(o.Hooks(), 1ms);
  m.Start();
  std::optional<tokenInfo> selected;
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  for (int i = 0; m.changes() < 8 && std::chrono::steady_clock::now() < deadline; ++i) {
    std::this_thread::sleep_for(1ms);
    if (i % 20 == 0) o.fake.Insert(kR0, test::Card(i % 40 == 0 ? "rutoken-ecp" : "etoken-java"));
    if (i % 20 == 10) o.fake.Eject(kR0);
    if (i % 50 == 25) o.fake.RemoveReader(kR1);
    if (i % 50 == 40) o.fake.AddReader(kR1);
    std::lock_guard l(o.lock);
    if (o.list->items()) {
      for (const auto& item : *o.list->items()) {
        if (item->token) selected = *item->token;  // the window keeps its own copy
      }
    }
    if (i % 30 == 0) o.list->RefreshReader(kR0);
  }
  m.Stop();
  std::lock_guard q(o.queueMutex);
  EXPECT_GE(o.queue.size(), 8u);
}

}  // namespace
}  // namespace orvane::carriers
