// orvane-request-system --listen HOST:PORT --state DIR --seed FILE [--version V] [--secret S]
//                       [--admin-secret S] [--allow-remote]
// The reference request system for the demo and the integration tests. It listens on
// loopback only unless --allow-remote is given: it is a test peer with a test CA.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "server.h"

namespace {

orvane::refsys::Server* g_server = nullptr;

void OnSignal(int) {
  if (g_server != nullptr) g_server->Stop();
}

int Usage() {
  std::fputs(
      "Использование: orvane-request-system --listen АДРЕС:ПОРТ --state КАТАЛОГ --seed ФАЙЛ "
      "[--version ВЕРСИЯ] [--secret СЕКРЕТ] [--admin-secret СЕКРЕТ] [--allow-remote]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  orvane::refsys::ServerOptions options;
  bool allowRemote = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--allow-remote") {
      allowRemote = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (arg == "--listen") {
      const auto colon = value.rfind(':');
      if (colon == std::string::npos) return Usage();
      options.host = value.substr(0, colon);
      options.port = std::atoi(value.c_str() + colon + 1);
    } else if (arg == "--state") {
      options.stateDir = value;
    } else if (arg == "--seed") {
      options.seedFile = value;
    } else if (arg == "--version") {
      options.version = value;
    } else if (arg == "--secret") {
      options.clientSecret = value;
    } else if (arg == "--admin-secret") {
      options.adminSecret = value;
    } else {
      return Usage();
    }
  }
  if (options.stateDir.empty() || options.seedFile.empty()) return Usage();
  const bool loopback = options.host == "127.0.0.1" || options.host == "localhost" || options.host == "::1" ||
                        options.host.starts_with("127.");
  if (!loopback && !allowRemote) {
    std::fprintf(stderr,
                 "orvane-request-system: адрес %s доступен не только с этой машины; "
                 "для этого задайте --allow-remote\n",
                 options.host.c_str());
    return 2;
  }
  orvane::refsys::Server server;
  std::string error;
  if (!server.Start(options, error)) {
    std::fprintf(stderr, "orvane-request-system: %s\n", error.c_str());
    return 1;
  }
  g_server = &server;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::printf("listening https://%s:%d/ (TLS CA %s, SMS outbox %s)\n", options.host.c_str(), server.Port(),
              server.TlsCaFile().c_str(), server.OutboxFile().c_str());
  if (options.adminSecret.empty()) std::printf("admin secret in %s/admin-secret\n", options.stateDir.c_str());
  std::fflush(stdout);
  server.Run();
  return 0;
}
