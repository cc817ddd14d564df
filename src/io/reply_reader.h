// Reader of the request system's XML reply documents (expat). Elements are recognised by
// name wherever they stand, ignoring case and namespace prefixes; `oid` counts only inside
// `eku`. Text is collected in an ASVariableBuffer; the body is fed in 32 KiB chunks. The
// document's declared encoding is honoured (windows-1251 included); handlers see UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "io/variable_buffer.h"

namespace orvane::io {

// Called at the end of a watched element with its name as listed in `elements` and its text
// (cursor at 0; the handler may read it, rewind and read again).
using ElementHandler = std::function<void(const std::string& name, ASVariableBuffer& text)>;

// The largest reply document read; a longer one is rejected unread.
inline constexpr std::int64_t kMaxReplyDocument = 4 << 20;

// Parses the body from its read cursor on. False when the document is rejected (not
// well-formed, longer than kMaxReplyDocument, or a read of the body failed). `oid` in `elements` is watched only inside
// an `eku` element.
bool ReadReplyDocument(ASVariableBuffer& body, const std::vector<std::string>& elements,
                       const ElementHandler& onElement);

// "1", "true" or "yes", ignoring case.
bool IsTruthy(std::string_view text);

// The value of the leading decimal digits (0 when the text does not start with one).
unsigned long LeadingNumber(std::string_view text);

}  // namespace orvane::io
