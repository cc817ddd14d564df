#include "support/tls_test_server.h"

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

struct PkeyDel {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Del {
  void operator()(X509* x) const { X509_free(x); }
};
struct SslDel {
  void operator()(SSL* s) const { SSL_free(s); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDel>;
using X509Ptr = std::unique_ptr<X509, X509Del>;

PkeyPtr NewKey() {
  return PkeyPtr(EVP_EC_gen("P-256"));
}

void AddExt(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) throw std::runtime_error("extension");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

X509Ptr NewCert(const char* cn, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, long serial, bool ca) {
  X509Ptr cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400L * 30);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
  X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
  X509* iss = issuer != nullptr ? issuer : cert.get();
  if (ca) {
    AddExt(cert.get(), iss, NID_basic_constraints, "critical,CA:TRUE");
    AddExt(cert.get(), iss, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExt(cert.get(), iss, NID_basic_constraints, "critical,CA:FALSE");
    AddExt(cert.get(), iss, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    AddExt(cert.get(), iss, NID_ext_key_usage, "serverAuth");
  }
  X509_sign(cert.get(), issuerKey, EVP_sha256());
  return cert;
}

void WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  if (cert != nullptr) PEM_write_X509(f, cert);
  if (key != nullptr) PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(f);
}

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

TestCertificates MakeTestCertificates(const std::string& dir, const std::string& prefix) {
  PkeyPtr caKey = NewKey();
  X509Ptr ca = NewCert("Orvane Test CA", caKey.get(), nullptr, caKey.get(), 1, true);
  PkeyPtr key = NewKey();
  X509Ptr cert = NewCert("127.0.0.1", key.get(), ca.get(), caKey.get(), 2, false);
  TestCertificates out{dir + "/" + prefix + "-ca.pem", dir + "/" + prefix + "-cert.pem",
                       dir + "/" + prefix + "-key.pem"};
  WritePem(out.caFile, ca.get(), nullptr);
  WritePem(out.certFile, cert.get(), nullptr);
  WritePem(out.keyFile, nullptr, key.get());
  return out;
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
