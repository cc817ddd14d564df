// The real PC/SC stack for integration tests: whether pcscd and the vpcd driver are
// installed, scripts/pcscd-vpcd, and orvane-virtual-token processes that insert and remove
// a virtual card. Needs ORVANE_SOURCE_DIR and ORVANE_VIRTUAL_TOKEN defined by the build.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orvane::test {

using namespace std::chrono_literals;

inline bool Installed() {
  namespace fs = std::filesystem;
  std::error_code ec;
  const bool daemon = fs::exists("/usr/sbin/pcscd", ec) || std::system("command -v pcscd >/dev/null 2>&1") == 0;
  return daemon && fs::exists("/usr/lib/pcsc/drivers/serial/libifdvpcd.so", ec);
}

inline int RunScript(const char* command) {
  const std::string line = std::string(ORVANE_SOURCE_DIR "/scripts/pcscd-vpcd ") + command + " >/dev/null";
  return std::system(line.c_str());
}

// One orvane-virtual-token process, controlled through its standard input.
class VirtualToken {
 public:
  VirtualToken(const std::string& family, std::uint16_t port, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {ORVANE_VIRTUAL_TOKEN, "--family", family, "--port", std::to_string(port)};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, ORVANE_VIRTUAL_TOKEN, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    input_ = fds[1];
  }
  ~VirtualToken() {
    Send("quit");
    if (input_ >= 0) close(input_);
    if (pid_ > 0) {
      int status = 0;
      for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(100ms);
      if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
    }
  }
  VirtualToken(const VirtualToken&) = delete;
  VirtualToken& operator=(const VirtualToken&) = delete;

  bool started() const { return pid_ > 0; }
  void Insert() { Send("insert"); }
  void Remove() { Send("remove"); }

 private:
  void Send(const std::string& command) {
    if (input_ < 0) return;
    const std::string line = command + "\n";
    if (write(input_, line.data(), line.size()) < 0) {
      // The process is gone; its destructor reaps it.
    }
  }
  pid_t pid_ = -1;
  int input_ = -1;
};

}  // namespace orvane::test
