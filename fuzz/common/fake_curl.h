// Scripted HTTP replies for the harnesses of the transport's users. fake_curl.cpp defines the
// libcurl easy-interface calls HttpClient makes (init, setopt, perform, getinfo, cleanup);
// linked into a harness program they take the place of libcurl's own, so an exchange never
// opens a socket: perform hands the next scripted reply to the client's header and body
// callbacks, exactly as libcurl would deliver it.
//
// While answering, the fake also checks what the client sends: no request header may carry a
// CR, LF or NUL (header injection), the address must be printable ASCII without blanks, and a
// POST body must be a form encoding (unreserved characters, "%XX", "=" and "&"). A violation
// aborts with a message, which libFuzzer reports as a crash.
//
// Script format, as the fuzz inputs carry it: replies separated by a line "%%". One reply:
//   status line  "200" (the status), "200 drop" (the connection breaks off after the body),
//                or anything not starting with a digit (no reply: the connection fails)
//   header lines "Name: value" up to the first empty line (passed on as they are; a line
//                starting with "HTTP/" starts a new header block, as an interim reply does)
//   body         everything after the empty line, byte for byte
// Lines end with LF; a CR before it is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvane::fuzz {

struct ScriptedReply {
  bool connects = false;  // false: the exchange fails before any reply
  long status = 0;
  bool dropAfterBody = false;
  std::vector<std::string> headerLines;  // without line ends
  std::string body;
};

std::vector<ScriptedReply> ParseReplyScript(std::span<const std::uint8_t> input);

// The replies of the following exchanges, in order. Without cycle an exchange after the last
// one fails to connect; with cycle the list starts again from the first (an empty list never
// connects).
void SetScriptedReplies(std::vector<ScriptedReply> replies, bool cycle);

// Exchanges performed since the last SetScriptedReplies.
int PerformedExchanges();

}  // namespace orvane::fuzz
