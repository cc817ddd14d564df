#include "server.h"

#include <fcntl.h>
#include <httplib.h>
#include <openssl/cms.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>

#include "config/build_defaults.h"
#include "loopback_tls.h"
#include "seed.h"
#include "test_ca.h"
#include "text/text.h"

namespace orvane::refsys {
namespace {

struct CmsDel {
  void operator()(CMS_ContentInfo* c) const { CMS_ContentInfo_free(c); }
};
struct StoreDel {
  void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct StackDel {
  void operator()(STACK_OF(X509) * s) const { sk_X509_free(s); }
};

// A form body made of unreserved characters, "%XX" escapes, "=" and "&" only.
bool StrictlyEncoded(const std::string& body) {
  for (std::size_t i = 0; i < body.size(); ++i) {
    const auto c = static_cast<unsigned char>(body[i]);
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '=' || c == '&') continue;
    if (c == '%' && i + 2 < body.size() && std::isxdigit(static_cast<unsigned char>(body[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(body[i + 2]))) {
      i += 2;
      continue;
    }
    return false;
  }
  return true;
}

// A request number as a file name inside the state folder: nothing but letters, digits,
// "-" and "_" survive unescaped, so no number can climb out of the folder.
std::string FileName(const std::string& requestId) {
  return text::PercentEncode(requestId, [](unsigned char c, std::size_t) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
  });
}

std::string XmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string Element(const std::string& name, const std::string& value) {
  return "<" + name + ">" + XmlEscape(value) + "</" + name + ">";
}

// Rewrites the element tags of a document without attributes: a namespace prefix on every
// name (declared on the root), names in capitals, and line breaks with indentation between
// elements (never inside a text).
std::string ShapeElements(const std::string& doc, bool namespaces, bool upper, bool indented) {
  std::string out;
  int depth = 0;
  bool lastWasText = false;
  bool lastWasStart = false;
  bool root = true;
  for (std::size_t i = 0; i < doc.size();) {
    if (doc[i] != '<') {
      const auto next = doc.find('<', i);
      out.append(doc, i, next - i);
      i = next;
      lastWasText = true;
      lastWasStart = false;
      continue;
    }
    const auto close = doc.find('>', i);
    const bool end = doc[i + 1] == '/';
    std::string name = doc.substr(i + (end ? 2 : 1), close - i - (end ? 2 : 1));
    if (upper) {
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (end) --depth;
    if (indented && !(end && (lastWasText || lastWasStart))) {
      if (!out.empty()) out += "\n";
      out.append(static_cast<std::size_t>(depth) * 2, ' ');
    }
    out += end ? "</" : "<";
    if (namespaces) out += "rs:";
    out += name;
    if (namespaces && root) out += " xmlns:rs=\"urn:orvane:request-system\"";
    root = false;
    out += ">";
    if (!end) ++depth;
    lastWasStart = !end;
    lastWasText = false;
    i = close + 1;
  }
  if (indented) out += "\n";
  return out;
}

std::string Hex(const std::uint8_t* d, std::size_t n, bool upper) {
  return upper ? text::HexUpper(d, n) : text::HexLower(d, n);
}

std::string RandomHex(std::size_t bytes) {
  Bytes b(bytes);
  RAND_bytes(b.data(), static_cast<int>(b.size()));
  return Hex(b.data(), b.size(), false);
}

std::string RandomUuid() {
  const std::string h = RandomHex(16);
  return h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" + h.substr(16, 4) + "-" + h.substr(20);
}

std::string Thumbprint(X509* cert) {
  unsigned char md[20];
  unsigned int len = 0;
  X509_digest(cert, EVP_sha1(), md, &len);
  return Hex(md, len, true);
}

ossl::X509Ptr ParseCert(const Bytes& der) {
  const unsigned char* p = der.data();
  return ossl::X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

std::optional<Bytes> FromBase64(const std::string& s) {
  return text::Base64Decode(s);
}

std::string CommonName(X509* cert) {
  X509_NAME* name = X509_get_subject_name(cert);
  const int idx = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
  if (idx < 0) return {};
  unsigned char* utf8 = nullptr;
  const int n = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, idx)));
  if (n < 0) return {};
  std::string out(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n));
  OPENSSL_free(utf8);
  return out;
}

// Runtime state of one application.
struct AppState {
  Application app;
  bool killed = false;
  std::string smsCode;
  Bytes request;
  std::string container;
  Bytes certificate;
  bool refused = false;
  int polls = 0;
  std::chrono::steady_clock::time_point requestedAt;  // when the request arrived
  bool confirmed = false;
  std::string documentHash;  // base64 of the hash handed out for the operator's signature
  std::string pdfUuid;
  std::string documentToken;
};

struct Login {
  std::string correlationId;
  ossl::X509Ptr cert;
  Bytes hash;
  bool verified = false;
  std::string userId;
};

}  // namespace

struct Server::Impl {
  ServerOptions options;
  std::unique_ptr<httplib::SSLServer> http;
  std::optional<TestCa> ca;
  tools::LoopbackTlsFiles tls;
  std::vector<Operator> operators;
  std::map<std::string, AppState> apps;  // by access token
  std::map<std::string, Fault> adminFaults;
  std::map<std::string, Login> logins;              // by request id
  std::map<std::string, std::string> authTokens;    // token -> thumbprint
  std::map<std::string, ossl::X509Ptr> knownCerts;  // thumbprint -> certificate
  std::mutex mutex;
  int port = 0;

  void Log(const httplib::Request& req, int status, const std::string& note) {
    std::fprintf(stderr, "[request-system] %s %s -> %d%s%s\n", req.method.c_str(), req.path.c_str(), status,
                 note.empty() ? "" : " ", note.c_str());
  }

  static void Reply(httplib::Response& res, int status, const std::string& body,
                    const char* type = "text/plain; charset=utf-8") {
    res.status = status;
    if (!body.empty()) res.set_content(body, type);
  }

  // A reply document around inner (elements without attributes), in the shape asked for.
  static void Xml(httplib::Response& res, const std::string& inner, const std::vector<std::string>& shape = {}) {
    auto has = [&](const char* s) { return std::find(shape.begin(), shape.end(), s) != shape.end(); };
    std::string doc =
        ShapeElements("<response>" + inner + "</response>", has("namespaces"), has("upper-case"), has("indented"));
    std::string type = "text/xml; charset=utf-8";
    std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    if (has("windows-1251")) {
      auto cp = text::WideToCp1251(text::FromUtf8(doc));
      if (cp) {
        doc = std::move(*cp);
        declaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n";
        type = "text/xml; charset=windows-1251";
      }
    }
    Reply(res, 200, declaration + doc, type.c_str());
  }

  // A fault configured for the operation (application's own first, then the admin's).
  const Fault* FaultFor(const AppState* app, const std::string& op) {
    if (app != nullptr) {
      const auto it = app->app.faults.find(op);
      if (it != app->app.faults.end()) return &it->second;
    }
    const auto it = adminFaults.find(op);
    return it == adminFaults.end() ? nullptr : &it->second;
  }

  // Applies a status fault; true when the reply has been written.
  bool ApplyStatusFault(const Fault* f, httplib::Response& res) {
    if (f == nullptr) return false;
    if (f->mode == "malformed") {
      Reply(res, 200, "<?xml version=\"1.0\"?><response><request_id>1</request", "text/xml");
      return true;
    }
    if (f->mode == "nobody403") {  // a refusal without a word of explanation
      Reply(res, 403, "");
      return true;
    }
    if (f->mode == "drop") {  // the connection breaks off in the middle of the reply
      res.status = 200;
      res.set_content_provider(
          1000, "text/xml", [](std::size_t, std::size_t, httplib::DataSink&) { return false; }, nullptr);
      return true;
    }
    const bool empty = f->mode.size() > 6 && f->mode.ends_with("-empty");
    const int status = std::atoi(f->mode.c_str());
    if (status < 100) return false;
    Reply(res, status, empty ? std::string() : (f->body.empty() ? "Ошибка, заданная для проверки" : f->body));
    return true;
  }

  AppState* FindApp(const std::string& token) {
    const auto it = apps.find(token);
    return it == apps.end() ? nullptr : &it->second;
  }

  // The application of the "marker" field, or a 403 written into res.
  AppState* RequireApp(const httplib::Request& req, httplib::Response& res) {
    AppState* a = FindApp(req.get_param_value("marker"));
    if (a == nullptr || a->killed) {
      Reply(res, 403, a == nullptr ? "Маркер доступа не найден" : "Маркер доступа уже использован");
      return nullptr;
    }
    return a;
  }

  // Operator fields: when "hash" is sent, the token ("authtoken" or "auth_uuid") must have
  // come from a login with that certificate.
  bool CheckOperator(const httplib::Request& req, httplib::Response& res, const char* tokenField) {
    if (!req.has_param("hash")) return true;
    const auto it = authTokens.find(req.get_param_value(tokenField));
    if (it == authTokens.end() || it->second != req.get_param_value("hash")) {
      Reply(res, 403, "Недействительный токен оператора");
      return false;
    }
    return true;
  }

  std::string SubjectDocument(const AppState& s, const Fault* fault) {
    const Application& a = s.app;
    std::string digestInput = a.subject;
    std::string eku;
    if (fault == nullptr || fault->mode != "nooid") {
      for (const auto& o : a.eku) {
        eku += Element("oid", o);
        digestInput += o;
      }
    }
    const std::string exp = a.exportable ? "1" : "0";
    digestInput += exp;
    if (fault != nullptr && fault->mode == "digest") digestInput += "tampered";
    unsigned char md[20];
    SHA1(reinterpret_cast<const unsigned char*>(digestInput.data()), digestInput.size(), md);
    std::string doc = Element("request_id", a.requestId) + Element("template", a.templateName) +
                      Element("subject_quoted", a.subject) + "<eku>" + eku + "</eku>" + Element("export", exp) +
                      Element("license", "0") + Element("egais", a.egais ? "1" : "0") +
                      Element("embedCPLicense", a.embedLicense ? "1" : "0") +
                      Element("nonqualified", a.nonqualified ? "1" : "0") + Element("cryptoStandart", a.generation) +
                      Element("cryptoProvider", a.provider) + Element("ord", a.ord);
    auto optional = [&](const char* name, const std::string& v) {
      if (!v.empty()) doc += Element(name, v);
    };
    optional("token_type", a.tokenType);
    optional("certStartDate", a.certStartDate);
    optional("certExpirationDate", a.certExpirationDate);
    optional("certPeriod", a.certPeriod);
    optional("policyLevel", a.policyLevel);
    optional("templateOid", a.templateOid);
    optional("identificationKind", a.identificationKind);
    optional("subjectAltName", a.subjectAltName);
    doc += Element("hash_quoted", Hex(md, 20, false));
    return doc;
  }

  bool IssueFor(AppState& s, std::string& error) {
    IssueOptions o;
    o.crlUrl = "http://" + options.host + ":" + std::to_string(port) + "/crl/test-ca.crl";
    o.caIssuers = "http://" + options.host + ":" + std::to_string(port) + "/ca/test-ca.cer";
    auto cert = ca->Issue(s.request, o, error);
    if (!cert) return false;
    s.certificate = *cert;
    std::ofstream(options.stateDir + "/issued/" + FileName(s.app.requestId) + ".cer", std::ios::binary)
        .write(reinterpret_cast<const char*>(cert->data()), static_cast<std::streamsize>(cert->size()));
    return true;
  }

  // Verifies an attached PKCS#7 signature of content by a certificate issued by the test CA
  // whose thumbprint is expected.
  bool VerifySignedMessage(const std::string& b64, const Bytes& content, const std::string& thumbprint) {
    const auto der = FromBase64(b64);
    if (!der) return false;
    const unsigned char* p = der->data();
    std::unique_ptr<CMS_ContentInfo, CmsDel> cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der->size())));
    if (!cms) return false;
    std::unique_ptr<X509_STORE, StoreDel> store(X509_STORE_new());
    // Operator certificates carry client-authentication usage, not e-mail protection.
    X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
    for (auto a :
         {csp::gost::Algorithm::Gost2001, csp::gost::Algorithm::Gost2012_256, csp::gost::Algorithm::Gost2012_512}) {
      X509_STORE_add_cert(store.get(), ca->Root(a));
    }
    // The message carries no certificates: the signer is the operator known from its login.
    const auto known = knownCerts.find(thumbprint);
    if (known == knownCerts.end()) return false;
    std::unique_ptr<STACK_OF(X509), StackDel> certs(sk_X509_new_null());
    sk_X509_push(certs.get(), known->second.get());
    ossl::BioPtr out(BIO_new(BIO_s_mem()));
    if (CMS_verify(cms.get(), certs.get(), store.get(), nullptr, out.get(), CMS_BINARY) != 1) {
      ERR_clear_error();
      return false;
    }
    char* data = nullptr;
    const long n = BIO_get_mem_data(out.get(), &data);
    if (n != static_cast<long>(content.size()) || std::memcmp(data, content.data(), content.size()) != 0) return false;
    std::unique_ptr<STACK_OF(X509), StackDel> signers(CMS_get0_signers(cms.get()));
    return signers && sk_X509_num(signers.get()) == 1 && Thumbprint(sk_X509_value(signers.get(), 0)) == thumbprint;
  }

  void Routes();
  // A fresh six-digit code for the application, written to the outbox and the log.
  void SendSmsCode(AppState& a);
};

Server::Server() : impl_(std::make_unique<Impl>()) {}
Server::~Server() {
  Stop();
}

int Server::Port() const {
  return impl_->port;
}
std::string Server::TlsCaFile() const {
  return impl_->tls.caFile;
}
std::string Server::AdminSecret() const {
  return impl_->options.adminSecret;
}
std::string Server::OutboxFile() const {
  return impl_->options.stateDir + "/outbox.txt";
}

bool Server::Start(const ServerOptions& options, std::string& error) {
  Impl& d = *impl_;
  d.options = options;
  if (d.options.clientSecret.empty()) d.options.clientSecret = ORVANE_DEFAULT_CLIENT_SECRET;
  std::error_code ec;
  for (const char* sub : {"", "/ca", "/issued", "/requests", "/tls"}) {
    std::filesystem::create_directories(options.stateDir + sub, ec);
  }
  if (d.options.adminSecret.empty()) {
    d.options.adminSecret = RandomHex(16);
    const std::string file = options.stateDir + "/admin-secret";
    std::filesystem::remove(file, ec);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const std::string line = d.options.adminSecret + "\n";
    const bool written = fd >= 0 && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    if (fd >= 0) ::close(fd);
    if (!written) {
      error = "не удалось записать " + file;
      return false;
    }
  }
  std::vector<std::string> errors;
  const auto seed = LoadSeed(options.seedFile, errors);
  if (!seed) {
    error = errors.empty() ? "не удалось прочитать файл заявок" : errors.front();
    return false;
  }
  for (const auto& e : errors) std::fprintf(stderr, "[request-system] %s\n", e.c_str());
  for (const auto& a : seed->applications) d.apps[a.token].app = a;
  d.operators = seed->operators;
  d.ca = TestCa::Open(options.stateDir + "/ca", error);
  if (!d.ca) return false;
  std::ofstream(options.stateDir + "/ca/roots.pem") << d.ca->RootsPem();
  d.tls = tools::MakeLoopbackTls(options.stateDir + "/tls", "server");
  if (d.tls.caFile.empty()) {
    error = "не удалось записать сертификат TLS в " + options.stateDir;
    return false;
  }
  d.http = std::make_unique<httplib::SSLServer>(d.tls.certFile.c_str(), d.tls.keyFile.c_str());
  if (!d.http->is_valid()) {
    error = "не удалось инициализировать TLS";
    return false;
  }
  // Slow or idle clients cannot hold the workers: every read and write has a time limit, and
  // no body is larger than a few MiB.
  d.http->set_read_timeout(10, 0);
  d.http->set_write_timeout(10, 0);
  d.http->set_keep_alive_timeout(5);
  d.http->set_payload_max_length(4 << 20);
  d.http->new_task_queue = [] { return new httplib::ThreadPool(16); };
  d.Routes();
  if (options.port == 0) {
    d.port = d.http->bind_to_any_port(options.host.c_str());
  } else {
    d.port = d.http->bind_to_port(options.host.c_str(), options.port) ? options.port : -1;
  }
  if (d.port <= 0) {
    error = "не удалось занять адрес " + options.host + ":" + std::to_string(options.port);
    return false;
  }
  return true;
}

void Server::Run() {
  if (impl_->http) impl_->http->listen_after_bind();
}

void Server::Stop() {
  if (impl_ && impl_->http) impl_->http->stop();
}

void Server::Impl::SendSmsCode(AppState& a) {
  char code[8];
  std::uint32_t r = 0;
  RAND_bytes(reinterpret_cast<unsigned char*>(&r), sizeof r);
  std::snprintf(code, sizeof code, "%06u", r % 1000000u);
  a.smsCode = code;
  std::ofstream(options.stateDir + "/outbox.txt", std::ios::app) << a.app.requestId << " " << code << "\n";
  std::fprintf(stderr, "[request-system] SMS for application %s: %s\n", a.app.requestId.c_str(), code);
}

void Server::Impl::Routes() {
  using httplib::Request;
  using httplib::Response;
  auto& s = *http;

  // What the client never sends is refused before any route sees it: a request to the
  // request system or the authentication host without "X-Mutual-Passthru: enable", and a
  // form body that is not strictly percent-encoded (raw bytes outside ASCII, "+" for a space).
  s.set_pre_routing_handler([this](const Request& req, Response& res) {
    if (!req.path.starts_with("/a/") && !req.path.starts_with("/login/"))
      return httplib::Server::HandlerResponse::Unhandled;
    if (req.get_header_value("X-Mutual-Passthru") == "enable") return httplib::Server::HandlerResponse::Unhandled;
    Reply(res, 400, "Нет заголовка X-Mutual-Passthru: enable");
    Log(req, res.status, "no X-Mutual-Passthru");
    return httplib::Server::HandlerResponse::Handled;
  });
  // The form body is read only once the route is known: the encoding is checked there.
  auto post = [this, &s](const char* pattern, httplib::Server::Handler handler) {
    s.Post(pattern, [this, handler](const Request& req, Response& res) {
      if (!StrictlyEncoded(req.body)) {
        Reply(res, 400, "Форма закодирована не по правилам");
        Log(req, res.status, "loose form encoding");
        return;
      }
      handler(req, res);
    });
  };

  s.Get("/a/get_version", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    if (!ApplyStatusFault(FaultFor(nullptr, "get_version"), res)) Xml(res, Element("version", options.version));
    Log(req, res.status, "");
  });

  post("/a/get_subject", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    if (a != nullptr && CheckOperator(req, res, "authtoken")) {
      const Fault* f = FaultFor(a, "get_subject");
      if (!ApplyStatusFault(f, res)) {
        Xml(res, SubjectDocument(*a, f), a->app.shape);
        // The code that will confirm the request form goes out with the application data.
        SendSmsCode(*a);
      }
    }
    Log(req, res.status, a != nullptr ? "application " + a->app.requestId : "");
  });

  post("/a/get_pincode", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    if (a != nullptr && !ApplyStatusFault(FaultFor(a, "get_pincode"), res)) {
      SendSmsCode(*a);
      Reply(res, 200, "");
    }
    Log(req, res.status, "");
  });

  post("/a/set_request", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    std::string note;
    if (a != nullptr && CheckOperator(req, res, "authtoken") && !ApplyStatusFault(FaultFor(a, "set_request"), res)) {
      const auto der = FromBase64(req.get_param_value("request"));
      if (!der) {
        Reply(res, 400, "Запрос на сертификат не передан");
      } else if (!a->app.tokenType.empty() &&
                 (req.get_param_value("key_type").empty() || req.get_param_value("key_serial").empty())) {
        // The application prescribes a carrier type: the request names the carrier it was made on.
        Reply(res, 400, "Не указан ключевой носитель (key_type, key_serial)");
      } else if (req.has_param("hash")) {
        if (!VerifySignedMessage(req.get_param_value("request_signed"), *der, req.get_param_value("hash"))) {
          Reply(res, 403, "Подпись оператора под запросом неверна");
        }
      } else if (a->smsCode.empty() || req.get_param_value("code") != a->smsCode) {
        Reply(res, 403, "Неверный СМС-код");
      }
      if (der && res.status == -1) {
        a->request = *der;
        a->container = req.get_param_value("container");
        a->smsCode.clear();
        a->requestedAt = std::chrono::steady_clock::now();
        std::ofstream(options.stateDir + "/requests/" + FileName(a->app.requestId) + ".p10", std::ios::binary)
            .write(reinterpret_cast<const char*>(der->data()), static_cast<std::streamsize>(der->size()));
        std::string error;
        // Without auto-enrolment the certificate is issued at once (or, with issue_after, when
        // it is asked for that much later); otherwise the request is checked now and issued
        // while the client polls.
        const bool atOnce = a->app.autoEnroll == "no" && a->app.issueAfter == 0;
        if (atOnce ? !IssueFor(*a, error) : !ca->VerifyRequest(*der, error)) {
          a->request.clear();
          Reply(res, 400, error);
        }
        if (res.status == -1) {
          // A refused auto-enrolment is announced like any other and refused while polled.
          if (a->app.autoEnroll == "yes" || a->app.autoEnroll == "refuse") res.set_header("X-Autoenroll", "yes");
          if (a->app.autoEnroll == "refuse") a->refused = true;
          Reply(res, 200, "");
        }
        note = "container " + a->container;
      }
    }
    Log(req, res.status, note);
  });

  post("/a/check-autoenroll", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    if (a != nullptr && !ApplyStatusFault(FaultFor(a, "check-autoenroll"), res)) {
      if (a->refused) {
        Reply(res, 403, "В автоматическом выпуске сертификата отказано");
      } else if (!a->certificate.empty()) {
        Reply(res, 200, "");
      } else if (a->request.empty() || ++a->polls < a->app.autoEnrollPolls) {
        Reply(res, 404, "Сертификат еще не выпущен");
      } else {
        std::string error;
        if (IssueFor(*a, error)) {
          Reply(res, 200, "");
        } else {
          a->refused = true;
          Reply(res, 403, error);
        }
      }
    }
    Log(req, res.status, "");
  });

  post("/a/get_certificate", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    if (a != nullptr && CheckOperator(req, res, "authtoken") &&
        !ApplyStatusFault(FaultFor(a, "get_certificate"), res)) {
      std::string error;
      if (a->certificate.empty() && !a->request.empty() && a->app.autoEnroll == "no" &&
          std::chrono::steady_clock::now() - a->requestedAt >= std::chrono::seconds(a->app.issueAfter) &&
          !IssueFor(*a, error)) {
        Reply(res, 500, error);
      } else if (a->certificate.empty()) {
        Reply(res, 404, "Сертификат по заявке еще не выпущен");
      } else {
        Xml(res,
            Element("cert", text::Base64Encode(a->certificate)) + Element("container", a->container) +
                Element("license", "0") + Element("cert_pdf_file_uuid", RandomUuid()) +
                Element("cert_pdf_signed", a->confirmed ? "1" : "0"),
            a->app.shape);
        // The code that will confirm the certificate form goes out with the certificate.
        if (!req.has_param("hash") && !a->confirmed) SendSmsCode(*a);
      }
    }
    Log(req, res.status, "");
  });

  post("/a/set_certificate", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    if (a != nullptr && !ApplyStatusFault(FaultFor(a, "set_certificate"), res)) {
      if (a->certificate.empty()) {
        Reply(res, 404, "");
      } else if (a->smsCode.empty() || req.get_param_value("code") != a->smsCode) {
        Reply(res, 403, "");
      } else {
        a->confirmed = true;
        a->smsCode.clear();
        Reply(res, 200, "");
      }
    }
    Log(req, res.status, "");
  });

  post("/a/get_document_hash", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    if (a != nullptr && CheckOperator(req, res, "auth_uuid") &&
        !ApplyStatusFault(FaultFor(a, "get_document_hash"), res)) {
      const auto op = knownCerts.find(req.get_param_value("hash"));
      if (a->certificate.empty() || op == knownCerts.end() || req.get_param_value("document_type") != "cert") {
        Reply(res, 404, "Документ не найден");
      } else {
        const auto hash = GostDigest(X509_get0_pubkey(op->second.get()), a->certificate);
        a->documentHash = text::Base64Encode(*hash);
        a->pdfUuid = RandomUuid();
        a->documentToken = RandomHex(16);
        Xml(res,
            Element("b64Hash", a->documentHash) + Element("pdf_file_uuid", a->pdfUuid) +
                Element("token", a->documentToken),
            a->app.shape);
      }
    }
    Log(req, res.status, "");
  });

  post("/a/set_document_sign", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    if (a != nullptr && CheckOperator(req, res, "auth_uuid") &&
        !ApplyStatusFault(FaultFor(a, "set_document_sign"), res)) {
      const auto op = knownCerts.find(req.get_param_value("hash"));
      const auto hash = FromBase64(a->documentHash);
      const auto sig = FromBase64(req.get_param_value("signature"));
      if (op == knownCerts.end() || !hash || req.get_param_value("pdf_file_uuid") != a->pdfUuid ||
          req.get_param_value("token") != a->documentToken) {
        Reply(res, 404, "Документ не найден");
      } else if (!sig || !VerifyReversedHashSignature(X509_get0_pubkey(op->second.get()), *hash, *sig)) {
        Reply(res, 403, "Подпись документа неверна");
      } else {
        a->confirmed = true;
        Reply(res, 200, "");
      }
    }
    Log(req, res.status, "");
  });

  post("/a/kill_marker", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    AppState* a = RequireApp(req, res);
    if (a != nullptr && !ApplyStatusFault(FaultFor(a, "kill_marker"), res)) {
      a->killed = true;
      Reply(res, 200, "");
    }
    Log(req, res.status, "");
  });

  post("/a/cert_verify", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    if (ApplyStatusFault(FaultFor(nullptr, "cert_verify"), res)) return Log(req, res.status, "");
    const std::string thumb = req.get_param_value("hash");
    const auto tok = authTokens.find(req.get_param_value("authtoken"));
    const auto cert = knownCerts.find(thumb);
    if (tok == authTokens.end() || tok->second != thumb || cert == knownCerts.end()) {
      Reply(res, 403, "");
    } else {
      const std::string cn = CommonName(cert->second.get());
      const Operator* op = nullptr;
      for (const auto& o : operators) {
        if (o.commonName == cn) op = &o;
      }
      Xml(res, Element("agentMode", op != nullptr && op->agentMode ? "1" : "0") +
                   Element("agentLicense", op != nullptr && op->agentLicense ? "1" : "0") +
                   Element("clientAllowed", op != nullptr && op->clientAllowed ? "1" : "0"));
    }
    Log(req, res.status, "");
  });

  // The authentication host.
  post("/login/request", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    if (ApplyStatusFault(FaultFor(nullptr, "login_request"), res)) return Log(req, res.status, "");
    if (req.get_param_value("Secret") != options.clientSecret || req.get_param_value("ReturnUrl").empty()) {
      Reply(res, 403, "Неизвестный клиент");
    } else {
      const std::string id = RandomUuid();
      logins[id].correlationId = "corr=" + RandomHex(8) + "/" + RandomHex(4);
      Reply(res, 200, "/login/certificate/" + id);
    }
    Log(req, res.status, "");
  });

  s.Get(R"(/login/certificate/([0-9a-f-]+))", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    const auto it = logins.find(req.matches[1]);
    if (it == logins.end()) {
      Reply(res, 404, "");
    } else {
      // The cookie value is sent percent-encoded, as a browser-facing server would.
      const std::string enc = text::PercentEncode(it->second.correlationId, [](unsigned char c, std::size_t) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
      });
      res.set_header("Set-Cookie", "Session=" + RandomHex(4) + "; CorrelationId=" + enc + "; Path=/; Secure");
      Reply(res, 200, "<html><body>Вход по сертификату</body></html>", "text/html; charset=utf-8");
    }
    Log(req, res.status, "");
  });

  auto loginOf = [this](const Request& req, const char* idField) -> Login* {
    const auto it = logins.find(req.get_param_value(idField));
    if (it == logins.end()) return nullptr;
    if (req.get_header_value("Cookie") != "CorrelationId=" + it->second.correlationId) return nullptr;
    return &it->second;
  };

  post("/login/ComputeHashForSignature", [this, loginOf](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    Login* l = loginOf(req, "RequestId");
    const auto der = FromBase64(req.get_param_value("Certificate"));
    ossl::X509Ptr cert = der ? ParseCert(*der) : nullptr;
    if (l == nullptr) {
      Reply(res, 403, "Сеанс входа не найден");
    } else if (!cert || !ca->IssuedByUs(cert.get())) {
      Reply(res, 403, "Сертификат выдан неизвестным УЦ");
    } else {
      Bytes challenge(32);
      RAND_bytes(challenge.data(), 32);
      const auto hash = GostDigest(X509_get0_pubkey(cert.get()), challenge);
      if (!hash) {
        Reply(res, 403, "Ключ сертификата не является ключом ГОСТ");
      } else {
        l->hash = *hash;
        l->cert = std::move(cert);
        Reply(res, 200, text::Base64Encode(l->hash));
      }
    }
    Log(req, res.status, "");
  });

  post("/login/VerifySignature", [this, loginOf](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    Login* l = loginOf(req, "RequestId");
    const auto sig = FromBase64(req.get_param_value("Signature"));
    if (l == nullptr || !l->cert) {
      Reply(res, 403, "Сеанс входа не найден");
    } else if (!sig || !VerifyReversedHashSignature(X509_get0_pubkey(l->cert.get()), l->hash, *sig)) {
      Reply(res, 403, "Подпись неверна");
    } else {
      l->verified = true;
      l->userId = "user-" + Thumbprint(l->cert.get()).substr(0, 12);
      Reply(res, 200, "");
    }
    Log(req, res.status, "");
  });

  post("/login/Users", [this, loginOf](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    Login* l = loginOf(req, "RequestId");
    if (l == nullptr || !l->verified) {
      Reply(res, 403, "");
    } else {
      Reply(res, 200, "[{\"id\":\"" + l->userId + "\",\"name\":\"" + CommonName(l->cert.get()) + "\"}]",
            "application/json");
    }
    Log(req, res.status, "");
  });

  post("/login/Authorize", [this, loginOf](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    Login* l = loginOf(req, "requestId");
    if (l == nullptr || !l->verified || req.get_param_value("userId") != l->userId) {
      Reply(res, 403, "");
    } else {
      const std::string token = RandomHex(20);
      const std::string thumb = Thumbprint(l->cert.get());
      authTokens[token] = thumb;
      knownCerts[thumb] = ossl::X509Ptr(X509_dup(l->cert.get()));
      Reply(res, 200, "https://" + options.host + "/?auth_token=" + token);
    }
    Log(req, res.status, "");
  });

  // Administration for tests and the demo: faults, and certificates for operators. Every
  // request carries the secret given at start.
  auto admin = [this, &s](const char* pattern, httplib::Server::Handler handler) {
    s.Post(pattern, [this, handler](const Request& req, Response& res) {
      const std::string given = req.get_param_value("secret");
      const std::string& expected = options.adminSecret;
      if (given.size() != expected.size() || CRYPTO_memcmp(given.data(), expected.data(), given.size()) != 0) {
        Reply(res, 403, "Неверный секрет администратора");
        Log(req, res.status, "admin secret");
        return;
      }
      handler(req, res);
    });
  };
  admin("/admin/fault", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    if (req.get_param_value("mode").empty()) {
      adminFaults.erase(req.get_param_value("op"));
    } else {
      adminFaults[req.get_param_value("op")] = Fault{req.get_param_value("mode"), req.get_param_value("body")};
    }
    Reply(res, 200, "");
    Log(req, res.status, "");
  });

  admin("/admin/issue", [this](const Request& req, Response& res) {
    std::lock_guard lock(mutex);
    const auto der = FromBase64(req.get_param_value("request"));
    std::string error;
    const auto cert = der ? ca->Issue(*der, IssueOptions{}, error) : std::nullopt;
    if (!cert) {
      Reply(res, 400, error.empty() ? "Запрос не передан" : error);
    } else {
      Reply(res, 200, text::Base64Encode(*cert));
    }
    Log(req, res.status, "");
  });

  s.Get("/ca/roots.pem", [this](const Request& req, Response& res) {
    Reply(res, 200, ca->RootsPem(), "application/x-pem-file");
    Log(req, res.status, "");
  });
}

}  // namespace orvane::refsys
