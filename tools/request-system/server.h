// The reference request system: the request-system operations under "/a/", the six
// "/login/" exchanges of the authentication host and a GOST test CA, over HTTPS on a
// loopback address. It implements the protocol from the server's side and checks what it
// receives (SMS codes, PKCS#10 and PKCS#7 signatures, raw hash signatures, tokens).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/version.h"

namespace orvane::refsys {

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::string stateDir;
  std::string seedFile;
  std::string version = config::kProgramVersion;  // answered by "/a/get_version"
  std::string clientSecret;                       // expected by "/login/request"; empty: the built-in default
  // Expected in the form field "secret" of every "/admin/" request; empty: a random one, written
  // to <state>/admin-secret (mode 0600).
  std::string adminSecret;
};

class Server {
 public:
  Server();
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Loads the seed and the CA, writes the TLS material and binds. False with error set.
  bool Start(const ServerOptions& options, std::string& error);
  // Serves until Stop (blocking).
  void Run();
  void Stop();
  int Port() const;

  // Files written under the state folder.
  std::string TlsCaFile() const;   // trust this to talk to the server
  std::string OutboxFile() const;  // one line per SMS code: "<request_id> <code>"
  std::string AdminSecret() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::refsys
