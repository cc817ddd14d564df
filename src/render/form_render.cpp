#include "render/form_render.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/variables.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <openssl/err.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <memory>

#include "crypto/der.h"
#include "platform/temp_file.h"
#include "render/stylesheets.h"
#include "render/xml_documents.h"
#include "text/text.h"

namespace orvane::render {

namespace {

struct DocFree {
  void operator()(xmlDoc* p) const { xmlFreeDoc(p); }
};
struct StylesheetFree {
  void operator()(xsltStylesheet* p) const { xsltFreeStylesheet(p); }
};
struct TransformContextFree {
  void operator()(xsltTransformContext* p) const { xsltFreeTransformContext(p); }
};
struct SecurityPrefsFree {
  void operator()(xsltSecurityPrefs* p) const { xsltFreeSecurityPrefs(p); }
};
struct XmlCharFree {
  void operator()(xmlChar* p) const { xmlFree(p); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

void Quiet(void*, const char*, ...) {}

class Stopwatch {
 public:
  explicit Stopwatch(double* sink) : sink_(sink), start_(std::chrono::steady_clock::now()) {}
  ~Stopwatch() {
    if (sink_ != nullptr) {
      *sink_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
  }
  Stopwatch(const Stopwatch&) = delete;
  Stopwatch& operator=(const Stopwatch&) = delete;

 private:
  double* sink_;
  std::chrono::steady_clock::time_point start_;
};

DocPtr Parse(const void* bytes, std::size_t size) {
  if (size == 0 || size > INT_MAX) return nullptr;
  return DocPtr(
      xmlReadMemory(static_cast<const char*>(bytes), static_cast<int>(size), nullptr, nullptr, kParseOptions));
}

bool IsBase64Text(std::span<const std::uint8_t> input) {
  for (std::uint8_t c : input) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                    c == '/' || c == '=' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (!ok) return false;
  }
  return true;
}

// One DER element that takes up the whole input.
bool IsWholeDer(std::span<const std::uint8_t> input) {
  const auto e = crypto::der::Read(input);
  return e && e->tag == crypto::der::tag::kSequence && e->whole.size() == input.size();
}

double* Field(RenderTimings* t, double RenderTimings::*member) {
  return t != nullptr ? &(t->*member) : nullptr;
}

std::optional<std::u16string> WriteHtml(WizardUi& ui, WindowHandle owner, const std::string& html,
                                        RenderTimings* timings) {
  Stopwatch watch(Field(timings, &RenderTimings::output));
  auto file = platform::TempFile::Create("TVK-", ".html");
  if (!file || !file->WriteAt(0, html.data(), html.size())) {
    ui.ShowError(owner, u"Ошибка записи HTML файла");
    return std::nullopt;
  }
  const std::string path = file->Path();
  file->Release();  // the caller shows the form and deletes the file
  return text::FromUtf8(path);
}

template <typename Document>
std::optional<std::string> DocumentFromInput(std::span<const std::uint8_t> input, const char* what,
                                             RenderTimings* timings) {
  std::optional<Document> object;
  {
    Stopwatch watch(Field(timings, &RenderTimings::decoding));
    const auto der = input.size() <= kMaxObjectSize ? DecodeObjectText(input) : std::nullopt;
    if (der) object.emplace(*der);
    if (!object || !object->Decoded()) {
      std::printf("Cannot read %s, error 0x%lx\n", what, static_cast<unsigned long>(ERR_peek_last_error()));
      std::fflush(stdout);
      ERR_clear_error();
      return std::nullopt;
    }
  }
  Stopwatch watch(Field(timings, &RenderTimings::document));
  if constexpr (std::is_same_v<Document, X509Request>) {
    return object->BuildRequestXml();
  } else {
    return object->BuildCertificateXml();
  }
}

template <typename Document>
std::optional<std::string> RenderHtml(WizardUi& ui, WindowHandle owner, const FormContacts& contacts,
                                      std::span<const std::uint8_t> input, const char* what,
                                      std::span<const std::uint8_t> stylesheet, RenderTimings* timings) {
  const auto xml = DocumentFromInput<Document>(input, what, timings);
  if (!xml) {
    ui.ShowError(owner, u"Ошибка создания XML файла");
    return std::nullopt;
  }
  Stopwatch watch(Field(timings, &RenderTimings::transform));
  auto html = TransformXml(*xml, stylesheet, {{"ca-address", contacts.caAddress}, {"ca-phone", contacts.caPhone}});
  if (!html) {
    ui.ShowError(owner, u"Ошибка выполнения XSLT преобразования");
    return std::nullopt;
  }
  return html;
}

}  // namespace

std::optional<Bytes> DecodeObjectText(std::span<const std::uint8_t> input) {
  if (input.empty()) return std::nullopt;
  // DER first, by its structure: a certificate's own text may well hold "-----BEGIN ".
  if (IsWholeDer(input)) return Bytes(input.begin(), input.end());
  const std::string_view textView(reinterpret_cast<const char*>(input.data()), input.size());
  const std::size_t begin = textView.find("-----BEGIN ");
  if (begin != std::string_view::npos) {
    const std::size_t bodyStart = textView.find('\n', begin);
    const std::size_t end = textView.find("-----END ", begin);
    if (bodyStart == std::string_view::npos || end == std::string_view::npos || end < bodyStart) {
      return std::nullopt;
    }
    const auto body = input.subspan(bodyStart + 1, end - bodyStart - 1);
    if (!IsBase64Text(body)) return std::nullopt;
    return text::Base64Decode(textView.substr(bodyStart + 1, end - bodyStart - 1));
  }
  if (IsBase64Text(input)) return text::Base64Decode(textView);
  return Bytes(input.begin(), input.end());
}

std::optional<std::string> TransformXml(std::string_view xml, std::span<const std::uint8_t> stylesheet,
                                        const std::vector<std::pair<std::string, std::string>>& parameters) {
  xmlInitParser();
  DocPtr document = Parse(xml.data(), xml.size());
  if (!document) return std::nullopt;
  DocPtr styleDoc = Parse(stylesheet.data(), stylesheet.size());
  if (!styleDoc) return std::nullopt;
  std::unique_ptr<xsltStylesheet, StylesheetFree> style(xsltParseStylesheetDoc(styleDoc.get()));
  if (!style) return std::nullopt;
  styleDoc.release();  // owned by the stylesheet from now on

  std::unique_ptr<xsltTransformContext, TransformContextFree> context(
      xsltNewTransformContext(style.get(), document.get()));
  std::unique_ptr<xsltSecurityPrefs, SecurityPrefsFree> prefs(xsltNewSecurityPrefs());
  if (!context || !prefs) return std::nullopt;
  for (xsltSecurityOption option : {XSLT_SECPREF_READ_FILE, XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
                                    XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK}) {
    xsltSetSecurityPrefs(prefs.get(), option, xsltSecurityForbid);
  }
  if (xsltSetCtxtSecurityPrefs(prefs.get(), context.get()) != 0) return std::nullopt;
  xsltSetTransformErrorFunc(context.get(), nullptr, Quiet);
  for (const auto& [name, value] : parameters) {
    if (xsltQuoteOneUserParam(context.get(), reinterpret_cast<const xmlChar*>(name.c_str()),
                              reinterpret_cast<const xmlChar*>(value.c_str())) != 0) {
      return std::nullopt;
    }
  }
  DocPtr result(xsltApplyStylesheetUser(style.get(), document.get(), nullptr, nullptr, nullptr, context.get()));
  if (!result || context->state != XSLT_STATE_OK) return std::nullopt;

  xmlChar* raw = nullptr;
  int length = 0;
  const int rc = xsltSaveResultToString(&raw, &length, result.get(), style.get());
  std::unique_ptr<xmlChar, XmlCharFree> bytes(raw);
  if (rc != 0 || !bytes || length <= 0) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(bytes.get()), static_cast<std::size_t>(length));
}

std::optional<std::string> RequestXmlFromInput(std::span<const std::uint8_t> input) {
  return DocumentFromInput<X509Request>(input, "certificate request", nullptr);
}

std::optional<std::string> CertificateXmlFromInput(std::span<const std::uint8_t> input) {
  return DocumentFromInput<X509Certificate>(input, "certificate", nullptr);
}

std::optional<std::string> FormRenderer::RenderRequestHtml(WizardUi& ui, WindowHandle owner,
                                                           std::span<const std::uint8_t> input,
                                                           RenderTimings* timings) const {
  return RenderHtml<X509Request>(ui, owner, contacts_, input, "certificate request", RequestStylesheet(), timings);
}

std::optional<std::string> FormRenderer::RenderCertificateHtml(WizardUi& ui, WindowHandle owner,
                                                               std::span<const std::uint8_t> input,
                                                               RenderTimings* timings) const {
  return RenderHtml<X509Certificate>(ui, owner, contacts_, input, "certificate", CertificateStylesheet(), timings);
}

std::optional<std::u16string> FormRenderer::RenderRequestForm(WizardUi& ui, WindowHandle owner,
                                                              io::ASVariableBuffer* request,
                                                              RenderTimings* timings) const {
  if (request == nullptr) return std::nullopt;
  if (request->Length() == 0) {
    ui.ShowError(owner, u"Неизвестная ошибка");
    return std::nullopt;
  }
  if (request->Length() > static_cast<std::int64_t>(kMaxObjectSize)) {
    std::printf("Cannot read certificate request, error 0x%x\n", 0u);
    ui.ShowError(owner, u"Ошибка создания XML файла");
    return std::nullopt;
  }
  const std::int64_t position = request->ReadPosition();
  request->SetReadPosition(0);
  const auto bytes = request->ReadAll();
  request->SetReadPosition(position);
  if (!bytes) {
    ui.ShowError(owner, u"Неизвестная ошибка");
    return std::nullopt;
  }
  return RenderRequestForm(ui, owner, *bytes, timings);
}

std::optional<std::u16string> FormRenderer::RenderRequestForm(WizardUi& ui, WindowHandle owner,
                                                              std::span<const std::uint8_t> request,
                                                              RenderTimings* timings) const {
  if (request.empty()) {
    ui.ShowError(owner, u"Неизвестная ошибка");
    return std::nullopt;
  }
  const auto html = RenderRequestHtml(ui, owner, request, timings);
  if (!html) return std::nullopt;
  return WriteHtml(ui, owner, *html, timings);
}

std::optional<std::u16string> FormRenderer::RenderCertificateForm(WizardUi& ui, WindowHandle owner,
                                                                  std::span<const std::uint8_t> certificate,
                                                                  RenderTimings* timings) const {
  if (certificate.empty()) return std::nullopt;
  const auto html = RenderCertificateHtml(ui, owner, certificate, timings);
  if (!html) return std::nullopt;
  return WriteHtml(ui, owner, *html, timings);
}

}  // namespace orvane::render
