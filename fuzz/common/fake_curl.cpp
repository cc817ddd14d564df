#include "common/fake_curl.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace orvane::fuzz {
namespace {

struct Script {
  std::vector<ScriptedReply> replies;
  bool cycle = false;
  std::size_t next = 0;
  int performed = 0;
};

Script& TheScript() {
  static Script script;
  return script;
}

// One easy handle: the options the transport sets that matter to an exchange.
struct FakeHandle {
  std::string url;
  const curl_slist* headers = nullptr;
  bool post = false;
  const char* postFields = nullptr;
  curl_off_t postSize = -1;
  long bufferSize = CURL_MAX_WRITE_SIZE;
  curl_write_callback writeFunction = nullptr;
  void* writeData = nullptr;
  curl_write_callback headerFunction = nullptr;
  void* headerData = nullptr;
  curl_xferinfo_callback progressFunction = nullptr;
  void* progressData = nullptr;
  long responseCode = 0;
};

[[noreturn]] void Violation(const char* what, std::string_view detail) {
  std::fprintf(stderr, "fake libcurl: %s: \"%.*s\"\n", what,
               static_cast<int>(std::min<std::size_t>(detail.size(), 300)), detail.data());
  std::abort();
}

void CheckRequest(const FakeHandle& h) {
  for (const unsigned char c : h.url) {
    if (c <= 0x20 || c >= 0x7F) Violation("address with a blank, control or non-ASCII byte", h.url);
  }
  for (const curl_slist* l = h.headers; l != nullptr; l = l->next) {
    const std::string_view line = l->data != nullptr ? std::string_view(l->data) : std::string_view();
    if (line.find_first_of("\r\n") != std::string_view::npos) Violation("request header with CR or LF", line);
  }
  if (h.post && h.postFields != nullptr) {
    const std::size_t n =
        h.postSize >= 0 ? static_cast<std::size_t>(h.postSize) : std::string_view(h.postFields).size();
    const std::string_view body(h.postFields, n);
    for (const char c : body) {
      const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
                      c == '.' || c == '_' || c == '~' || c == '%' || c == '=' || c == '&';
      if (!ok) Violation("form body that is not form-encoded", body);
    }
  }
}

std::string_view NextLine(std::string_view& rest, bool& found) {
  const auto nl = rest.find('\n');
  found = nl != std::string_view::npos;
  std::string_view line = rest.substr(0, found ? nl : rest.size());
  rest.remove_prefix(found ? nl + 1 : rest.size());
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

ScriptedReply ParseOne(std::string_view record) {
  ScriptedReply reply;
  bool found = false;
  const std::string_view statusLine = NextLine(record, found);
  std::size_t digits = 0;
  long status = 0;
  while (digits < statusLine.size() && digits < 4 && statusLine[digits] >= '0' && statusLine[digits] <= '9') {
    status = status * 10 + (statusLine[digits] - '0');
    ++digits;
  }
  if (digits == 0) return reply;
  reply.connects = true;
  reply.status = status;
  reply.dropAfterBody = statusLine.substr(digits).find("drop") != std::string_view::npos;
  while (found) {
    const std::string_view line = NextLine(record, found);
    if (line.empty()) break;
    reply.headerLines.emplace_back(line);
  }
  reply.body = std::string(record);
  return reply;
}

// The status line libcurl would have received for a status.
std::string StatusLine(long status) {
  return "HTTP/1.1 " + std::to_string(status) + " Scripted\r\n";
}

}  // namespace

std::vector<ScriptedReply> ParseReplyScript(std::span<const std::uint8_t> input) {
  std::vector<ScriptedReply> replies;
  std::string_view rest(reinterpret_cast<const char*>(input.data()), input.size());
  static constexpr std::string_view kSeparator = "\n%%\n";
  while (true) {
    const auto at = rest.find(kSeparator);
    replies.push_back(ParseOne(rest.substr(0, at)));
    if (at == std::string_view::npos) break;
    rest.remove_prefix(at + kSeparator.size());
  }
  if (input.empty()) replies.clear();
  return replies;
}

void SetScriptedReplies(std::vector<ScriptedReply> replies, bool cycle) {
  Script& s = TheScript();
  s.replies = std::move(replies);
  s.cycle = cycle;
  s.next = 0;
  s.performed = 0;
}

int PerformedExchanges() {
  return TheScript().performed;
}

}  // namespace orvane::fuzz

using orvane::fuzz::FakeHandle;

// libcurl declares the option and info parameters before "..." as enumerations, which clang
// warns about for va_start; both are int-sized and pass unpromoted, as in libcurl itself.
#pragma clang diagnostic ignored "-Wvarargs"

extern "C" {

CURL* curl_easy_init(void) {
  return new FakeHandle();
}

void curl_easy_cleanup(CURL* curl) {
  delete static_cast<FakeHandle*>(curl);
}

CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
  if (curl == nullptr) return CURLE_BAD_FUNCTION_ARGUMENT;
  auto& h = *static_cast<FakeHandle*>(curl);
  va_list ap;
  va_start(ap, option);
  switch (option) {
    case CURLOPT_URL:
      h.url = va_arg(ap, const char*);
      break;
    case CURLOPT_HTTPHEADER:
      h.headers = va_arg(ap, const curl_slist*);
      break;
    case CURLOPT_POST:
      h.post = va_arg(ap, long) != 0;
      break;
    case CURLOPT_HTTPGET:
      if (va_arg(ap, long) != 0) h.post = false;
      break;
    case CURLOPT_POSTFIELDS:
      h.postFields = va_arg(ap, const char*);
      h.post = true;
      break;
    case CURLOPT_POSTFIELDSIZE_LARGE:
      h.postSize = va_arg(ap, curl_off_t);
      break;
    case CURLOPT_BUFFERSIZE:
      h.bufferSize = va_arg(ap, long);
      break;
    case CURLOPT_WRITEFUNCTION:
      h.writeFunction = va_arg(ap, curl_write_callback);
      break;
    case CURLOPT_WRITEDATA:
      h.writeData = va_arg(ap, void*);
      break;
    case CURLOPT_HEADERFUNCTION:
      h.headerFunction = va_arg(ap, curl_write_callback);
      break;
    case CURLOPT_HEADERDATA:
      h.headerData = va_arg(ap, void*);
      break;
    case CURLOPT_XFERINFOFUNCTION:
      h.progressFunction = va_arg(ap, curl_xferinfo_callback);
      break;
    case CURLOPT_XFERINFODATA:
      h.progressData = va_arg(ap, void*);
      break;
    default:
      // Every other option takes one argument of its type class; it is consumed unused.
      if (option < CURLOPTTYPE_OBJECTPOINT) {
        (void)va_arg(ap, long);
      } else if (option < CURLOPTTYPE_OFF_T) {
        (void)va_arg(ap, void*);
      } else if (option < CURLOPTTYPE_BLOB) {
        (void)va_arg(ap, curl_off_t);
      } else {
        (void)va_arg(ap, void*);
      }
      break;
  }
  va_end(ap);
  return CURLE_OK;
}

CURLcode curl_easy_perform(CURL* curl) {
  if (curl == nullptr) return CURLE_BAD_FUNCTION_ARGUMENT;
  auto& h = *static_cast<FakeHandle*>(curl);
  auto& s = orvane::fuzz::TheScript();
  h.responseCode = 0;
  orvane::fuzz::CheckRequest(h);
  ++s.performed;
  if (s.cycle && !s.replies.empty()) s.next %= s.replies.size();
  if (s.next >= s.replies.size()) return CURLE_COULDNT_CONNECT;
  const orvane::fuzz::ScriptedReply& reply = s.replies[s.next++];
  if (!reply.connects) return CURLE_COULDNT_CONNECT;

  if (h.progressFunction != nullptr && h.progressFunction(h.progressData, 0, 0, 0, 0) != 0) {
    return CURLE_ABORTED_BY_CALLBACK;
  }
  h.responseCode = reply.status;
  auto header = [&](std::string line) {
    return h.headerFunction == nullptr || h.headerFunction(line.data(), 1, line.size(), h.headerData) == line.size();
  };
  if (!header(orvane::fuzz::StatusLine(reply.status))) return CURLE_WRITE_ERROR;
  for (const std::string& line : reply.headerLines) {
    if (!header(line + "\r\n")) return CURLE_WRITE_ERROR;
  }
  if (!header("\r\n")) return CURLE_WRITE_ERROR;

  // The body in pieces of at most the buffer size, as libcurl hands it over.
  const std::size_t piece = static_cast<std::size_t>(std::clamp<long>(h.bufferSize, 1024, CURL_MAX_READ_SIZE));
  std::string chunk;
  for (std::size_t at = 0; at < reply.body.size(); at += piece) {
    chunk.assign(reply.body, at, piece);
    if (h.writeFunction != nullptr && h.writeFunction(chunk.data(), 1, chunk.size(), h.writeData) != chunk.size()) {
      return CURLE_WRITE_ERROR;
    }
  }
  return reply.dropAfterBody ? CURLE_RECV_ERROR : CURLE_OK;
}

CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
  if (curl == nullptr) return CURLE_BAD_FUNCTION_ARGUMENT;
  const auto& h = *static_cast<const FakeHandle*>(curl);
  va_list ap;
  va_start(ap, info);
  CURLcode rc = CURLE_UNKNOWN_OPTION;
  if (info == CURLINFO_RESPONSE_CODE) {
    *va_arg(ap, long*) = h.responseCode;
    rc = CURLE_OK;
  }
  va_end(ap);
  return rc;
}

}  // extern "C"
