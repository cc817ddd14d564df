// The attribute-list parser of distinguished-name texts ("OID=value" pairs separated by
// commas outside quotes), as the request system sends the subject and the alternative name.
// The input is the text in UTF-8, as it arrives inside a reply document; an input of even
// length is parsed a second time read as UTF-16 (little-endian), the form the record holds.
//
// The parsed list then goes where the program takes it: the request-data dialog's rows, and
// the subject Name of the PKCS#10 request. A Name our own encoder writes must read back as
// one attribute per entry, and an entry of plain ASCII must read back with its value.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/fuzz_env.h"
#include "keys/pkcs10.h"
#include "render/document_text.h"
#include "request/attribute_list.h"
#include "request/request_data.h"
#include "request/request_properties.h"
#include "text/text.h"

using namespace orvane;

namespace {

bool PlainAscii(std::u16string_view s) {
  for (const char16_t c : s) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

void Check(const std::u16string& textIn) {
  const auto list = request::ParseAttributeList(textIn);
  if (!list) fuzz::Finding("a present text gave no list");
  for (const auto& entry : *list) {
    if (!entry) fuzz::Finding("a null entry in the list");
    if (text::TrimSpaces(entry->oid) != entry->oid) fuzz::Finding("an OID with surrounding blanks");
  }

  const auto encoded = keys::EncodeSubjectName(*list);
  if (encoded.der) {
    const auto attributes = render::ReadNameAttributes(*encoded.der);
    if (!attributes) fuzz::Finding("the encoded subject Name does not read back");
    if (attributes->size() != list->size()) fuzz::Finding("the encoded subject Name has another attribute count");
    for (std::size_t i = 0; i < list->size(); ++i) {
      const auto& value = (*list)[i]->value;
      if (PlainAscii(value) && (*attributes)[i].value != value) {
        fuzz::Finding("an ASCII subject value reads back changed", text::ToUtf8(value));
      }
    }
  }

  // The request-data dialog: the same text as subject and as alternative name.
  auto record = std::make_shared<request::remoteRequestData>();
  record->subject_quoted = textIn;
  record->subjectAltName = textIn;
  request::RequestPropertiesModel model(record);
  model.Initialise();
  if (model.Rows().size() > request::SubjectLabels().size()) fuzz::Finding("more rows than labels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(text::FromUtf8(bytes));
  if (size % 2 == 0) {
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
      units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    Check(units);
  }
  (void)request::ParseAttributeList(std::nullopt);
  return 0;
}
