// Attribute lists of distinguished-name texts: "OID=value" pairs separated by commas outside
// quotes, as the request system sends the subject and the subject alternative name.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane::request {

// One attribute: OID, value as written, display value (absent when a hexadecimal value
// decodes to nothing).
struct tripleValueWide {
  std::u16string oid;
  std::u16string value;
  std::optional<std::u16string> display;
};

using AttributeList = std::vector<std::shared_ptr<const tripleValueWide>>;

// Splits the text into attributes in text order; none when the text is absent. Tokens
// without "=" are skipped; a doubled quote stands for one quote; enclosing quotes are
// removed; an unstructured name (1.2.840.113549.1.9.2) written as "#" and hexadecimal DER is
// displayed as its UTF-8 content.
std::optional<AttributeList> ParseAttributeList(const std::optional<std::u16string>& text);

}  // namespace orvane::request
