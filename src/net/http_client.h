// HttpClient: one HTTPS exchange with the request system or the authentication host.
// Construction reads the user's proxy settings; Connect names the host; one Get or PostForm
// sends the request and returns the HTTP status (-1 when there was no reply status) and the
// reply body in an ASVariableBuffer; the last reply's headers answer FindCorrelationCookie and
// HasAutoEnrollHeader. Every operation uses a fresh client. The server certificate is always
// verified (system trust store plus the deployment's extra CA file); no client certificate
// is ever sent. The transport knows nothing of the operations.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/variable_buffer.h"
#include "platform/proxy_settings.h"

namespace orvane::net {

using io::ASVariableBuffer;

// One form field (UTF-8); a field with an absent name or value is not sent.
struct pairValue {
  std::optional<std::string> name;
  std::optional<std::string> value;
};

// One header.
struct pairValueWide {
  std::u16string name;
  std::u16string value;
};

using FormFields = std::vector<std::shared_ptr<pairValue>>;
using HeaderList = std::vector<std::shared_ptr<pairValueWide>>;

// Parses one raw reply-header line into the list: split at the first ":", both parts
// trimmed; lines without ":" (the status line) are skipped.
void ParseHeaderLine(HeaderList& headers, std::string_view line);

// Appends a field to a form.
void AddField(FormFields& form, std::optional<std::string> name, std::optional<std::string> value);

// The form body: fields in order, "name=value" joined by "&", names as they are, values
// percent-encoded byte by byte (unreserved bytes kept, space as %20).
std::string EncodeForm(const FormFields* form);

struct HttpReply {
  int status = -1;                         // HTTP status, -1 when there was none
  std::unique_ptr<ASVariableBuffer> body;  // null when not a single byte was read
};

class HttpClient {
 public:
  static constexpr std::chrono::milliseconds kReceiveTimeout{90000};
  static constexpr std::size_t kChunkSize = 32768;

  // resolver: null for the system's proxy settings; extraCaFile: CA certificates trusted
  // besides the system store (empty: none).
  explicit HttpClient(std::shared_ptr<platform::ProxyResolver> resolver = nullptr, std::string extraCaFile = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Names the host and port of the following request. False for an empty host.
  bool Connect(std::u16string_view host, std::uint16_t port);
  // Appends a request header (sent before the transport's own); nothing for absent parts.
  void AddRequestHeader(const char* name, const char* value);

  // GET: the body is read only for status 200.
  HttpReply Get(std::u16string_view path);
  // Form POST: the body is read for every status. form may be null or empty.
  HttpReply PostForm(std::u16string_view path, const FormFields* form);

  void CloseRequest();

  // The CorrelationId value of the first Set-Cookie header that carries one.
  std::optional<std::u16string> FindCorrelationCookie() const;
  // True when a reply header "X-Autoenroll" says "yes" (both compared ignoring case).
  bool HasAutoEnrollHeader() const;

  // Proxy for "https://host/path" by automatic discovery: "" for direct, the proxy otherwise;
  // none when auto-detection is off or discovery failed (which switches it off for good).
  std::optional<std::string> ProxyForUrl(std::u16string_view host, std::u16string_view path);

  // The static proxy of the user's settings and the auto-detect flag (for diagnostics).
  const std::optional<std::u16string>& Proxy() const { return proxy_; }
  bool AutoDetect() const { return autoDetect_; }
  const HeaderList& ResponseHeaders() const { return responseHeaders_; }
  // libcurl's code of the last failed exchange (0 when it did not fail), and its text.
  int LastError() const { return lastError_; }
  const std::string& LastErrorText() const { return lastErrorText_; }

  // Knobs for tests and diagnostics. Defaults: 90 s, the deployment's extra CA file,
  // HTTPS, proxy per the user's settings.
  void SetReceiveTimeout(std::chrono::milliseconds timeout) { receiveTimeout_ = timeout; }
  void SetExtraCaFile(std::string path) { extraCaFile_ = std::move(path); }
  void SetSecure(bool secure) { secure_ = secure; }
  void SetDirect(bool direct) { direct_ = direct; }
  // Whether requests carry "X-Mutual-Passthru: enable" (the diagnostics' plain probes do not).
  void SetPassthru(bool passthru) { passthru_ = passthru; }

  // State of one exchange (libcurl callbacks reach it); defined in the implementation.
  struct Transfer;

 private:
  HttpReply Perform(bool post, std::u16string_view path, const std::string* body);

  std::shared_ptr<platform::ProxyResolver> resolver_;
  bool settingsRead_ = false;
  bool autoDetect_ = false;
  std::optional<std::u16string> proxy_;
  std::optional<std::string> bypass_;
  std::u16string host_;
  std::uint16_t port_ = 443;
  bool connected_ = false;
  HeaderList requestHeaders_;
  HeaderList responseHeaders_;
  std::chrono::milliseconds receiveTimeout_ = kReceiveTimeout;
  std::string extraCaFile_;
  bool secure_ = true;
  bool direct_ = false;
  bool passthru_ = true;
  int lastError_ = 0;
  std::string lastErrorText_;
  std::unique_ptr<Transfer> transfer_;
};

}  // namespace orvane::net
