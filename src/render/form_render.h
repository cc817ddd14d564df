// Form rendering: a request or certificate (DER, Base64 or PEM) becomes its XML document, the
// document is transformed in memory with the matching stylesheet (libxslt, HTML output in
// windows-1251 as the stylesheet declares), and the HTML is written to a new temporary file
// ("TVK-XXXXXX.html", mode 0600) whose path is returned. Each failure shows one message through
// the UI seam.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "io/variable_buffer.h"
#include "platform/wizard_ui.h"
#include "render/document_text.h"

namespace orvane::render {

// Inputs larger than this are refused as undecodable (a request or certificate is a few KiB).
inline constexpr std::size_t kMaxObjectSize = 1 << 20;

// Where the time of one rendering went, in seconds.
struct RenderTimings {
  double decoding = 0;   // input format detection and decoding of the object
  double document = 0;   // building the XML document
  double transform = 0;  // libxml2/libxslt: parsing, transformation, serialisation
  double output = 0;     // writing the HTML file
};

// The DER of an object given as DER, PEM (Base64 between header lines) or bare Base64. None
// when none of them yields bytes.
std::optional<Bytes> DecodeObjectText(std::span<const std::uint8_t> input);

// Transforms a document with a stylesheet, both in memory; string parameters are passed to
// the stylesheet's xsl:param elements. The result is serialised as the stylesheet's
// xsl:output declares. None when either does not parse, the transformation fails or its
// result is empty. Stylesheets may not read or write files or the network.
std::optional<std::string> TransformXml(std::string_view xml, std::span<const std::uint8_t> stylesheet,
                                        const std::vector<std::pair<std::string, std::string>>& parameters = {});

// The documents of a request or certificate given as DER, PEM or Base64; none when it cannot
// be decoded (after the diagnostic line on standard output).
std::optional<std::string> RequestXmlFromInput(std::span<const std::uint8_t> input);
std::optional<std::string> CertificateXmlFromInput(std::span<const std::uint8_t> input);

// The CA's contacts printed on the forms (deployment configuration).
struct FormContacts {
  std::string caAddress;
  std::string caPhone;
};

// Renders the forms with the deployment's contacts.
class FormRenderer {
 public:
  explicit FormRenderer(FormContacts contacts) : contacts_(std::move(contacts)) {}

  // The HTML of the forms in windows-1251; on failure one message through ui and none.
  std::optional<std::string> RenderRequestHtml(WizardUi& ui, WindowHandle owner, std::span<const std::uint8_t> input,
                                               RenderTimings* timings = nullptr) const;
  std::optional<std::string> RenderCertificateHtml(WizardUi& ui, WindowHandle owner,
                                                   std::span<const std::uint8_t> input,
                                                   RenderTimings* timings = nullptr) const;

  // The request form as a temporary HTML file; its path (the caller shows and deletes it), or
  // none. No buffer: none without a message; an empty buffer: "Неизвестная ошибка".
  std::optional<std::u16string> RenderRequestForm(WizardUi& ui, WindowHandle owner, io::ASVariableBuffer* request,
                                                  RenderTimings* timings = nullptr) const;
  std::optional<std::u16string> RenderRequestForm(WizardUi& ui, WindowHandle owner,
                                                  std::span<const std::uint8_t> request,
                                                  RenderTimings* timings = nullptr) const;
  // The certificate form; an empty certificate gives none without a message.
  std::optional<std::u16string> RenderCertificateForm(WizardUi& ui, WindowHandle owner,
                                                      std::span<const std::uint8_t> certificate,
                                                      RenderTimings* timings = nullptr) const;

 private:
  FormContacts contacts_;
};

}  // namespace orvane::render
