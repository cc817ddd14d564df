// orvane-virtual-token: one virtual key carrier in a reader of pcscd's vpcd driver.
//
//   orvane-virtual-token --family NAME [--label TEXT] [--serial N] [--free N] [--port P]
//                        [--host A] [--total N] [--no-label-file] [--serial-bytes 4|8]
//                        [--jacarta-info full|short|error] [--removed]
//
// The card is inserted at start (unless --removed) and removed at exit (SIGINT, SIGTERM).
// Lines on standard input control it: "insert", "remove", "quit". End of input is ignored,
// so the tool also runs with its input closed.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "card_model.h"
#include "vpcd_link.h"

namespace {

void Usage() {
  std::fputs(
      "Использование: orvane-virtual-token --family СЕМЕЙСТВО [--label ТЕКСТ] [--serial N] [--free N]\n"
      "       [--port ПОРТ] [--host АДРЕС] [--total N] [--no-label-file] [--serial-bytes 4|8]\n"
      "       [--jacarta-info full|short|error] [--removed]\n"
      "Семейства:",
      stderr);
  for (const auto& f : orvane::vtoken::FamilyNames()) std::fprintf(stderr, " %s", f.c_str());
  std::fputs("\nКоманды на стандартном входе: insert, remove, quit\n", stderr);
}

bool ParseNumber(const char* text, unsigned long max, unsigned long* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(text, &end, 0);
  if (errno != 0 || *end != '\0' || v > max || text[0] == '-') return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string family;
  std::string host = "127.0.0.1";
  unsigned long port = 35963;
  bool startRemoved = false;
  orvane::vtoken::CardOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    unsigned long n = 0;
    auto needNumber = [&](unsigned long max) {
      if (!ParseNumber(value, max, &n)) {
        std::fprintf(stderr, "orvane-virtual-token: недопустимое значение %s\n", a.c_str());
        std::exit(2);
      }
      ++i;
    };
    if (a == "--family" && value != nullptr) {
      family = value;
      ++i;
    } else if (a == "--label" && value != nullptr) {
      options.label = value;
      ++i;
    } else if (a == "--host" && value != nullptr) {
      host = value;
      ++i;
    } else if (a == "--jacarta-info" && value != nullptr) {
      options.jacartaInfo = value;
      ++i;
    } else if (a == "--serial") {
      needNumber(0xFFFFFFFFul);
      options.serial = static_cast<std::uint32_t>(n);
    } else if (a == "--free") {
      needNumber(0xFFFFFFFFul);
      options.freeMemory = static_cast<std::uint32_t>(n);
    } else if (a == "--total") {
      needNumber(0xFFFFFFFFul);
      options.totalMemory = static_cast<std::uint32_t>(n);
    } else if (a == "--port") {
      needNumber(65535);
      port = n;
    } else if (a == "--serial-bytes") {
      needNumber(8);
      options.serialAnswerBytes = static_cast<int>(n);
    } else if (a == "--no-label-file") {
      options.labelFile = false;
    } else if (a == "--removed") {
      startRemoved = true;
    } else if (a == "--help") {
      Usage();
      return 0;
    } else {
      Usage();
      return 2;
    }
  }
  auto card = orvane::vtoken::MakeCard(family, options);
  if (!card) {
    std::fprintf(stderr, "orvane-virtual-token: неизвестное семейство \"%s\"\n", family.c_str());
    Usage();
    return 2;
  }

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before the link's thread starts
  orvane::vtoken::Socket signalFd(signalfd(-1, &signals, SFD_CLOEXEC));

  orvane::vtoken::VpcdLink link(*card, host, static_cast<std::uint16_t>(port));
  if (!startRemoved) link.Insert();
  std::printf("%s %s:%lu\n", startRemoved ? "removed" : "inserted", host.c_str(), port);
  std::fflush(stdout);

  bool inputOpen = true;
  std::string line;
  while (true) {
    pollfd fds[2] = {{signalFd.get(), POLLIN, 0}, {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    if (fds[1].revents == 0) continue;
    char buffer[256];
    const ssize_t r = read(STDIN_FILENO, buffer, sizeof buffer);
    if (r <= 0) {
      inputOpen = false;
      continue;
    }
    line.append(buffer, static_cast<std::size_t>(r));
    bool quit = false;
    for (std::size_t nl; (nl = line.find('\n')) != std::string::npos;) {
      const std::string command = line.substr(0, nl);
      line.erase(0, nl + 1);
      if (command == "insert") {
        link.Insert();
        std::puts("inserted");
      } else if (command == "remove") {
        link.Remove();
        std::puts("removed");
      } else if (command == "quit") {
        quit = true;
      } else if (!command.empty()) {
        std::printf("unknown command: %s\n", command.c_str());
      }
      std::fflush(stdout);
    }
    if (quit) break;
  }
  link.Remove();
  return 0;
}
