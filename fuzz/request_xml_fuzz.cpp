// DER to request document: a PKCS#10 request decoded and written as the XML document the
// request form is rendered from. The input is the request as the renderer accepts it (DER,
// PEM or bare Base64); the bytes are also decoded as DER directly.
//
// Checked besides memory safety: a decoded request always gives a document, and every
// document is well-formed XML.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/fuzz_env.h"
#include "common/xml_check.h"
#include "render/form_render.h"
#include "render/xml_documents.h"

using namespace orvane;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UsePrivateTempDir();
  fuzz::InitXml();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  {
    render::X509Request request(input);
    const auto xml = request.BuildRequestXml();
    if (request.Decoded() != xml.has_value()) fuzz::Finding("a decoded request without its document");
    if (xml) fuzz::CheckWellFormed(*xml, "request document is not well-formed XML");
  }
  // The renderer's own input detection (DER, PEM, Base64), as the request form takes it.
  if (const auto xml = render::RequestXmlFromInput(input)) {
    fuzz::CheckWellFormed(*xml, "request document (from text input) is not well-formed XML");
  }
  return 0;
}
