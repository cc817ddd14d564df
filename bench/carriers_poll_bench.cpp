// Cost of reader monitoring against the real pcscd while nothing changes: the CPU time of one
// poll cycle, and the share of a core the monitor thread takes over a period (default one
// minute), both measured with getrusage. pcscd must be running with the vpcd readers
// (scripts/pcscd-vpcd start); a virtual Rutoken ECP is inserted into every vpcd reader.
//
//   carriers_poll_bench [--cycles N] [--seconds S]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "carriers/monitor.h"
#include "carriers/scard_list.h"
#include "platform/pcsc_api.h"
#include "text/text.h"

extern char** environ;

namespace {

using namespace orvane;
namespace pcsc = platform::pcsc;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds pcscd has used so far, or a negative number when it cannot be read.
double PcscdCpuSeconds() {
  std::ifstream pidFile("/run/pcscd/pcscd.pid");
  int pid = 0;
  if (!(pidFile >> pid) || pid <= 0) return -1;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return -1;
  const auto close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::vector<std::string> fields;
  std::string field;
  for (std::size_t i = close + 2; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += line[i];
    }
  }
  if (fields.size() < 13) return -1;
  const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  return (std::stod(fields[11]) + std::stod(fields[12])) / ticks;  // utime, stime
}

std::string VirtualTokenPath() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (self.parent_path().parent_path() / "tools/virtual-token/orvane-virtual-token").string();
}

pid_t StartToken(const std::string& path, int port, int serial) {
  std::vector<std::string> args = {
      path, "--family", "rutoken-ecp", "--port", std::to_string(port), "--serial", std::to_string(serial)};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  int cycles = 1000;
  int seconds = 60;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--cycles") == 0) cycles = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::max(1, std::atoi(argv[i + 1]));
  }
  auto api = platform::CreatePcscLiteApi();
  {
    platform::ScopedPcscContext probe(*api, pcsc::kScopeUser);
    if (!probe) {
      std::fprintf(stderr, "pcscd is not running: start it with scripts/pcscd-vpcd start\n");
      return 1;
    }
  }

  // The vpcd readers are shared with the integration tests: take their lock.
  const int lockFd = open("/tmp/orvane-pcscd-vpcd.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lockFd >= 0) flock(lockFd, LOCK_EX);

  // A card in every vpcd reader.
  const std::string tokenPath = VirtualTokenPath();
  std::vector<pid_t> tokens;
  for (int port = 35963; port <= 35966; ++port) {
    const pid_t pid = StartToken(tokenPath, port, port);
    if (pid > 0) tokens.push_back(pid);
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));

  const platform::Pkcs11ModuleLoader loader;
  carriers::CarrierServices services;
  services.pcsc = api.get();
  services.pkcs11 = &loader;
  carriers::SCardList list(services);
  {
    platform::ScopedPcscContext context(*api, pcsc::kScopeUser);
    list.Rebuild(context.get());
  }
  std::size_t readers = list.items() ? list.items()->size() : 0;
  std::size_t cards = 0;
  if (list.items()) {
    for (const auto& item : *list.items()) cards += item->cardPresent ? 1 : 0;
  }
  std::printf("readers: %zu, cards: %zu\n", readers, cards);

  // 1. CPU per poll cycle.
  int changes = 0;
  const double pcscdBefore = PcscdCpuSeconds();
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  for (int i = 0; i < cycles; ++i) changes += list.Poll() ? 1 : 0;
  const double cpu = CpuSeconds() - cpuBefore;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  const double pcscdCpu = PcscdCpuSeconds() - pcscdBefore;
  std::printf("poll cycle: %.3f ms CPU (this process), %.3f ms wall, over %d cycles, %d changes\n", cpu * 1000 / cycles,
              wall * 1000 / cycles, cycles, changes);
  if (pcscdBefore >= 0) std::printf("poll cycle: %.3f ms CPU in pcscd\n", pcscdCpu * 1000 / cycles);

  // 2. The monitor thread at its real period.
  std::mutex lock;
  carriers::ReaderMonitor::Hooks hooks;
  hooks.lock = &lock;
  hooks.list = [&list] { return &list; };
  carriers::ReaderMonitor monitor(hooks);
  const double monitorCpuBefore = CpuSeconds();
  const double monitorPcscdBefore = PcscdCpuSeconds();
  const auto monitorWallBefore = std::chrono::steady_clock::now();
  monitor.Start();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  monitor.Stop();
  const double monitorCpu = CpuSeconds() - monitorCpuBefore;
  const double monitorWall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - monitorWallBefore).count();
  std::printf("monitor: %.4f %% of a core over %.0f s (%llu cycles, %llu changes)\n", 100 * monitorCpu / monitorWall,
              monitorWall, static_cast<unsigned long long>(monitor.cycles()),
              static_cast<unsigned long long>(monitor.changes()));
  if (monitorPcscdBefore >= 0) {
    std::printf("monitor: pcscd used %.4f %% of a core meanwhile\n",
                100 * (PcscdCpuSeconds() - monitorPcscdBefore) / monitorWall);
  }

  for (const pid_t pid : tokens) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  if (lockFd >= 0) close(lockFd);
  return 0;
}
