#include "io/reply_reader.h"

#include <expat.h>

#include <memory>

#include "text/text.h"

namespace orvane::io {
namespace {

struct ParserDeleter {
  void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

struct ReaderState {
  const std::vector<std::string>* elements;
  const ElementHandler* onElement;
  ASVariableBuffer text;
  bool collect = false;
  bool insideEku = false;
  bool storeFailed = false;
};

std::string_view LocalName(const XML_Char* name) {
  std::string_view n(name);
  const auto colon = n.rfind(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

// The listed name an element stands for, or null.
const std::string* Watched(const ReaderState& s, std::string_view local) {
  for (const std::string& e : *s.elements) {
    if (text::EqualsIgnoreCase(e, local)) {
      if (text::EqualsIgnoreCase(e, "oid") && !s.insideEku) return nullptr;
      return &e;
    }
  }
  return nullptr;
}

void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char**) {
  auto* s = static_cast<ReaderState*>(user);
  const std::string_view local = LocalName(name);
  s->text.Reset();
  if (text::EqualsIgnoreCase(local, "eku")) s->insideEku = true;
  if (Watched(*s, local) != nullptr) s->collect = true;
}

void XMLCALL OnEnd(void* user, const XML_Char* name) {
  auto* s = static_cast<ReaderState*>(user);
  const std::string_view local = LocalName(name);
  if (const std::string* watched = Watched(*s, local); watched != nullptr) {
    s->text.SetReadPosition(0);
    (*s->onElement)(*watched, s->text);
  }
  if (text::EqualsIgnoreCase(local, "eku")) s->insideEku = false;
  s->collect = false;
}

void XMLCALL OnText(void* user, const XML_Char* data, int length) {
  auto* s = static_cast<ReaderState*>(user);
  if (s->collect && !s->text.Append(data, length)) s->storeFailed = true;
}

// Single-byte Windows-1251 for documents that declare it; expat knows only UTF-8/16,
// ISO-8859-1 and US-ASCII by itself.
int XMLCALL OnUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
  const std::string_view n(name);
  if (!text::EqualsIgnoreCase(n, "windows-1251") && !text::EqualsIgnoreCase(n, "cp1251")) return XML_STATUS_ERROR;
  for (int b = 0; b < 256; ++b) info->map[b] = text::Cp1251Char(static_cast<unsigned char>(b));
  info->data = nullptr;
  info->convert = nullptr;
  info->release = nullptr;
  return XML_STATUS_OK;
}

}  // namespace

bool IsTruthy(std::string_view text) {
  return text::EqualsIgnoreCase(text, "1") || text::EqualsIgnoreCase(text, "true") ||
         text::EqualsIgnoreCase(text, "yes");
}

unsigned long LeadingNumber(std::string_view text) {
  unsigned long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 0xFFFFFFFFul) return 0xFFFFFFFFul;  // a 32-bit field: saturate instead of wrapping
  }
  return value;
}

bool ReadReplyDocument(ASVariableBuffer& body, const std::vector<std::string>& elements,
                       const ElementHandler& onElement) {
  // Reply documents are a few KiB; one far larger is refused before a byte of it is parsed.
  if (body.Remaining() > kMaxReplyDocument) return false;
  std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
  if (!parser) return false;
  ReaderState state{&elements, &onElement, {}, false, false, false};
  XML_SetUserData(parser.get(), &state);
  XML_SetElementHandler(parser.get(), OnStart, OnEnd);
  XML_SetCharacterDataHandler(parser.get(), OnText);
  XML_SetUnknownEncodingHandler(parser.get(), OnUnknownEncoding, nullptr);

  std::vector<char> chunk(32768);
  do {
    const std::int64_t n = body.Read(chunk.data(), static_cast<std::int64_t>(chunk.size()));
    if (n < 0) return false;
    const bool final = body.Remaining() == 0;
    if (XML_Parse(parser.get(), chunk.data(), static_cast<int>(n), final ? 1 : 0) != XML_STATUS_OK) return false;
    if (state.storeFailed) return false;
    if (final) break;
  } while (true);
  return true;
}

}  // namespace orvane::io
