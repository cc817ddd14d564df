#include "render/certificate_view.h"

#include <climits>

#include "crypto/gost.h"
#include "csp/gost_engine.h"
#include "render/document_text.h"
#include "render/extension_text.h"
#include "render/oid_tables.h"
#include "render/openssl_util.h"
#include "render/xml_documents.h"
#include "text/text.h"

namespace orvane::render {

namespace {

std::u16string Wide1251(std::string_view cp1251) {
  return cp1251.empty() ? std::u16string() : text::Cp1251ToWide(cp1251).value_or(u"");
}

std::u16string Ascii(std::string_view s) {
  return std::u16string(s.begin(), s.end());
}

NameAttributes NameOf(const X509_NAME* name) {
  return ReadNameAttributes(ossl::NameDer(name)).value_or(NameAttributes{});
}

// The common name when there is one, else the whole name in one line.
std::u16string ReadableName(const NameAttributes& attributes) {
  for (const auto& a : attributes) {
    if (a.oid == "2.5.4.3" && !a.value.empty()) return a.value;
  }
  return Wide1251(RenderNameOneLine(attributes));
}

std::u16string AlgorithmText(const std::string& oid) {
  const char* name = LookupAlgorithmName(oid);
  return text::FromUtf8(name != nullptr ? std::string_view(name) : std::string_view(oid));
}

std::u16string TimeText(const ASN1_TIME* time) {
  return Wide1251(FormatCertificateTime(ossl::TimeOf(time)).value_or(""));
}

}  // namespace

std::optional<CertificateView> DescribeCertificate(std::span<const std::uint8_t> der) {
  csp::gost::EnsureEngine();
  const auto certificate = ossl::DecodeWhole<X509_free>(d2i_X509, der);
  if (!certificate) return std::nullopt;
  X509* cert = certificate.get();

  CertificateView view;
  const NameAttributes subject = NameOf(X509_get_subject_name(cert));
  const NameAttributes issuer = NameOf(X509_get_issuer_name(cert));
  view.owner = ReadableName(subject);
  view.issuer = ReadableName(issuer);
  view.validFrom = TimeText(X509_get0_notBefore(cert));
  view.validTo = TimeText(X509_get0_notAfter(cert));
  view.thumbprint = Ascii(crypto::ThumbprintOf(der));

  auto& rows = view.fields;
  // The version as shown counts from 1, as on the form.
  const long version = X509_get_version(cert);
  rows.emplace_back(u"Версия", u"V" + Ascii(std::to_string(version < LONG_MAX ? version + 1 : version)));
  const Bytes serial = ossl::IntegerContents(X509_get0_serialNumber(cert));
  rows.emplace_back(u"Серийный номер", Ascii(text::HexUpper(serial.data(), serial.size(), " ")));
  const auto signature = ReadSignature(der);
  rows.emplace_back(u"Алгоритм подписи", signature ? AlgorithmText(signature->algorithm) : std::u16string());
  rows.emplace_back(u"Издатель", Wide1251(RenderNameOneLine(issuer)));
  rows.emplace_back(u"Действителен с", view.validFrom);
  rows.emplace_back(u"Действителен по", view.validTo);
  rows.emplace_back(u"Субъект", Wide1251(RenderNameOneLine(subject)));

  const PublicKeyParts key = ReadPublicKey(X509_get_X509_PUBKEY(cert));
  std::u16string keyText = AlgorithmText(key.algorithm);
  if (!key.value.empty()) keyText += u": " + Ascii(key.value);
  rows.emplace_back(u"Открытый ключ", std::move(keyText));

  const int count = X509_get_ext_count(cert);
  for (int i = 0; i < count; ++i) {
    X509_EXTENSION* ext = X509_get_ext(cert, i);
    const std::string oid = ossl::ObjectText(X509_EXTENSION_get_object(ext));
    const auto value = ossl::StringBytes(X509_EXTENSION_get_data(ext));
    rows.emplace_back(text::FromUtf8(LookupExtensionName(oid)), Wide1251(RenderExtensionText(oid, value).value_or("")));
  }

  rows.emplace_back(u"Подпись", signature ? Ascii(text::TrimSpaces(std::string_view(signature->value))) : u"");
  rows.emplace_back(u"Отпечаток", view.thumbprint);
  return view;
}

}  // namespace orvane::render
