// The documents the render module builds must be well-formed XML: the form stylesheets are
// applied to them, and a document libxml2 cannot parse is a form that cannot be shown.
#pragma once

#include <libxml/parser.h>

#include <string>

#include "common/fuzz_env.h"

namespace orvane::fuzz {

inline void InitXml() {
  xmlInitParser();
}

inline void CheckWellFormed(const std::string& document, const char* what) {
  xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "document.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  if (doc == nullptr) Finding(what, document);
  xmlFreeDoc(doc);
}

}  // namespace orvane::fuzz
