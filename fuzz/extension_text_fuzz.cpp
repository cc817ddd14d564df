// Extension texts and the other field renderings of the request and certificate documents.
// The input is one byte choosing the extension, then the extension's value (the contents of
// its OCTET STRING): byte % 16 picks one of the fourteen extensions with a text of their own,
// an unknown OID (hexadecimal dump) or none. The value bytes are also rendered as a Name, a
// string of the chosen tag, a public key, a signed object, the three hexadecimal dumps, and
// escaped as document text.
//
// Checked besides memory safety: escaped text carries no markup character unescaped and no
// byte XML cannot carry, and a certificate time with a month in range is always formatted.
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/fuzz_env.h"
#include "render/document_text.h"
#include "render/extension_text.h"
#include "render/xml_documents.h"

using namespace orvane;

namespace {

constexpr const char* kOids[16] = {
    "2.5.29.15",
    "2.5.29.37",
    "2.5.29.14",
    "2.5.29.35",
    "2.5.29.31",
    "1.3.6.1.5.5.7.1.1",
    "2.5.29.16",
    "2.5.29.32",
    "1.2.643.100.111",
    "1.2.643.100.112",
    "1.2.643.100.114",
    "1.2.643.2.2.49.2",
    "1.3.6.1.4.1.311.21.7",
    "2.5.29.17",
    "1.2.643.100.999",
    "",
};

void CheckEscaped(std::string_view escaped) {
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const auto c = static_cast<unsigned char>(escaped[i]);
    if (c == '<' || c == '>' || c == '"' || c == '\'') fuzz::Finding("markup character left in escaped text");
    if (c == '&' && escaped.substr(i, 3) != "&#x") fuzz::Finding("an ampersand that starts no character reference");
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x98) {
      fuzz::Finding("a byte XML cannot carry left in escaped text");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t selector = data[0];
  const std::span<const std::uint8_t> value(data + 1, size - 1);

  const auto text = render::RenderExtensionText(kOids[selector % 16], value);
  if (text && !value.empty()) (void)render::EscapeXmlText(*text);

  if (const auto name = render::ReadNameAttributes(value)) (void)render::RenderNameOneLine(*name);
  (void)render::StringValueText(selector, value);
  (void)render::HexDumpLower(value);
  (void)render::HexPairsUpper(value);
  (void)render::SignatureHex(value);
  (void)render::HexBytesSpaced(value);
  (void)render::ReadSignature(value);

  const unsigned char* p = value.data();
  if (X509_PUBKEY* key = d2i_X509_PUBKEY(nullptr, &p, static_cast<long>(value.size()))) {
    (void)render::ReadPublicKey(key);
    X509_PUBKEY_free(key);
  }

  const std::string_view bytes(reinterpret_cast<const char*>(value.data()), value.size());
  CheckEscaped(render::EscapeXmlText(bytes));

  if (value.size() >= 6) {
    render::UtcTime t;
    t.year = 1900 + value[0] * 2;
    t.month = value[1] % 14;
    t.day = value[2];
    t.hour = value[3];
    t.minute = value[4];
    t.second = value[5];
    const auto formatted = render::FormatCertificateTime(t);
    if (t.month >= 1 && t.month <= 12 && !formatted) fuzz::Finding("a time with a month in range was not formatted");
  }
  return 0;
}
