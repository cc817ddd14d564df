#include "support/tls_test_server.h"

#include "loopback_tls.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace orvane::test {
namespace {

struct SslDel {
  void operator()(SSL* s) const { SSL_free(s); }
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvane-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TestCertificates MakeTestCertificates(const std::string& dir, const std::string& prefix, bool subjectAltName) {
  const auto files = tools::MakeLoopbackTls(dir, prefix, subjectAltName);
  if (files.caFile.empty()) throw std::runtime_error("cannot write test certificates");
  return {files.caFile, files.certFile, files.keyFile};
}

std::string RawRequest::Header(const std::string& name) const {
  for (const auto& [n, v] : headers) {
    if (Lower(n) == Lower(name)) return v;
  }
  return {};
}

std::string HttpResponse(int status, const std::string& body,
                         const std::vector<std::pair<std::string, std::string>>& headers) {
  std::string out = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
  for (const auto& [n, v] : headers) out += n + ": " + v + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  return out + body;
}

class ConnectionImpl : public Connection {
 public:
  ConnectionImpl(RawServer& server, int fd, SSL* ssl) : server_(server), fd_(fd), ssl_(ssl) {}

  bool Send(std::string_view bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
      const int n = ssl_ != nullptr ? SSL_write(ssl_, bytes.data() + done, chunk)
                                    : static_cast<int>(::send(fd_, bytes.data() + done, chunk, MSG_NOSIGNAL));
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  // Ends early when the server stops or the client goes away.
  void Pause(std::chrono::milliseconds d) override {
    const auto until = std::chrono::steady_clock::now() + d;
    while (!server_.stop_ && std::chrono::steady_clock::now() < until) {
      // A client sends nothing more for its one request: any input (a TLS alert, the end
      // of the stream) means it has given up.
      pollfd p{fd_, POLLIN | POLLRDHUP, 0};
      if (::poll(&p, 1, 50) > 0 && p.revents != 0) return;
    }
  }

  // Reads one request: head up to the blank line, then Content-Length bytes of body.
  bool ReadRequest(RawRequest& req) {
    std::string data;
    char buf[16384];
    std::size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
      const int n = Recv(buf, sizeof buf);
      if (n <= 0) return false;
      data.append(buf, static_cast<std::size_t>(n));
    }
    req.head = data.substr(0, headEnd + 4);
    std::size_t lineEnd = req.head.find("\r\n");
    const std::string requestLine = req.head.substr(0, lineEnd);
    const auto sp1 = requestLine.find(' ');
    const auto sp2 = requestLine.find(' ', sp1 + 1);
    req.method = requestLine.substr(0, sp1);
    req.path = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    std::size_t pos = lineEnd + 2;
    while (pos < headEnd) {
      const auto end = req.head.find("\r\n", pos);
      const std::string line = req.head.substr(pos, end - pos);
      const auto colon = line.find(':');
      std::string value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      req.headers.emplace_back(line.substr(0, colon), value);
      pos = end + 2;
    }
    const std::string cl = req.Header("Content-Length");
    const std::size_t length = cl.empty() ? 0 : std::stoul(cl);
    req.body = data.substr(headEnd + 4);
    while (req.body.size() < length) {
      const int n = Recv(buf, sizeof buf);
      if (n <= 0) return false;
      req.body.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  int Recv(char* buf, int size) {
    return ssl_ != nullptr ? SSL_read(ssl_, buf, size) : static_cast<int>(::recv(fd_, buf, size, 0));
  }

  RawServer& server_;
  int fd_;
  SSL* ssl_;
};

RawServer::RawServer(Handler handler, const std::string& certFile, const std::string& keyFile)
    : handler_(std::move(handler)) {
  if (!certFile.empty()) {
    sslCtx_.reset(SSL_CTX_new(TLS_server_method()));
    if (SSL_CTX_use_certificate_chain_file(sslCtx_.get(), certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(sslCtx_.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
      throw std::runtime_error("server certificate");
    }
  }
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 16) != 0) {
    throw std::runtime_error("bind");
  }
  socklen_t len = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Run(); });
}

RawServer::~RawServer() {
  Stop();
}

void RawServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  listenFd_ = -1;
}

std::vector<RawRequest> RawServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RawServer::Run() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::unique_ptr<SSL, SslDel> ssl;
    bool ok = true;
    if (sslCtx_) {
      ssl.reset(SSL_new(sslCtx_.get()));
      SSL_set_fd(ssl.get(), fd);
      ok = SSL_accept(ssl.get()) == 1;
    }
    if (ok) {
      ConnectionImpl conn(*this, fd, ssl.get());
      RawRequest req;
      if (conn.ReadRequest(req)) {
        {
          std::lock_guard lock(mutex_);
          requests_.push_back(req);
        }
        handler_(req, conn);
      }
      if (ssl) SSL_shutdown(ssl.get());
    }
    ERR_clear_error();
    ssl.reset();
    ::close(fd);
  }
}

}  // namespace orvane::test
