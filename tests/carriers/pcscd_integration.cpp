// Integration through the real PC/SC stack: pcscd with the vpcd driver (brought up with
// scripts/pcscd-vpcd when it is not running) and orvane-virtual-token cards inserted and
// removed while the reader monitor runs. Skipped only when pcscd or vpcd is not installed.
// The tests of this program take a file lock, so parallel runs from several build folders
// do not share the virtual readers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <thread>

#include "carriers/identify.h"
#include "carriers/monitor.h"
#include "carriers/scard_list.h"
#include "pcscd_support.h"
#include "platform/pcsc_api.h"
#include "text/text.h"

namespace orvane::carriers {
namespace {

using test::Installed;
using test::RunScript;
using test::VirtualToken;

using namespace std::chrono_literals;
namespace pcsc = platform::pcsc;

const std::u16string kReader0 = u"Virtual PCD 00 00";  // vpcd port 35963
const std::u16string kReader1 = u"Virtual PCD 00 01";  // vpcd port 35964

class PcscdStack : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    signal(SIGPIPE, SIG_IGN);  // a token process that died must not take the tests with it
    if (!Installed()) return;
    lockFd_ = open("/tmp/orvane-pcscd-vpcd.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd_ >= 0) flock(lockFd_, LOCK_EX);
    startResult_ = RunScript("start");
  }
  static void TearDownTestSuite() {
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
  }

  void SetUp() override {
    if (!Installed()) GTEST_SKIP() << "pcscd or the vpcd driver is not installed (packages pcscd, vsmartcard-vpcd)";
    ASSERT_EQ(startResult_, 0) << "scripts/pcscd-vpcd start failed";
    api = platform::CreatePcscLiteApi();
    ASSERT_TRUE(WaitFor([&] { return HasReader(kReader0) && HasReader(kReader1); }))
        << "the vpcd readers did not appear";
    ASSERT_TRUE(WaitFor([&] { return !Present(kReader0) && !Present(kReader1); }))
        << "a card of another user sits in a vpcd reader";
    services.pcsc = api.get();
    services.pkcs11 = &noModules;
    list = std::make_unique<SCardList>(services);
  }

  template <typename Pred>
  static bool WaitFor(Pred pred, std::chrono::milliseconds limit = 15s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (pred()) return true;
      std::this_thread::sleep_for(50ms);
    }
    return pred();
  }
  bool HasReader(const std::u16string& name) {
    platform::ScopedPcscContext c(*api, pcsc::kScopeUser);
    std::vector<std::u16string> readers;
    if (!c || api->ListReaders(c.get(), &readers) != pcsc::kSuccess) return false;
    return std::find(readers.begin(), readers.end(), name) != readers.end();
  }
  bool Present(const std::u16string& name) {
    platform::ScopedPcscContext c(*api, pcsc::kScopeUser);
    platform::PcscReaderState s;
    s.reader = name;
    if (!c || api->GetStatusChange(c.get(), 0, std::span(&s, 1)) != pcsc::kSuccess) return false;
    return (s.eventState & pcsc::kStatePresent) != 0;
  }
  void Rebuild() {
    platform::ScopedPcscContext c(*api, pcsc::kScopeUser);
    ASSERT_TRUE(c);
    std::lock_guard l(lock);
    list->Rebuild(c.get());
  }
  std::optional<tokenInfo> Token(const std::u16string& reader) {
    std::lock_guard l(lock);
    const auto item = list->Find(reader);
    if (!item || !item->token) return std::nullopt;
    return item->token;
  }

  static inline int lockFd_ = -1;
  static inline int startResult_ = -1;
  std::unique_ptr<platform::PcscApi> api;
  platform::Pkcs11ModuleLoader noModules{"/nonexistent-orvane-module-dir"};
  CarrierServices services;
  std::mutex lock;
  std::unique_ptr<SCardList> list;
};

// Changes reach the test thread through a queue, as they reach the UI thread.
struct ChangeQueue {
  ReaderMonitor::Hooks Hooks(std::mutex& lock, SCardList& list) {
    ReaderMonitor::Hooks h;
    h.lock = &lock;
    h.list = [&list] { return &list; };
    h.changed = [this](SCardChange c) {
      std::lock_guard l(m);
      q.push_back(std::move(c));
      cv.notify_all();
    };
    return h;
  }
  std::optional<SCardChange> Next(std::chrono::milliseconds limit = 15s) {
    std::unique_lock l(m);
    if (!cv.wait_for(l, limit, [&] { return !q.empty(); })) return std::nullopt;
    auto c = std::move(q.front());
    q.pop_front();
    return c;
  }
  std::mutex m;
  std::condition_variable cv;
  std::deque<SCardChange> q;
};

TEST_F(PcscdStack, RebuildListsTheVirtualReaders) {
  Rebuild();
  std::lock_guard l(lock);
  ASSERT_TRUE(list->items());
  EXPECT_TRUE(list->Find(kReader0));
  EXPECT_TRUE(list->Find(kReader1));
  EXPECT_FALSE(list->Find(kReader0)->cardPresent);
}

TEST_F(PcscdStack, MonitorReportsInsertionAndRemoval) {
  Rebuild();
  ChangeQueue changes;
  ReaderMonitor monitor(changes.Hooks(lock, *list), 200ms);
  monitor.Start();
  VirtualToken token("rutoken-ecp", 35964, {"--serial", "1234567", "--label", "Integration", "--removed"});
  ASSERT_TRUE(token.started());
  token.Insert();
  auto inserted = changes.Next();
  ASSERT_TRUE(inserted) << "no change reported for the insertion";
  EXPECT_EQ(inserted->reader, kReader1);
  const auto t = Token(kReader1);
  ASSERT_TRUE(t);
  EXPECT_EQ(text::ToUtf8(t->display), "RUTOKEN ECP 0001234567");
  EXPECT_EQ(text::ToUtf8(*t->label), "Integration");
  EXPECT_EQ(t->type, 4);
  EXPECT_EQ(t->freeMemory, 20000);

  token.Remove();
  auto removed = changes.Next();
  ASSERT_TRUE(removed) << "no change reported for the removal";
  EXPECT_FALSE(removed->reader);
  EXPECT_FALSE(Token(kReader1));
  monitor.Stop();
}

TEST_F(PcscdStack, EveryFamilyIsIdentifiedThroughPcscd) {
  const std::pair<const char*, const char*> families[] = {
      {"etoken-java", "ETOKEN PRO 72K 00BC614E"},    {"etoken-java-b", "ETOKEN PRO 72K 00BC614E"},
      {"rutoken-s", "RUTOKEN S 0012345678"},         {"rutoken-ecp", "RUTOKEN ECP 0012345678"},
      {"rutoken-ecp2m", "RUTOKEN ECP 0012345678"},   {"rutoken-lite", "RUTOKEN LITE 0012345678"},
      {"jacarta-lt", "JACARTA LT 4A43000000BC614E"},
  };
  Rebuild();
  for (const auto& [family, display] : families) {
    VirtualToken token(family, 35963, {"--serial", "12345678"});
    ASSERT_TRUE(WaitFor([&] { return Present(kReader0); })) << family;
    {
      std::lock_guard l(lock);
      list->RefreshReader(kReader0);
    }
    const auto t = Token(kReader0);
    ASSERT_TRUE(t) << family;
    EXPECT_EQ(text::ToUtf8(t->display), display) << family;
    token.Remove();
    ASSERT_TRUE(WaitFor([&] { return !Present(kReader0); })) << family;
  }
}

TEST_F(PcscdStack, UnknownAndUnreadableCardsAreNotListed) {
  Rebuild();
  for (const char* family : {"unknown", "jacarta-pro", "esmart-64k"}) {
    ASSERT_TRUE(WaitFor([&] { return !Present(kReader0); })) << "the previous card is still there";
    VirtualToken token(family, 35963);
    ASSERT_TRUE(WaitFor([&] { return Present(kReader0); })) << family;
    std::lock_guard l(lock);
    list->RefreshReader(kReader0);
    const auto item = list->Find(kReader0);
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->cardPresent) << family;
    EXPECT_FALSE(item->token) << family;
    const auto offers = list->TakeDriverOffers();
    EXPECT_EQ(offers.size(), std::string(family) == "jacarta-pro" ? 1u : 0u) << family;
  }
}

TEST_F(PcscdStack, ContextSurvivesPcscdRestart) {
  platform::PcscContextHandle context = 0;
  ASSERT_EQ(api->EstablishContext(pcsc::kScopeUser, &context), pcsc::kSuccess);
  std::vector<std::u16string> readers;
  ASSERT_EQ(api->ListReaders(context, &readers), pcsc::kSuccess);
  VirtualToken token("rutoken-ecp", 35963, {"--serial", "7"});
  ASSERT_TRUE(WaitFor([&] { return Present(kReader0); }));

  ASSERT_EQ(RunScript("restart"), 0);
  ASSERT_TRUE(WaitFor([&] { return HasReader(kReader0); }));
  EXPECT_EQ(api->ListReaders(context, &readers), pcsc::kSuccess) << "the old context is re-established";
  EXPECT_NE(std::find(readers.begin(), readers.end(), kReader0), readers.end());
  // The virtual card reconnects to the new driver and is seen with the old context.
  ASSERT_TRUE(WaitFor([&] {
    platform::PcscReaderState s;
    s.reader = kReader0;
    return api->GetStatusChange(context, 0, std::span(&s, 1)) == pcsc::kSuccess &&
           (s.eventState & pcsc::kStatePresent) != 0;
  }));
  Rebuild();
  const auto t = Token(kReader0);
  ASSERT_TRUE(t);
  EXPECT_EQ(text::ToUtf8(t->display), "RUTOKEN ECP 0000000007");
  EXPECT_EQ(api->ReleaseContext(context), pcsc::kSuccess);
}

TEST_F(PcscdStack, ToolListsTheCarrier) {
  VirtualToken token("rutoken-ecp", 35963, {"--serial", "1234567", "--label", "Tool"});
  ASSERT_TRUE(WaitFor([&] { return Present(kReader0); }));
  FILE* out = popen(ORVANE_BINARY_DIR "/src/orvane-tool carriers", "r");
  ASSERT_NE(out, nullptr);
  std::string text;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, out) != nullptr) text += buffer;
  EXPECT_EQ(pclose(out), 0);
  EXPECT_NE(text.find("reader: Virtual PCD 00 00\npresent: yes\natr: 3B 8B 01 52 75 74 6F 6B 65 6E 20 44 53 20 C1\n"
                      "display: RUTOKEN ECP 0001234567\nmodel: Rutoken ECP\nlabel: Tool\nserial: 0001234567\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("type: 4\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace orvane::carriers
