// orvane-tool carriers [--watch]: the PC/SC readers with their cards and identified
// carriers, one block of "key: value" lines per reader. With --watch the reader monitor runs
// and every change it reports is printed with its preferred reader, followed by the list.
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>

#include "carriers/identify.h"
#include "carriers/monitor.h"
#include "carriers/pkcs11_probe.h"
#include "carriers/scard_list.h"
#include "config/deployment_config.h"
#include "platform/pcsc_api.h"
#include "text/text.h"
#include "tool/commands.h"

namespace orvane::tool {
namespace {

using carriers::SCardList;

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
  g_interrupted.store(true);
}

std::string Utf8(const std::optional<std::u16string>& s) {
  return s ? text::ToUtf8(*s) : std::string();
}

void PrintList(const SCardList& list) {
  if (!list.items() || list.items()->empty()) {
    std::puts("# readers: none");
    return;
  }
  for (const auto& item : *list.items()) {
    std::printf("reader: %s\n", text::ToUtf8(item->reader).c_str());
    std::printf("present: %s\n", item->cardPresent ? "yes" : "no");
    std::printf("atr: %s\n", text::HexUpper(item->atr.data(), item->atrLength, " ").c_str());
    if (item->token) {
      const auto& t = *item->token;
      std::printf("display: %s\n", text::ToUtf8(t.display).c_str());
      std::printf("model: %s\n", Utf8(t.model).c_str());
      std::printf("label: %s\n", Utf8(t.label).c_str());
      std::printf("serial: %s\n", Utf8(t.serial).c_str());
      std::printf("free: %d\n", t.freeMemory);
      std::printf("total: %d\n", t.totalMemory);
      std::printf("type: %d\n", t.type);
    }
    std::puts("");
  }
}

void PrintDriverOffers(const std::vector<std::int32_t>& offers, const carriers::DriverDownloads& downloads) {
  for (const std::int32_t type : offers) {
    const auto question = carriers::DriverPromptText(type);
    const auto url = carriers::DriverDownloadUrl(type, downloads);
    if (!question || !url) continue;
    std::printf("driver: %s\n", text::ToUtf8(*question).c_str());
    std::printf("download: %s\n\n", url->c_str());
  }
}

}  // namespace

int RunCarriers(const std::vector<std::string>& args, ToolEnv& env) {
  bool watch = false;
  for (const auto& a : args) {
    if (a == "--watch") {
      watch = true;
    } else {
      std::fputs("Использование: orvane-tool carriers [--watch]\n", stderr);
      return 2;
    }
  }
  const auto program = env.Services();
  platform::PcscApi* const pcsc = program->pcsc.get();
  carriers::CarrierServices services;
  services.pcsc = pcsc;
  services.pkcs11 = &program->pkcs11;
  services.downloads = program->driverDownloads;
  SCardList list(services);

  std::mutex readerLock;
  {
    platform::ScopedPcscContext context(*pcsc, platform::pcsc::kScopeUser);
    if (!context) {
      std::fprintf(stderr, "orvane-tool: служба смарт-карт недоступна (%s)\n",
                   platform::PcscResultName(context.result()).c_str());
      if (!watch) return 1;
    } else {
      std::lock_guard lock(readerLock);
      list.Rebuild(context.get());
    }
  }
  {
    std::lock_guard lock(readerLock);
    PrintList(list);
    PrintDriverOffers(list.TakeDriverOffers(), services.downloads);
  }
  std::fflush(stdout);
  if (!watch) return 0;

  // Changes reach this thread through a queue, as they reach the wizard's UI thread.
  std::mutex queueMutex;
  std::condition_variable queued;
  std::deque<carriers::SCardChange> changes;
  carriers::ReaderMonitor::Hooks hooks;
  hooks.lock = &readerLock;
  hooks.list = [&list] { return &list; };
  hooks.changed = [&](carriers::SCardChange change) {
    {
      std::lock_guard lock(queueMutex);
      changes.push_back(std::move(change));
    }
    queued.notify_one();
  };
  carriers::ReaderMonitor monitor(hooks);
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  monitor.Start();
  while (!g_interrupted.load()) {
    std::optional<carriers::SCardChange> change;
    {
      std::unique_lock lock(queueMutex);
      queued.wait_for(lock, std::chrono::milliseconds(200), [&] { return !changes.empty(); });
      if (changes.empty()) continue;
      change = std::move(changes.front());
      changes.pop_front();
    }
    std::printf("change: %s\n", change->reader ? text::ToUtf8(*change->reader).c_str() : "-");
    std::puts("");
    {
      std::lock_guard lock(readerLock);
      PrintList(list);
    }
    PrintDriverOffers(change->driverOffers, services.downloads);
    std::fflush(stdout);
  }
  monitor.Stop();
  return 0;
}

}  // namespace orvane::tool
