#include "operator/agent_settings.h"

#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <optional>

#include "crypto/gost.h"
#include "render/document_text.h"
#include "render/openssl_util.h"
#include "render/xml_documents.h"
#include "text/text.h"

namespace orvane::op {
namespace {

constexpr const char* kCommonName = "2.5.4.3";
constexpr const char* kSurname = "2.5.4.4";
constexpr const char* kOrganisation = "2.5.4.10";
constexpr const char* kGivenName = "2.5.4.42";

::orvane::ossl::X509Ptr Decode(const CertificateContext& certificate) {
  return render::ossl::DecodeWhole<X509_free>(d2i_X509, certificate.der);
}

// The value of the last attribute with the OID.
std::optional<std::u16string> Last(const render::NameAttributes& attributes, const char* oid) {
  std::optional<std::u16string> value;
  for (const auto& a : attributes) {
    if (a.oid == oid) value = a.value;
  }
  return value;
}

std::u16string LongTime(const ASN1_TIME* time) {
  const auto cp1251 = render::FormatCertificateTime(render::ossl::TimeOf(time));
  if (!cp1251) return std::u16string();
  return text::Cp1251ToWide(*cp1251).value_or(u"");
}

std::u16string ShortDate(const ASN1_TIME* time) {
  const auto t = render::ossl::TimeOf(time);
  if (!t) return std::u16string();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", t->day, t->month, t->year);
  return text::FromUtf8(buf);
}

}  // namespace

bool IsOperatorCertificate(const CertificateContext& certificate) {
  auto x509 = Decode(certificate);
  if (!x509) return false;
  const int index = X509_get_ext_by_NID(x509.get(), NID_ext_key_usage, -1);
  if (index < 0) return false;
  ::orvane::ossl::Ptr<EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_free> usage(
      static_cast<EXTENDED_KEY_USAGE*>(X509V3_EXT_d2i(X509_get_ext(x509.get(), index))));
  if (!usage || sk_ASN1_OBJECT_num(usage.get()) < 1) return false;
  int matches = 0;
  for (int i = 0; i < sk_ASN1_OBJECT_num(usage.get()); ++i) {
    const int nid = OBJ_obj2nid(sk_ASN1_OBJECT_value(usage.get(), i));
    if (nid == NID_client_auth || nid == NID_email_protect) ++matches;
  }
  if (matches != 2) return false;
  const auto generation = crypto::CertificateGeneration(&certificate);
  if (generation != crypto::kGost2012_256 && generation != crypto::kGost2012_512) return false;
  return certificate.keyProvInfo.has_value();
}

std::u16string OwnerLine(const CertificateContext* certificate) {
  if (certificate == nullptr) return u"Сертификат не выбран";
  const auto attributes =
      render::X509Certificate(certificate->der).SubjectAttributes().value_or(render::NameAttributes{});
  const auto cn = Last(attributes, kCommonName);
  const auto o = Last(attributes, kOrganisation);
  const auto sn = Last(attributes, kSurname);
  const auto g = Last(attributes, kGivenName);
  std::u16string line = u"Владелец: ";
  if (sn && g) {
    line += *sn + u" " + *g;
  } else if (cn) {
    line += *cn;
  }
  if (o) line += u", " + *o;
  return line;
}

std::u16string ValidityLine(const CertificateContext* certificate) {
  if (certificate == nullptr) return std::u16string();
  auto x509 = Decode(*certificate);
  if (!x509) return std::u16string();
  const auto from = LongTime(X509_get0_notBefore(x509.get()));
  const auto to = LongTime(X509_get0_notAfter(x509.get()));
  if (from.empty() || to.empty()) return std::u16string();
  return u"Действителен с " + from + u" по " + to;
}

CertificateRow CertificateListRow(const CertificateContext& certificate) {
  CertificateRow row;
  auto x509 = Decode(certificate);
  if (!x509) return row;
  const auto subject = render::ReadNameAttributes(render::ossl::NameDer(X509_get_subject_name(x509.get())));
  const auto issuer = render::ReadNameAttributes(render::ossl::NameDer(X509_get_issuer_name(x509.get())));
  if (subject) row.owner = Last(*subject, kCommonName).value_or(u"");
  if (issuer) row.issuer = Last(*issuer, kCommonName).value_or(u"");
  row.notBefore = ShortDate(X509_get0_notBefore(x509.get()));
  row.notAfter = ShortDate(X509_get0_notAfter(x509.get()));
  return row;
}

std::vector<CertificatePtr> OperatorCertificates(const platform::CertStoreOpener& stores) {
  std::vector<CertificatePtr> out;
  if (!stores) return out;
  std::uint32_t error = 0;
  auto store = stores("MY", platform::StoreLocation::CurrentUser, true, error);
  if (!store) return out;
  for (auto& certificate : store->List()) {
    if (certificate && IsOperatorCertificate(*certificate)) out.push_back(std::move(certificate));
  }
  return out;
}

AgentCertModel::AgentCertModel(CertificatePtr current, bool block)
    : blockCarrier(block), selected_(current), current_(std::move(current)) {}

void AgentCertModel::Select(CertificatePtr chosen) {
  selected_.reset();
  if (!chosen) return;
  selected_ = std::move(chosen);
  modified = true;
}

void AgentCertModel::Clear() {
  selected_.reset();
  modified = true;
}

void AgentCertModel::ToggleBlock(bool block) {
  blockCarrier = block;
  modified = true;
}

bool AgentCertModel::Apply(const RightsCheck& verify, platform::SettingsStore& settings) {
  if (!modified) return false;
  std::shared_ptr<verifyClientResult> rights;
  if (selected_) {
    rights = verify ? verify(selected_) : nullptr;
    if (!rights) return false;
  }
  current_ = selected_;
  rights_ = std::move(rights);
  if (settings.Available()) Save(settings);
  modified = false;
  applied = true;
  return true;
}

void AgentCertModel::Save(platform::SettingsStore& settings) const {
  if (!current_) {
    settings.WriteBinary("agentCertificate", std::vector<std::uint8_t>{0});
    return;
  }
  if (!saveSettings) return;
  const auto thumbprint = crypto::CertificateSha1(current_.get());
  if (!thumbprint) return;
  settings.WriteBinary("agentCertificate", std::vector<std::uint8_t>(thumbprint->begin(), thumbprint->end()));
  settings.WriteNumber("blockCarrier", blockCarrier ? 1 : 0);
}

}  // namespace orvane::op
