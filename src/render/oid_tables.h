// The three lookup tables that give object identifiers their display texts on the forms:
// attribute and usage labels, algorithm names and extension names. Each table is an ordered
// array; a lookup returns the text of the first row whose OID equals the argument exactly.
// Texts are UTF-8 here; the documents convert them to windows-1251.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace orvane::render {

struct OidText {
  std::string oid;
  std::string text;
  std::string text1251 = {};  // the text in windows-1251, filled when the table is built
};

// The rows in table order (for tests and diagnostics).
std::span<const OidText> OidLabelTable();
std::span<const OidText> AlgorithmNameTable();
std::span<const OidText> ExtensionNameTable();

// The label of an attribute, usage, policy or access method; null when the OID is absent.
const char* LookupOidLabel(std::string_view oid);
// The name of an algorithm; null when the OID is absent.
const char* LookupAlgorithmName(std::string_view oid);
// The name of an extension, or the OID itself when it is absent.
std::string LookupExtensionName(std::string_view oid);

// The same lookups with the texts in windows-1251, for the documents.
const std::string* LookupOidLabel1251(std::string_view oid);
const std::string* LookupAlgorithmName1251(std::string_view oid);
std::string LookupExtensionName1251(std::string_view oid);

}  // namespace orvane::render
