// DER to certificate document: an X.509 certificate decoded and written as the XML document
// the certificate form is rendered from, its subject read as the flows read it, and the
// certificate viewer's description of it. The input is the certificate as the renderer
// accepts it (DER, PEM or bare Base64); the bytes are also decoded as DER directly.
//
// Checked besides memory safety: a decoded certificate always gives a document and its
// subject, every document is well-formed XML, and a described certificate has a thumbprint
// of 40 upper-case hexadecimal digits.
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/fuzz_env.h"
#include "common/xml_check.h"
#include "render/certificate_view.h"
#include "render/extension_text.h"
#include "render/form_render.h"
#include "render/xml_documents.h"
#include "text/text.h"

using namespace orvane;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UsePrivateTempDir();
  fuzz::InitXml();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  {
    render::X509Certificate certificate(input);
    const auto xml = certificate.BuildCertificateXml();
    if (certificate.Decoded() != xml.has_value()) fuzz::Finding("a decoded certificate without its document");
    if (xml) fuzz::CheckWellFormed(*xml, "certificate document is not well-formed XML");
    const auto subject = certificate.SubjectAttributes();
    if (certificate.Decoded() != subject.has_value()) fuzz::Finding("a decoded certificate without its subject");
    if (subject) {
      (void)render::IsQualifiedIssuer(*subject);
      (void)render::RenderNameOneLine(*subject);
    }
  }
  if (const auto view = render::DescribeCertificate(input)) {
    if (view->thumbprint.size() != 40)
      fuzz::Finding("a thumbprint that is not 40 digits", text::ToUtf8(view->thumbprint));
    for (const char16_t c : view->thumbprint) {
      if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) {
        fuzz::Finding("a thumbprint that is not upper-case hexadecimal", text::ToUtf8(view->thumbprint));
      }
    }
  }
  if (const auto xml = render::CertificateXmlFromInput(input)) {
    fuzz::CheckWellFormed(*xml, "certificate document (from text input) is not well-formed XML");
  }
  return 0;
}
