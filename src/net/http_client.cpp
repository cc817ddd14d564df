#include "net/http_client.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <mutex>

#include "text/text.h"

namespace orvane::net {
namespace {

constexpr std::size_t kHeaderLineLimit = 1024;
constexpr std::size_t kHeaderBlockLimit = 32768;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using CurlPtr = std::unique_ptr<CURL, CurlDeleter>;
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

bool Unreserved(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string HostForUrl(const std::string& host) {
  // An IPv6 literal needs brackets inside a URL.
  if (host.find(':') != std::string::npos && host.front() != '[') return "[" + host + "]";
  return host;
}

}  // namespace

void AddField(FormFields& form, std::optional<std::string> name, std::optional<std::string> value) {
  form.push_back(std::make_shared<pairValue>(pairValue{std::move(name), std::move(value)}));
}

std::string EncodeForm(const FormFields* form) {
  ASVariableBuffer buffer;
  bool first = true;
  if (form != nullptr) {
    for (const auto& field : *form) {
      if (!field || !field->name || !field->value) continue;
      std::string part;
      if (!first) part.push_back('&');
      first = false;
      part += *field->name;
      part.push_back('=');
      part += text::PercentEncode(*field->value, [](unsigned char c, std::size_t) { return Unreserved(c); });
      buffer.Append(part);
    }
  }
  return buffer.ReadAllText().value_or(std::string());
}

// State of one exchange, reached from libcurl's callbacks.
struct HttpClient::Transfer {
  CurlPtr curl;
  SlistPtr headers;
  bool post = false;
  bool discarded = false;    // GET with a status other than 200: the body is not read
  bool storeFailed = false;  // the reply could not be stored
  std::unique_ptr<ASVariableBuffer> body;
  std::string extraCaFile;
  std::string host;         // the name the server's certificate must carry
  HeaderList replyHeaders;  // of the reply being received
  std::chrono::milliseconds receiveTimeout{0};
  std::chrono::steady_clock::time_point lastData;  // when the peer last sent anything
  bool timedOut = false;
};

HttpClient::HttpClient(std::shared_ptr<platform::ProxyResolver> resolver, std::string extraCaFile)
    : resolver_(resolver ? std::move(resolver) : platform::SystemProxyResolver()),
      extraCaFile_(std::move(extraCaFile)) {
  GlobalInit();
  if (const auto settings = resolver_->ReadUserSettings()) {
    settingsRead_ = true;
    autoDetect_ = settings->autoDetect;
    if (settings->proxy) {
      proxy_ = text::FromUtf8(*settings->proxy);
      bypass_ = settings->bypass;
    }
  }
}

HttpClient::~HttpClient() = default;

bool HttpClient::Connect(std::u16string_view host, std::uint16_t port) {
  if (host.empty()) return false;
  host_ = host;
  port_ = port;
  connected_ = true;
  return true;
}

void HttpClient::AddRequestHeader(const char* name, const char* value) {
  if (name == nullptr || value == nullptr) return;
  requestHeaders_.push_back(
      std::make_shared<pairValueWide>(pairValueWide{text::FromUtf8(name), text::FromUtf8(value)}));
}

HttpReply HttpClient::Get(std::u16string_view path) {
  return Perform(false, path, nullptr);
}

HttpReply HttpClient::PostForm(std::u16string_view path, const FormFields* form) {
  const std::string body = EncodeForm(form);
  return Perform(true, path, &body);
}

void HttpClient::CloseRequest() {
  transfer_.reset();
  connected_ = false;
}

std::optional<std::string> HttpClient::ProxyForUrl(std::u16string_view host, std::u16string_view path) {
  if (!autoDetect_) return std::nullopt;
  const std::string url = "https://" + text::ToUtf8(host) + text::ToUtf8(path);
  auto found = resolver_->Discover(url);
  if (!found) autoDetect_ = false;
  return found;
}

void ParseHeaderLine(HeaderList& headers, std::string_view line) {
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return;
  auto header = std::make_shared<pairValueWide>();
  header->name = text::FromUtf8(text::TrimSpaces(line.substr(0, colon)));
  header->value = text::FromUtf8(text::TrimSpaces(line.substr(colon + 1)));
  headers.push_back(std::move(header));
}

std::optional<std::u16string> HttpClient::FindCorrelationCookie() const {
  static constexpr std::u16string_view kName = u"CorrelationId";
  for (const auto& h : responseHeaders_) {
    if (!text::EqualsIgnoreCase(h->name, u"Set-Cookie")) continue;
    const auto at = h->value.find(kName);
    if (at == std::u16string::npos) continue;
    const std::size_t start = at + kName.size() + 1;  // past "CorrelationId="
    if (start > h->value.size()) return std::nullopt;
    const auto end = h->value.find(u';', start);
    return h->value.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
  }
  return std::nullopt;
}

bool HttpClient::HasAutoEnrollHeader() const {
  return std::any_of(responseHeaders_.begin(), responseHeaders_.end(), [](const auto& h) {
    return text::EqualsIgnoreCase(h->name, u"X-Autoenroll") && text::EqualsIgnoreCase(h->value, u"yes");
  });
}

namespace {

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<HttpClient::Transfer*>(user);
  const size_t n = size * count;
  t->lastData = std::chrono::steady_clock::now();
  if (!t->post) {
    long status = 0;
    curl_easy_getinfo(t->curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
      t->discarded = true;
      return CURL_WRITEFUNC_ERROR;
    }
  }
  if (n == 0) return 0;
  if (!t->body) t->body = std::make_unique<ASVariableBuffer>();
  if (!t->body->Append(data, static_cast<std::int64_t>(n))) {
    t->storeFailed = true;
    return CURL_WRITEFUNC_ERROR;
  }
  return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<HttpClient::Transfer*>(user);
  const size_t n = size * count;
  t->lastData = std::chrono::steady_clock::now();
  std::string_view line(data, n);
  // A new status line starts a new header block (interim replies, a proxy's CONNECT reply):
  // the list always describes the last reply.
  if (line.starts_with("HTTP/")) {
    t->replyHeaders.clear();
    return n;
  }
  ParseHeaderLine(t->replyHeaders, line);
  return n;
}

// Called by libcurl at least once a second: ends the exchange when the peer has sent
// nothing for the receive time-out.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* t = static_cast<HttpClient::Transfer*>(user);
  if (std::chrono::steady_clock::now() - t->lastData > t->receiveTimeout) {
    t->timedOut = true;
    return 1;
  }
  return 0;
}

CURLcode OnSslContext(CURL*, void* sslCtx, void* user) {
  auto* t = static_cast<HttpClient::Transfer*>(user);
  auto* ctx = static_cast<SSL_CTX*>(sslCtx);
  // The host is checked against the certificate's subjectAltName only: a certificate that
  // names its host in the common name alone is not accepted for it.
  X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
  const bool hostSet = X509_VERIFY_PARAM_set1_ip_asc(param, t->host.c_str()) == 1 ||
                       X509_VERIFY_PARAM_set1_host(param, t->host.c_str(), t->host.size()) == 1;
  if (!hostSet) return CURLE_SSL_CONNECT_ERROR;
  if (t->extraCaFile.empty()) return CURLE_OK;
  X509_STORE* store = SSL_CTX_get_cert_store(ctx);
  // The system store stays; the deployment's CA file is added to it.
  if (X509_STORE_load_file(store, t->extraCaFile.c_str()) != 1) return CURLE_SSL_CACERT_BADFILE;
  return CURLE_OK;
}

}  // namespace

HttpReply HttpClient::Perform(bool post, std::u16string_view path, const std::string* body) {
  HttpReply reply;
  lastError_ = 0;
  lastErrorText_.clear();
  if (!connected_) {
    lastError_ = CURLE_FAILED_INIT;
    lastErrorText_ = "not connected";
    return reply;
  }
  transfer_ = std::make_unique<Transfer>();
  Transfer& t = *transfer_;
  t.curl.reset(curl_easy_init());
  t.post = post;
  t.extraCaFile = extraCaFile_;
  t.host = text::ToUtf8(host_);
  if (!t.curl) {
    lastError_ = CURLE_FAILED_INIT;
    return reply;
  }
  CURL* c = t.curl.get();

  // A header that carries CR, LF or NUL would end its line early and smuggle in lines of
  // its own (a server's cookie fed back into the next request, say): nothing is sent.
  for (const auto& h : requestHeaders_) {
    for (const std::u16string* part : {&h->name, &h->value}) {
      if (part->find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string::npos) {
        lastError_ = CURLE_BAD_FUNCTION_ARGUMENT;
        lastErrorText_ = "header with a line break or NUL refused";
        transfer_.reset();
        return reply;
      }
    }
  }

  // Request headers: the caller's first, then the transport's own. curl's Accept and
  // Expect headers are suppressed so that the header list is exactly ours.
  HeaderList headers = requestHeaders_;
  if (passthru_) headers.push_back(std::make_shared<pairValueWide>(pairValueWide{u"X-Mutual-Passthru", u"enable"}));
  if (post) {
    headers.push_back(
        std::make_shared<pairValueWide>(pairValueWide{u"Content-Type", u"application/x-www-form-urlencoded"}));
  }
  curl_slist* list = nullptr;
  std::size_t blockSize = 0;
  for (const auto& h : headers) {
    std::string line = text::ToUtf8(h->name) + ": " + text::ToUtf8(h->value);
    if (line.size() > kHeaderLineLimit - 2) line.resize(kHeaderLineLimit - 2);  // the line with CR LF fits
    if (blockSize + line.size() + 2 >= kHeaderBlockLimit) break;
    blockSize += line.size() + 2;
    list = curl_slist_append(list, line.c_str());
  }
  list = curl_slist_append(list, "Accept:");
  list = curl_slist_append(list, "Expect:");
  t.headers.reset(list);

  const std::string host = text::ToUtf8(host_);
  const std::string url = std::string(secure_ ? "https://" : "http://") + HostForUrl(host) + ":" +
                          std::to_string(port_) + text::ToUtf8(path);
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, t.headers.get());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  // The header lines are HTTP/1.1's ("name: value" with CR LF): never another protocol.
  curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_BUFFERSIZE, static_cast<long>(kChunkSize));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 60L);
  // No data for the receive time-out ends the exchange.
  t.receiveTimeout = receiveTimeout_;
  t.lastData = std::chrono::steady_clock::now();
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, OnSslContext);
  curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, &t);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
  if (post) {
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body->data());
  } else {
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  }

  // Proxy: direct on request; else discovery per request while auto-detect is on; else
  // the static proxy with its bypass list; else direct. An explicit setting keeps libcurl
  // from applying environment variables of its own.
  std::string proxy;
  std::string noProxy;
  if (!direct_) {
    std::optional<std::string> discovered;
    if (autoDetect_) discovered = ProxyForUrl(host_, path);
    if (discovered) {
      proxy = *discovered;
    } else if (proxy_) {
      proxy = text::ToUtf8(*proxy_);
      noProxy = bypass_.value_or(std::string());
    }
  }
  curl_easy_setopt(c, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(c, CURLOPT_NOPROXY, noProxy.c_str());  // "" : no bypass, and no environment

  responseHeaders_.clear();
  const CURLcode rc = curl_easy_perform(c);
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  responseHeaders_ = std::move(t.replyHeaders);

  const bool completed = rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && t.discarded);
  if (!completed || status <= 0) {
    // No status, or the exchange broke off before the whole reply arrived: no partial
    // reply is handed on as if it were complete.
    lastError_ = t.timedOut ? CURLE_OPERATION_TIMEDOUT : (rc == CURLE_OK ? CURLE_WEIRD_SERVER_REPLY : rc);
    lastErrorText_ = curl_easy_strerror(static_cast<CURLcode>(lastError_));
    return reply;
  }
  reply.status = static_cast<int>(status);
  if (!t.discarded) reply.body = std::move(t.body);
  return reply;
}

}  // namespace orvane::net
