#include "render/extension_text.h"

#include <cstdio>

#include "crypto/der.h"
#include "render/oid_tables.h"
#include "render/openssl_util.h"
#include "text/text.h"

namespace orvane::render {

namespace der = crypto::der;

namespace ossl {

Bytes IntegerContents(const ASN1_INTEGER* value) {
  if (value == nullptr) return {};
  unsigned char* encoded = nullptr;
  const int n = i2d_ASN1_INTEGER(value, &encoded);
  Bytes out;
  if (n > 0) {
    const auto e = der::Read(std::span<const std::uint8_t>(encoded, static_cast<std::size_t>(n)));
    if (e) out.assign(e->contents.begin(), e->contents.end());
  }
  OPENSSL_free(encoded);
  return out;
}

std::span<const std::uint8_t> NameDer(const X509_NAME* name) {
  const unsigned char* der = nullptr;
  std::size_t length = 0;
  if (name == nullptr || X509_NAME_get0_der(name, &der, &length) != 1 || der == nullptr) return {};
  return {der, length};
}

}  // namespace ossl

namespace {

// The text is collected in windows-1251.
class Text {
 public:
  void Literal(std::string_view utf8) { out_ += Cp1251(utf8); }
  void Wide(std::u16string_view s) { out_ += ToCp1251(s); }
  void Ascii(std::string_view s) { out_ += s; }
  void Bytes1251(std::span<const std::uint8_t> bytes) { out_.append(bytes.begin(), bytes.end()); }
  void Number(long long n) { Ascii(std::to_string(n)); }
  void Index(int i) {
    Ascii("[");
    Number(i);
    Ascii("]");
  }
  void Label(const std::string& oid) {
    const std::string* label = LookupOidLabel1251(oid);
    Ascii(label != nullptr ? *label : oid);
  }
  std::string Result() { return std::move(out_); }

 private:
  std::string out_;
};

std::u16string NameOneLineWide(const NameAttributes& attributes) {
  std::u16string out;
  for (const auto& a : attributes) {
    if (!out.empty()) out.push_back(u' ');
    const char* label = LookupOidLabel(a.oid);
    out += text::FromUtf8(label != nullptr ? std::string_view(label) : std::string_view(a.oid));
    out.push_back(u'=');
    out += a.value;
  }
  return out;
}

// Text of a GeneralName that carries an IA5 string (URI, DNS name).
std::span<const std::uint8_t> Ia5Of(const GENERAL_NAME* name, int type) {
  if (name == nullptr || name->type != type) return {};
  return ossl::StringBytes(name->d.ia5);
}

void KeyUsage(std::span<const std::uint8_t> value, Text& t) {
  auto bits = ossl::DecodeWhole<ASN1_BIT_STRING_free>(d2i_ASN1_BIT_STRING, value);
  if (!bits) return;
  const auto bytes = ossl::StringBytes(bits.get());
  const unsigned first = bytes.empty() ? 0 : bytes[0];
  static const struct {
    unsigned bit;
    const char* name;
  } kNames[] = {
      {0x80, "Цифровая подпись"}, {0x40, "Неотрекаемость"}, {0x20, "Шифрование ключей"}, {0x10, "Шифрование данных"}};
  bool any = false;
  for (const auto& n : kNames) {
    if ((first & n.bit) == 0) continue;
    if (any) t.Ascii(", ");
    t.Literal(n.name);
    any = true;
  }
  char hex[8];
  std::snprintf(hex, sizeof hex, " (%02x)", first);
  t.Ascii(hex);
}

void ExtendedKeyUsage(std::span<const std::uint8_t> value, Text& t) {
  auto eku = ossl::DecodeWhole<EXTENDED_KEY_USAGE_free>(d2i_EXTENDED_KEY_USAGE, value);
  if (!eku) return;
  for (int i = 0; i < sk_ASN1_OBJECT_num(eku.get()); ++i) {
    const std::string oid = ossl::ObjectText(sk_ASN1_OBJECT_value(eku.get(), i));
    t.Label(oid);
    t.Ascii(" (" + oid + ") ");
  }
}

void SubjectKeyId(std::span<const std::uint8_t> value, Text& t) {
  auto id = ossl::DecodeWhole<ASN1_OCTET_STRING_free>(d2i_ASN1_OCTET_STRING, value);
  if (id) t.Ascii(HexBytesSpaced(ossl::StringBytes(id.get())));
}

void AuthorityKeyId(std::span<const std::uint8_t> value, Text& t) {
  auto aki = ossl::DecodeWhole<AUTHORITY_KEYID_free>(d2i_AUTHORITY_KEYID, value);
  if (!aki) return;
  t.Literal("Идентификатор ключа=");
  t.Ascii(HexBytesSpaced(ossl::StringBytes(aki->keyid)));
  t.Ascii(" ");
  if (aki->issuer != nullptr && sk_GENERAL_NAME_num(aki->issuer) > 0) {
    const GENERAL_NAME* first = sk_GENERAL_NAME_value(aki->issuer, 0);
    if (first->type == GEN_DIRNAME) {
      const auto attrs = ReadNameAttributes(ossl::NameDer(first->d.directoryName));
      t.Literal("Поставщик сертификата: ");
      t.Wide(NameOneLineWide(attrs.value_or(NameAttributes{})));
      t.Ascii(" ");
    }
  }
  if (aki->serial != nullptr) {
    const Bytes serial = ossl::IntegerContents(aki->serial);
    std::string groups;
    for (std::size_t i = serial.size() % 2; i + 1 < serial.size(); i += 2) {
      if (!groups.empty()) groups.push_back(' ');
      groups += text::HexUpper(&serial[i], 2);
    }
    t.Literal("Серийный номер сертификата=");
    t.Ascii(groups);
  }
}

void CrlDistributionPoints(std::span<const std::uint8_t> value, Text& t) {
  auto points = ossl::DecodeWhole<CRL_DIST_POINTS_free>(d2i_CRL_DIST_POINTS, value);
  if (!points) return;
  for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
    const DIST_POINT* point = sk_DIST_POINT_value(points.get(), i);
    if (point->distpoint == nullptr || point->distpoint->type != 0) continue;
    const GENERAL_NAMES* names = point->distpoint->name.fullname;
    if (names == nullptr || sk_GENERAL_NAME_num(names) < 1) continue;
    const GENERAL_NAME* first = sk_GENERAL_NAME_value(names, 0);
    if (first->type != GEN_URI) continue;
    t.Index(i + 1);
    t.Ascii("URL=");
    t.Bytes1251(Ia5Of(first, GEN_URI));
    t.Ascii(" ");
  }
}

void AuthorityInfoAccess(std::span<const std::uint8_t> value, Text& t) {
  auto aia = ossl::DecodeWhole<AUTHORITY_INFO_ACCESS_free>(d2i_AUTHORITY_INFO_ACCESS, value);
  if (!aia) return;
  for (int i = 0; i < sk_ACCESS_DESCRIPTION_num(aia.get()); ++i) {
    const ACCESS_DESCRIPTION* ad = sk_ACCESS_DESCRIPTION_value(aia.get(), i);
    if (ad->location == nullptr || ad->location->type != GEN_URI) continue;
    t.Index(i + 1);
    t.Literal("Метод доступа=");
    t.Label(ossl::ObjectText(ad->method));
    t.Ascii(" URL=");
    t.Bytes1251(Ia5Of(ad->location, GEN_URI));
    t.Ascii(" ");
  }
}

void PrivateKeyUsagePeriod(std::span<const std::uint8_t> value, Text& t) {
  auto period = ossl::DecodeWhole<PKEY_USAGE_PERIOD_free>(d2i_PKEY_USAGE_PERIOD, value);
  if (!period) return;
  for (const ASN1_GENERALIZEDTIME* time : {period->notBefore, period->notAfter}) {
    if (time != nullptr && ASN1_TIME_check(time) != 1) return;
  }
  auto when = [](const ASN1_GENERALIZEDTIME* time) {
    return text::Cp1251ToWide(FormatCertificateTime(ossl::TimeOf(time)).value_or("")).value_or(u"");
  };
  t.Literal("Действителен с ");
  t.Wide(when(period->notBefore));
  t.Literal(" по ");
  t.Wide(when(period->notAfter));
}

void Policies(std::span<const std::uint8_t> value, Text& t) {
  auto policies = ossl::DecodeWhole<CERTIFICATEPOLICIES_free>(d2i_CERTIFICATEPOLICIES, value);
  if (!policies) return;
  for (int i = 0; i < sk_POLICYINFO_num(policies.get()); ++i) {
    t.Index(i + 1);
    t.Literal("Идентификатор политики=");
    t.Label(ossl::ObjectText(sk_POLICYINFO_value(policies.get(), i)->policyid));
    t.Ascii(" ");
  }
}

void OwnerSignatureTool(std::span<const std::uint8_t> value, Text& t) {
  auto s = ossl::DecodeWhole<ASN1_UTF8STRING_free>(d2i_ASN1_UTF8STRING, value);
  if (s) t.Wide(StringValueText(der::tag::kUtf8String, ossl::StringBytes(s.get())));
}

// The children of a SEQUENCE that fills the value exactly.
std::optional<std::vector<der::Element>> SequenceItems(std::span<const std::uint8_t> value) {
  const auto top = der::Read(value);
  if (!top || top->tag != der::tag::kSequence || top->whole.size() != value.size()) return std::nullopt;
  return der::Children(*top);
}

void IssuerSignatureTools(std::span<const std::uint8_t> value, Text& t) {
  const auto items = SequenceItems(value);
  if (!items) return;
  auto item = [&](std::size_t i) { return StringValueText((*items)[i].tag, (*items)[i].contents); };
  t.Literal("Средство электронной подписи: ");
  if (!items->empty()) t.Wide(item(0));
  t.Ascii(" ");
  if (items->size() > 2) {
    t.Literal("Заключение на средство ЭП: ");
    t.Wide(item(2));
    t.Ascii(" ");
  }
  if (items->size() > 1) {
    t.Literal("Средство УЦ: ");
    t.Wide(item(1));
    t.Ascii(" ");
  }
  if (items->size() > 3) {
    t.Literal("Заключение на средство УЦ: ");
    t.Wide(item(3));
  }
}

void IdentificationKind(std::span<const std::uint8_t> value, Text& t) {
  static const char* const kKinds[] = {
      "При личном присутствии",
      "Без личного присутствия с использованием квалифицированной ЭП",
      ("Без личного присутствия с использованием персональных данных, записанных на электронный носитель из "
       "заграничного паспорта"),
      "Без личного присутствия с использованием сведений из ЕСИА и ЕБС",
  };
  auto n = ossl::DecodeWhole<ASN1_INTEGER_free>(d2i_ASN1_INTEGER, value);
  std::int64_t kind = -1;
  if (n && ASN1_INTEGER_get_int64(&kind, n.get()) == 1 && kind >= 0 && kind <= 3) {
    t.Literal(kKinds[kind]);
    return;
  }
  const auto e = der::Read(value);
  if (e) t.Wide(StringValueText(der::tag::kUtf8String, e->contents));
}

void ProviderLicence(std::span<const std::uint8_t> value, Text& t) {
  const auto items = SequenceItems(value);
  if (!items) return;
  auto item = [&](std::size_t i) {
    return i < items->size() ? StringValueText((*items)[i].tag, (*items)[i].contents) : std::u16string();
  };
  t.Literal(
      "Ограниченная лицензия на Крипто-Про CSP для использования с закрытым ключом данного сертификата в рамках "
      "системы \"");
  t.Wide(item(1));
  t.Literal("\", полный текст доступен по адресу ");
  t.Wide(item(0));
}

void CertificateTemplate(std::span<const std::uint8_t> value, Text& t) {
  const auto items = SequenceItems(value);
  if (!items || items->empty() || (*items)[0].tag != der::tag::kOid) return;
  const auto oid = der::OidText((*items)[0].contents);
  if (!oid) return;
  t.Literal("Идентификатор шаблона = ");
  t.Ascii(*oid);
  t.Ascii(" ");
}

void AlternativeName(std::span<const std::uint8_t> value, Text& t) {
  auto names = ossl::DecodeWhole<GENERAL_NAMES_free>(d2i_GENERAL_NAMES, value);
  if (!names) return;
  for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
    if (name->type == GEN_DIRNAME) {
      const auto attrs = ReadNameAttributes(ossl::NameDer(name->d.directoryName));
      t.Index(i + 1);
      t.Literal("Имя каталога: ");
      t.Wide(NameOneLineWide(attrs.value_or(NameAttributes{})));
      t.Ascii(" ");
    } else if (name->type == GEN_DNS) {
      t.Index(i + 1);
      t.Literal("DNS имя: ");
      t.Bytes1251(Ia5Of(name, GEN_DNS));
      t.Ascii(" ");
    }
  }
}

}  // namespace

std::optional<std::string> RenderExtensionText(std::string_view oid, std::span<const std::uint8_t> value) {
  if (oid.empty() || value.empty()) return std::nullopt;
  static const struct {
    const char* oid;
    void (*render)(std::span<const std::uint8_t>, Text&);
  } kBranches[] = {
      {"2.5.29.15", KeyUsage},
      {"2.5.29.37", ExtendedKeyUsage},
      {"2.5.29.14", SubjectKeyId},
      {"2.5.29.35", AuthorityKeyId},
      {"2.5.29.31", CrlDistributionPoints},
      {"1.3.6.1.5.5.7.1.1", AuthorityInfoAccess},
      {"2.5.29.16", PrivateKeyUsagePeriod},
      {"2.5.29.32", Policies},
      {"1.2.643.100.111", OwnerSignatureTool},
      {"1.2.643.100.112", IssuerSignatureTools},
      {"1.2.643.100.114", IdentificationKind},
      {"1.2.643.2.2.49.2", ProviderLicence},
      {"1.3.6.1.4.1.311.21.7", CertificateTemplate},
      {"2.5.29.17", AlternativeName},
  };
  for (const auto& branch : kBranches) {
    if (oid == branch.oid) {
      Text t;
      branch.render(value, t);
      return t.Result();
    }
  }
  return HexDumpLower(value);
}

std::string RenderNameOneLine(const NameAttributes& attributes) {
  return ToCp1251(NameOneLineWide(attributes));
}

}  // namespace orvane::render
