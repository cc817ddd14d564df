// Test peers for the transport: a throw-away CA with a loopback server certificate, and a
// raw TLS/TCP server on 127.0.0.1 that records each request byte for byte and answers
// through a handler with whatever bytes (and pauses) the test wants.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <openssl/ssl.h>

namespace orvane::test {

// A folder under the temporary directory, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

struct TestCertificates {
  std::string caFile;    // PEM of the CA: trust it through the extra-CA setting
  std::string certFile;  // PEM of the server certificate (CN and SAN 127.0.0.1, localhost)
  std::string keyFile;   // PEM of the server key
};

// Writes a new CA and a server certificate signed by it into dir. prefix names the files.
TestCertificates MakeTestCertificates(const std::string& dir, const std::string& prefix = "test",
                                      bool subjectAltName = true);

struct RawRequest {
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  std::string head;                                          // request line and headers, raw
  std::string body;
  std::string Header(const std::string& name) const;  // first value, name ignoring case
};

class RawServer;

// One accepted connection as seen by a handler.
class Connection {
 public:
  virtual ~Connection() = default;
  virtual bool Send(std::string_view bytes) = 0;
  // Sleeps up to d, returning early when the server stops.
  virtual void Pause(std::chrono::milliseconds d) = 0;
};

// "HTTP/1.1 <status> X\r\n" + headers + Content-Length + body.
std::string HttpResponse(int status, const std::string& body,
                         const std::vector<std::pair<std::string, std::string>>& headers = {});

class RawServer {
 public:
  using Handler = std::function<void(const RawRequest&, Connection&)>;

  // TLS when certFile/keyFile are given, plain TCP otherwise.
  RawServer(Handler handler, const std::string& certFile = "", const std::string& keyFile = "");
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  std::uint16_t Port() const { return port_; }
  std::vector<RawRequest> Requests() const;
  void Stop();

 private:
  void Run();

  Handler handler_;
  int listenFd_ = -1;
  std::uint16_t port_ = 0;
  struct CtxDeleter {
    void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
  };
  std::unique_ptr<SSL_CTX, CtxDeleter> sslCtx_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<RawRequest> requests_;
  friend class ConnectionImpl;
};

}  // namespace orvane::test
