// One-line Russian texts of X.509 extensions for the forms, and the one-line form of a name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "render/document_text.h"

namespace orvane::render {

// The text of an extension value (the contents of the extension's OCTET STRING) in
// windows-1251. None when the OID or the value is missing; a value that cannot be decoded
// gives an empty text. Unknown extensions give the H1 dump of the value.
std::optional<std::string> RenderExtensionText(std::string_view oid, std::span<const std::uint8_t> value);

// "label=value" per attribute (the label from the OID-label table, else the OID), separated
// by single spaces, in windows-1251.
std::string RenderNameOneLine(const NameAttributes& attributes);

}  // namespace orvane::render
