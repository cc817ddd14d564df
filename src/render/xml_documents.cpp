#include "render/xml_documents.h"

#include <climits>
#include <cstdio>

#include "crypto/der.h"
#include "csp/gost_engine.h"
#include "render/extension_text.h"
#include "render/oid_tables.h"
#include "render/openssl_util.h"
#include "text/text.h"

namespace orvane::render {

namespace der = crypto::der;

namespace {

// Builds a document in windows-1251: markup literals are UTF-8 in the source and converted,
// texts between tags are escaped.
class XmlWriter {
 public:
  XmlWriter() = default;
  XmlWriter& Raw(std::string_view utf8) {
    bool ascii = true;
    for (char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
      out_ += utf8;
    } else {
      out_ += Cp1251(utf8);
    }
    return *this;
  }
  XmlWriter& Number(long long n) {
    out_ += std::to_string(n);
    return *this;
  }
  // Windows-1251 text, escaped.
  XmlWriter& Text(std::string_view cp1251) {
    AppendEscapedXmlText(out_, cp1251);
    return *this;
  }
  XmlWriter& Wide(std::u16string_view text) { return Text(ToCp1251(text)); }
  XmlWriter& Element(std::string_view tag, std::string_view cp1251) {
    Raw("<").Raw(tag).Raw(">").Text(cp1251).Raw("</").Raw(tag).Raw(">");
    return *this;
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

void Start(XmlWriter& w, const char* root) {
  w.Raw("<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\n");
  w.Raw("<").Raw(root).Raw(" xmlns=\"").Raw(kDocumentNamespace).Raw("\" xmlns:pki=\"").Raw(kDocumentNamespace);
  w.Raw("\">\n");
}

void Version(XmlWriter& w, long version) {
  // The number as shown counts from 1; a hostile maximum value is shown as it is.
  const long shown = version < LONG_MAX ? version + 1 : version;
  w.Raw("<version pki:value=\"").Number(version).Raw("\">").Number(shown).Raw("</version>\n");
}

const std::string& LabelOrOid(const std::string* label, const std::string& oid) {
  return label != nullptr ? *label : oid;
}

void Name(XmlWriter& w, const char* tag, const NameAttributes& attributes) {
  w.Raw("<").Raw(tag).Raw("><rdn>");
  for (const auto& a : attributes) {
    w.Raw("<rdn-attr pki:id=\"").Text(a.oid).Raw("\">");
    w.Element("name", LabelOrOid(LookupOidLabel1251(a.oid), a.oid));
    w.Element("value", ToCp1251(a.value));
    w.Raw("</rdn-attr>");
  }
  w.Raw("</rdn></").Raw(tag).Raw(">\n");
}

NameAttributes NameOf(const X509_NAME* name) {
  return ReadNameAttributes(ossl::NameDer(name)).value_or(NameAttributes{});
}

Bytes Encode(int (*i2d)(const X509_PUBKEY*, unsigned char**), const X509_PUBKEY* key) {
  unsigned char* out = nullptr;
  const int n = key != nullptr ? i2d(key, &out) : -1;
  Bytes bytes;
  if (n > 0) bytes.assign(out, out + n);
  OPENSSL_free(out);
  return bytes;
}

const std::string& AlgorithmLabel(const std::string& oid) {
  return LabelOrOid(LookupAlgorithmName1251(oid), oid);
}

void ExtensionEntry(XmlWriter& w, int order, const X509_EXTENSION* ext, bool lineAfterStart) {
  const std::string oid = ossl::ObjectText(X509_EXTENSION_get_object(const_cast<X509_EXTENSION*>(ext)));
  const bool critical = X509_EXTENSION_get_critical(ext) > 0;
  const auto value = ossl::StringBytes(X509_EXTENSION_get_data(const_cast<X509_EXTENSION*>(ext)));
  w.Raw("<extension pki:order=\"").Number(order).Raw("\" pki:id=\"").Text(oid);
  w.Raw("\" pki:critical=\"").Raw(critical ? "yes" : "no").Raw("\">");
  if (lineAfterStart) w.Raw("\n");
  w.Element("name", LookupExtensionName1251(oid));
  w.Element("value", RenderExtensionText(oid, value).value_or(""));
  w.Raw("</extension>\n");
}

// The DER of one value of an attribute; empty when there is none.
Bytes AttributeValue(X509_ATTRIBUTE* attribute, int index) {
  ASN1_TYPE* type = X509_ATTRIBUTE_get0_type(attribute, index);
  unsigned char* out = nullptr;
  const int n = type != nullptr ? i2d_ASN1_TYPE(type, &out) : -1;
  Bytes bytes;
  if (n > 0) bytes.assign(out, out + n);
  OPENSSL_free(out);
  return bytes;
}

void FreeExtensions(X509_EXTENSIONS* e) {
  sk_X509_EXTENSION_pop_free(e, X509_EXTENSION_free);
}

std::string ElementText(std::span<const std::uint8_t> bytes) {
  const auto e = der::Read(bytes);
  return e ? ToCp1251(StringValueText(e->tag, e->contents)) : std::string();
}

void EnrollmentProvider(XmlWriter& w, const Bytes& value) {
  std::string keySpec;
  std::string cspName;
  std::string signature;
  const auto top = der::Read(value);
  const auto kids = top && top->tag == der::tag::kSequence ? der::Children(*top) : std::nullopt;
  if (kids && kids->size() == 3 && (*kids)[0].tag == der::tag::kInteger) {
    const auto keySpecValue = (*kids)[0].contents;
    keySpec = !keySpecValue.empty() && keySpecValue[0] == 1 ? "AT_KEYEXCHANGE" : "AT_SIGNATURE";
    cspName = ToCp1251(StringValueText((*kids)[1].tag, (*kids)[1].contents));
    if ((*kids)[2].tag == der::tag::kBitString && (*kids)[2].contents.size() > 1) {
      signature = HexPairsUpper((*kids)[2].whole);
    }
  }
  w.Raw("<name>CSP подачи заявок</name><enrollment-provider><key-spec>");
  w.Element("value", keySpec);
  w.Raw("</key-spec><csp-name>");
  w.Element("value", cspName);
  w.Raw("</csp-name><csp-signature>");
  if (!signature.empty()) w.Element("value", signature);
  w.Raw("</csp-signature></enrollment-provider>");
}

void NameValuePairs(XmlWriter& w, X509_ATTRIBUTE* attribute) {
  w.Raw("<name>Дополнительные параметры запроса</name>");
  const int count = X509_ATTRIBUTE_count(attribute);
  if (count <= 0) return;
  w.Raw("<name-value-pairs>\n");
  for (int i = 0; i < count; ++i) {
    w.Raw("<name-value-pair pki:order=\"").Number(i + 1).Raw("\">\n");
    const Bytes value = AttributeValue(attribute, i);
    const auto top = der::Read(value);
    const auto kids = top && top->tag == der::tag::kSequence ? der::Children(*top) : std::nullopt;
    if (kids && kids->size() == 2) {
      w.Element("name", ToCp1251(StringValueText((*kids)[0].tag, (*kids)[0].contents)));
      w.Element("value", ToCp1251(StringValueText((*kids)[1].tag, (*kids)[1].contents)));
    }
    w.Raw("</name-value-pair>\n");
  }
  w.Raw("</name-value-pairs>\n");
}

void RequestAttribute(XmlWriter& w, int order, X509_ATTRIBUTE* attribute) {
  const std::string oid = ossl::ObjectText(X509_ATTRIBUTE_get0_object(attribute));
  w.Raw("<attribute pki:order=\"").Number(order).Raw("\" pki:id=\"").Text(oid).Raw("\">");
  const Bytes first = AttributeValue(attribute, 0);
  if (oid == "1.3.6.1.4.1.311.13.2.3") {
    w.Raw("<name>Версия ОС</name>").Element("value", ElementText(first));
  } else if (oid == "1.3.6.1.4.1.311.21.20") {
    w.Raw("<name>Сведения о клиенте</name>").Element("value", first.empty() ? "" : HexDumpLower(first));
  } else if (oid == "1.2.840.113549.1.9.14" || oid == "1.3.6.1.4.1.311.2.1.14") {
    w.Raw("<name>Расширения сертификатов</name><extensions>\n");
    auto extensions = ossl::DecodeWhole<FreeExtensions>(d2i_X509_EXTENSIONS, first);
    if (extensions) {
      for (int i = 0; i < sk_X509_EXTENSION_num(extensions.get()); ++i) {
        ExtensionEntry(w, i + 1, sk_X509_EXTENSION_value(extensions.get(), i), false);
      }
    }
    w.Raw("</extensions>\n");
  } else if (oid == "1.3.6.1.4.1.311.13.2.2") {
    EnrollmentProvider(w, first);
  } else if (oid == "1.3.6.1.4.1.311.13.2.1") {
    NameValuePairs(w, attribute);
  } else {
    w.Element("name", oid).Element("value", first.empty() ? "" : HexDumpLower(first));
  }
  w.Raw("</attribute>\n");
}

}  // namespace

PublicKeyParts ReadPublicKey(const X509_PUBKEY* key) {
  PublicKeyParts parts;
  const Bytes spki = Encode(i2d_X509_PUBKEY, key);
  const auto top = der::Read(spki);
  if (!top) return parts;
  const auto kids = der::Children(*top);
  if (!kids || kids->size() != 2) return parts;
  const auto alg = der::Children((*kids)[0]);
  if (alg && !alg->empty() && (*alg)[0].tag == der::tag::kOid) {
    parts.algorithm = der::OidText((*alg)[0].contents).value_or("");
    if (alg->size() > 1) parts.parameters = HexDumpLower((*alg)[1].whole);
  }
  const auto bits = (*kids)[1].contents;
  if ((*kids)[1].tag == der::tag::kBitString && !bits.empty()) {
    parts.unusedBits = bits[0];
    parts.value = HexPairsUpper(bits.subspan(1));
  }
  return parts;
}

std::optional<SignatureParts> ReadSignature(std::span<const std::uint8_t> encoded) {
  const auto top = der::Read(encoded);
  if (!top || top->tag != der::tag::kSequence) return std::nullopt;
  const auto kids = der::Children(*top);
  if (!kids || kids->size() != 3 || (*kids)[1].tag != der::tag::kSequence || (*kids)[2].tag != der::tag::kBitString) {
    return std::nullopt;
  }
  const auto alg = der::Children((*kids)[1]);
  if (!alg || alg->empty() || (*alg)[0].tag != der::tag::kOid) return std::nullopt;
  auto oid = der::OidText((*alg)[0].contents);
  if (!oid) return std::nullopt;
  return SignatureParts{std::move(*oid), SignatureHex((*kids)[2].contents)};
}

X509Request::X509Request(std::span<const std::uint8_t> der) : encoded_(der.begin(), der.end()) {
  csp::gost::EnsureEngine();
  auto parsed = ossl::DecodeWhole<X509_REQ_free>(d2i_X509_REQ, encoded_);
  info_.reset(parsed.release());
}

std::optional<std::string> X509Request::BuildRequestXml() const {
  if (!info_) return std::nullopt;
  X509_REQ* req = info_.get();
  XmlWriter w;
  Start(w, "request");
  Version(w, X509_REQ_get_version(req));
  Name(w, "subject", NameOf(X509_REQ_get_subject_name(req)));

  const PublicKeyParts key = ReadPublicKey(X509_REQ_get_X509_PUBKEY(req));
  w.Raw("<subject-public-key-info>\n<public-key-algorithm>");
  w.Element("name", AlgorithmLabel(key.algorithm)).Element("parameters", key.parameters);
  w.Raw("<value pki:unused-bits=\"").Number(key.unusedBits).Raw("\">").Text(key.value).Raw("</value>");
  w.Raw("</public-key-algorithm></subject-public-key-info>\n");

  w.Raw("<attributes>\n");
  const int count = X509_REQ_get_attr_count(req);
  for (int i = 0; i < count; ++i) RequestAttribute(w, i + 1, X509_REQ_get_attr(req, i));
  w.Raw("</attributes>\n");

  if (const auto sig = ReadSignature(encoded_)) {
    w.Raw("<signed-content>\n<signature-algorithm>").Element("name", AlgorithmLabel(sig->algorithm));
    w.Raw("</signature-algorithm>\n<signature-value>").Element("value", sig->value);
    w.Raw("</signature-value>\n</signed-content>\n");
  }
  w.Raw("</request>\n");
  return w.Take();
}

bool IsQualifiedIssuer(const NameAttributes& issuer) {
  for (const auto& a : issuer) {
    if (a.oid != "2.5.4.3") continue;
    bool latin = false;
    for (char16_t c : a.value) latin = latin || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    if (!latin) return true;
  }
  return false;
}

X509Certificate::X509Certificate(std::span<const std::uint8_t> der) : encoded_(der.begin(), der.end()) {
  csp::gost::EnsureEngine();
  auto parsed = ossl::DecodeWhole<X509_free>(d2i_X509, encoded_);
  certificate_.reset(parsed.release());
}

std::optional<NameAttributes> X509Certificate::SubjectAttributes() const {
  if (!certificate_) return std::nullopt;
  return NameOf(X509_get_subject_name(certificate_.get()));
}

std::optional<std::string> X509Certificate::BuildCertificateXml() const {
  if (!certificate_) return std::nullopt;
  X509* cert = certificate_.get();
  XmlWriter w;
  Start(w, "certificate");
  Version(w, X509_get_version(cert));

  const Bytes serial = ossl::IntegerContents(X509_get0_serialNumber(cert));
  w.Element("serial-number", text::HexUpper(serial.data(), serial.size(), " ")).Raw("\n");

  const NameAttributes issuer = NameOf(X509_get_issuer_name(cert));
  Name(w, "issuer", issuer);

  w.Raw("<validity>\n");
  w.Element("notBefore", FormatCertificateTime(ossl::TimeOf(X509_get0_notBefore(cert))).value_or("")).Raw("\n");
  w.Element("notAfter", FormatCertificateTime(ossl::TimeOf(X509_get0_notAfter(cert))).value_or("")).Raw("\n");
  w.Raw("</validity>\n");

  Name(w, "subject", NameOf(X509_get_subject_name(cert)));

  const PublicKeyParts key = ReadPublicKey(X509_get_X509_PUBKEY(cert));
  w.Raw("<subject-public-key-info>\n<public-key-algorithm>\n<algorithm pki:id=\"").Text(key.algorithm);
  w.Raw("\">\n").Element("name", AlgorithmLabel(key.algorithm)).Raw("\n</algorithm>\n");
  w.Element("parameters", key.parameters).Raw("\n");
  w.Raw("<value pki:unused-bits=\"").Number(key.unusedBits).Raw("\">").Text(key.value).Raw("</value>\n");
  w.Raw("</public-key-algorithm>\n</subject-public-key-info>\n");

  w.Raw("<extensions>\n");
  const int count = X509_get_ext_count(cert);
  for (int i = 0; i < count; ++i) ExtensionEntry(w, i + 1, X509_get_ext(cert, i), true);
  w.Raw("</extensions>\n");

  if (const auto sig = ReadSignature(encoded_)) {
    w.Raw("<signed-content>\n<signature-algorithm><algorithm pki:id=\"").Text(sig->algorithm).Raw("\">");
    w.Element("name", AlgorithmLabel(sig->algorithm)).Raw("</algorithm></signature-algorithm>");
    w.Raw("<signature-value>").Element("value", sig->value).Raw("</signature-value>\n</signed-content>\n");
  }
  w.Raw("<attributes>\n<qualified pki:value=\"").Raw(IsQualifiedIssuer(issuer) ? "yes" : "no").Raw("\" />\n");
  w.Raw("</attributes>\n</certificate>\n");
  return w.Take();
}

}  // namespace orvane::render
