#include "keys/pkcs10.h"

#include <chrono>
#include <cstdio>

#include "crypto/der.h"
#include "crypto/gost.h"
#include "crypto/sha1.h"
#include "csp/software_provider.h"
#include "text/format.h"
#include "text/text.h"

namespace orvane::keys {

using text::Format;
namespace der = crypto::der;
using crypto::CPSha1;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

EncodeResult Fail(std::uint32_t error) {
  return {std::nullopt, error};
}
EncodeResult Ok(Bytes der) {
  return {std::move(der), 0};
}

// UTF-16 to UTF-8 with surrogate pairs combined, as a UTF8String must carry them; a lone
// surrogate becomes U+FFFD.
std::string ToUtf8String(std::u16string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::optional<Bytes> OidFromWide(const std::u16string& oid) {
  std::string narrow;
  for (char16_t c : oid) {
    if (c >= 0x80) return std::nullopt;
    narrow.push_back(static_cast<char>(c));
  }
  return der::Oid(narrow);
}

// The string type of a subject attribute and its encoding.
EncodeResult EncodeAttributeValue(const std::u16string& oid, const std::u16string& value) {
  if (oid == u"1.2.643.100.1" || oid == u"1.2.643.100.3" || oid == u"1.2.643.100.4" || oid == u"1.2.643.3.131.1.1" ||
      oid == u"1.2.643.100.5") {
    auto der = der::NumericString(value);
    return der ? Ok(std::move(*der)) : Fail(csp::CRYPT_E_INVALID_NUMERIC_STRING);
  }
  if (oid == u"1.2.840.113549.1.9.1") {
    auto der = der::Ia5String(value);
    return der ? Ok(std::move(*der)) : Fail(csp::CRYPT_E_INVALID_IA5_STRING);
  }
  if (oid == u"2.5.4.6") {
    auto der = der::PrintableString(value);
    return der ? Ok(std::move(*der)) : Fail(csp::CRYPT_E_INVALID_PRINTABLE_STRING);
  }
  if (oid == u"1.2.840.113549.1.9.2") {
    // PrintableString when every character belongs to its alphabet, UTF8String otherwise.
    bool printable = true;
    for (char16_t c : value) printable = printable && der::IsPrintableStringChar(c);
    if (printable) return Ok(*der::PrintableString(value));
  }
  return Ok(der::Utf8String(ToUtf8String(value)));
}

Bytes Extension(const RequestExtension& e, const Bytes& oid) {
  std::vector<Bytes> parts{oid};
  if (e.critical) parts.push_back(der::Boolean(true));
  parts.push_back(der::OctetString(e.value));
  return der::Sequence(parts);
}

Bytes NameValuePair(std::string_view name, std::string_view value) {
  return der::Sequence({der::BmpString(text::FromUtf8(name)), der::BmpString(text::FromUtf8(value))});
}

// Leading decimal digits (after blanks), saturating at 0xFFFFFFFF; 0 without digits.
std::uint32_t ReadUnsigned(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  std::uint64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + static_cast<unsigned>(s[i] - '0');
    if (v > 0xFFFFFFFFu) v = 0xFFFFFFFFu;
  }
  return static_cast<std::uint32_t>(v);
}

// Splits at the first two occurrences of sep; false when there are fewer than two.
bool SplitThree(std::string_view s, char sep, std::string_view& a, std::string_view& b, std::string_view& c) {
  const auto p1 = s.find(sep);
  if (p1 == std::string_view::npos) return false;
  const auto p2 = s.find(sep, p1 + 1);
  if (p2 == std::string_view::npos) return false;
  a = s.substr(0, p1);
  b = s.substr(p1 + 1, p2 - p1 - 1);
  c = s.substr(p2 + 1);
  return true;
}

}  // namespace

EncodeResult EncodeSubjectName(const request::AttributeList& attributes) {
  std::vector<Bytes> rdns;
  for (const auto& entry : attributes) {
    if (!entry) continue;
    const auto oid = OidFromWide(entry->oid);
    if (!oid) return Fail(csp::E_INVALIDARG);
    auto value = EncodeAttributeValue(entry->oid, entry->value);
    if (!value.der) return value;
    rdns.push_back(der::Set({der::Sequence({*oid, *value.der})}));
  }
  return Ok(der::Sequence(rdns));
}

EncodeResult EncodeEnhancedKeyUsage(const std::vector<std::u16string>& oids) {
  std::vector<Bytes> items;
  for (const auto& o : oids) {
    auto oid = OidFromWide(o);
    if (!oid) return Fail(csp::E_INVALIDARG);
    items.push_back(std::move(*oid));
  }
  return Ok(der::Sequence(items));
}

EncodeResult EncodeSubjectKeyIdentifier(const Bytes& subjectPublicKeyInfo) {
  const auto bits = der::PublicKeyBits(subjectPublicKeyInfo);
  if (!bits) return Fail(csp::E_INVALIDARG);
  const auto digest = CPSha1::Of(bits->data(), bits->size());
  return Ok(der::OctetString(digest));
}

EncodeResult EncodeRequestExtensions(const std::vector<RequestExtension>& extensions) {
  std::vector<Bytes> items;
  for (const auto& e : extensions) {
    const auto oid = der::Oid(e.oid);
    if (!oid) return Fail(csp::E_INVALIDARG);
    items.push_back(Extension(e, *oid));
  }
  return Ok(der::Sequence(items));
}

std::vector<Bytes> EncodeNameValuePairs(const std::optional<std::string>& startDate,
                                        const std::optional<std::string>& expirationDate,
                                        const std::optional<std::string>& period) {
  std::vector<Bytes> pairs;
  bool validity = false;
  if (period && !period->empty()) {
    const auto space = period->find(' ');
    std::string count = space == std::string::npos ? *period : period->substr(0, space);
    std::string unit = space == std::string::npos ? std::string() : period->substr(space + 1);
    if (unit.empty()) unit = "Months";
    pairs.push_back(NameValuePair("CpRaCertPeriod", count));
    pairs.push_back(NameValuePair("CpRaCertPeriodUnits", unit));
    validity = true;
  } else if (expirationDate && !expirationDate->empty()) {
    // A date that cannot be read leaves its pair out rather than sending an empty value.
    if (const auto date = ParseRequestDate(expirationDate)) {
      pairs.push_back(NameValuePair("CpRaExpirationDate", *date));
      validity = true;
    }
  }
  if (validity && startDate && !startDate->empty()) {
    if (const auto date = ParseRequestDate(startDate)) {
      pairs.insert(pairs.begin(), NameValuePair("CpRaStartDate", *date));
    }
  }
  return pairs;
}

EncodeResult EncodeRequestInfo(const Bytes& subject, const Bytes& subjectPublicKeyInfo,
                               const std::vector<RequestAttribute>& attributes) {
  std::vector<Bytes> encoded;
  for (const auto& a : attributes) {
    const auto oid = der::Oid(a.oid);
    if (!oid) return Fail(csp::E_INVALIDARG);
    encoded.push_back(der::Sequence({*oid, der::Set(a.values)}));
  }
  return Ok(der::Sequence({der::Integer(0), subject, subjectPublicKeyInfo, der::ContextConstructed(0, encoded)}));
}

EncodeResult EncodeSignedRequest(const Bytes& requestInfo, const std::string& signatureOid, const Bytes& signature) {
  const auto oid = der::Oid(signatureOid);
  if (!oid || signature.empty()) return Fail(csp::E_INVALIDARG);
  return Ok(der::Sequence({requestInfo, der::Sequence({*oid}), der::BitString(signature)}));
}

std::optional<std::string> ParseRequestDate(const std::optional<std::string>& textIn) {
  if (!textIn) return std::nullopt;
  std::string_view s(*textIn);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  const auto space = s.find(' ');
  if (space == std::string_view::npos) return std::nullopt;  // no time part
  const std::string_view datePart = s.substr(0, space);
  const std::string_view timePart = s.substr(space + 1);

  std::string_view ys, ms, ds;
  if (!SplitThree(datePart, '-', ys, ms, ds)) return std::nullopt;
  const std::uint32_t year = ReadUnsigned(ys), month = ReadUnsigned(ms), day = ReadUnsigned(ds);
  if (year == 0 || month == 0 || day == 0) return std::nullopt;

  auto signPos = timePart.find('+');
  if (signPos == std::string_view::npos) signPos = timePart.find('-');
  if (signPos == std::string_view::npos) return std::nullopt;
  const char sign = timePart[signPos];
  const std::string_view zone = timePart.substr(signPos + 1);
  std::string_view hs, mins, ss;
  if (!SplitThree(timePart.substr(0, signPos), ':', hs, mins, ss)) return std::nullopt;
  const std::uint32_t zoneHours = ReadUnsigned(zone);
  const auto zoneColon = zone.find(':');
  const std::uint32_t zoneMinutes = zoneColon == std::string_view::npos ? 0 : ReadUnsigned(zone.substr(zoneColon + 1));
  return Format("%04d%02d%02d%02d%02d%02d%c%02d:%02d", static_cast<int>(year), static_cast<int>(month),
                static_cast<int>(day), static_cast<int>(ReadUnsigned(hs)), static_cast<int>(ReadUnsigned(mins)),
                static_cast<int>(ReadUnsigned(ss)), sign, static_cast<int>(zoneHours), static_cast<int>(zoneMinutes));
}

std::string SignatureAlgorithmFor(csp::GostGeneration generation) {
  return crypto::SignatureOidFor(generation).value_or(*crypto::SignatureOidFor(crypto::kGost2001));
}

std::u16string SignatureToolText(csp::ProviderKind family, const csp::providerCatalogue& catalogue) {
  const auto entry = csp::FirstOfKind(family, catalogue);
  const int major = entry ? entry->major : 4;
  const int minor = entry ? entry->minor : 0;
  const std::u16string name = csp::KindDisplayName(family).value_or(u"");
  return u"\"" + name + u"\" (версия " + text::FromUtf8(Format("%d.%d", major, minor)) + u")";
}

std::optional<std::string> TemplateOidFor(const std::optional<std::string>& templateOid, bool nonqualified,
                                          bool embedLicense) {
  if (templateOid) return templateOid;
  if (nonqualified) return std::string(embedLicense ? "1.2.643.3.227.7.6" : "1.2.643.3.227.7.5");
  return std::nullopt;
}

std::vector<std::string> PolicyOidsFor(const std::optional<std::string>& policyLevel) {
  if (!policyLevel) return {};
  std::vector<std::string> oids{"1.2.643.100.113.1"};
  const std::string& l = *policyLevel;
  if (l.size() == 3 && (l[0] == 'K' || l[0] == 'k') && (l[1] == 'C' || l[1] == 'c') && l[2] == '2') {
    oids.push_back("1.2.643.100.113.2");
  }
  return oids;
}

KeyRequestResult CreateKeyAndRequest(const KeyRequestInputs& in, const csp::providerCatalogue& catalogue,
                                     const csp::ProviderRegistry& registry, RequestStageTimings* timings) {
  const auto started = Clock::now();
  const csp::SoftwareProviderTimings before = csp::ThreadTimings();
  double derTime = 0;
  double signTime = 0;
  auto finish = [&](KeyRequestResult result) {
    if (timings != nullptr) {
      const auto& after = csp::ThreadTimings();
      timings->keyGeneration = after.keyGeneration - before.keyGeneration;
      timings->protection = after.protection - before.protection;
      timings->signing = signTime;
      timings->derBuilding = derTime;
      timings->total = Since(started);
    }
    return result;
  };

  // 1. Missing inputs: nothing is created.
  if (!in.subject || !in.eku || !in.providerName) return finish({std::nullopt, 0});

  // The subject, the key usages and the alternative name do not depend on the key: they are
  // encoded before anything is created, so that a value outside its string type's alphabet
  // fails the request without leaving an empty container behind.
  auto t = Clock::now();
  const auto subject = EncodeSubjectName(*in.subject);
  const auto eku = EncodeEnhancedKeyUsage(*in.eku);
  derTime += Since(t);
  if (!subject.der) return finish({std::nullopt, subject.error});
  if (!eku.der) return finish({std::nullopt, eku.error});

  // 2. The signature tool.
  const std::u16string toolText = SignatureToolText(in.family, catalogue);

  // 3. Owner of the provider's dialogs.
  if (in.owner != nullptr) registry.SetOwnerWindow(in.owner);

  // 4. The new container.
  const std::int32_t type = csp::ProviderTypeFor(in.family, in.generation);
  auto context = registry.AcquireContext(in.containerPath, in.providerName, static_cast<std::uint32_t>(type),
                                         csp::CRYPT_NEWKEYSET);
  if (!context) return finish({std::nullopt, csp::GetLastError()});

  // 5. CryptoPro family: authenticate to the new container before the key is generated.
  if (in.family == csp::kKindCryptoPro) {
    const auto first = csp::FirstOfKind(csp::kKindCryptoPro, catalogue);
    if (first && first->major == 5) {
      Bytes info;
      if (!context->GetProvParam(csp::kPPAuthInfo, info) || !context->GetProvParam(csp::kPPAuthInfo, info)) {
        return finish({std::nullopt, csp::GetLastError()});
      }
    } else {
      for (int attempt = 1;; ++attempt) {
        if (context->SetProvParam(csp::kPPAuthenticate, {})) break;
        const std::uint32_t error = csp::GetLastError();
        if (error == csp::NTE_BAD_TYPE) break;  // the provider has no such step
        if (error == csp::SCARD_W_WRONG_CHV && attempt < 3) continue;
        return finish({std::nullopt, error});
      }
    }
  }

  // 6. The key pair; 7. its public key.
  if (!context->GenKey(csp::AT_KEYEXCHANGE, in.exportable ? csp::CRYPT_EXPORTABLE : 0)) {
    return finish({std::nullopt, csp::GetLastError()});
  }
  Bytes spki;
  if (!context->ExportPublicKeyInfo(csp::AT_KEYEXCHANGE, spki)) return finish({std::nullopt, csp::GetLastError()});

  t = Clock::now();
  // 9. Enrollment provider: key spec, provider name, empty signature.
  const Bytes enrollmentProvider =
      der::Sequence({der::Integer(csp::AT_KEYEXCHANGE), der::BmpString(*in.providerName), der::BitString({})});
  // 11. Key usage: digitalSignature, nonRepudiation, keyEncipherment, dataEncipherment.
  const std::uint8_t usage = 0xF0;
  const Bytes keyUsage = der::BitString(std::span<const std::uint8_t>(&usage, 1), 4);
  // 12. Subject key identifier.
  const auto ski = EncodeSubjectKeyIdentifier(spki);
  if (!ski.der) return finish({std::nullopt, ski.error});
  // 13. Signature tool: a UTF8String.
  const Bytes tool = der::Utf8String(ToUtf8String(toolText));

  std::vector<RequestExtension> extensions{
      {"2.5.29.15", true, keyUsage},
      {"2.5.29.37", false, *eku.der},
      {"2.5.29.14", false, *ski.der},
      {"1.2.643.100.111", false, tool},
  };
  // 14. Template.
  if (const auto templ = TemplateOidFor(in.templateOid, in.nonqualified, in.embedLicense)) {
    if (const auto oid = der::Oid(*templ)) {
      extensions.push_back({"1.3.6.1.4.1.311.21.7", false, der::Sequence({*oid, der::Integer(1)})});
    }
  }
  // 15. Policies.
  const auto policies = PolicyOidsFor(in.policyLevel);
  if (!policies.empty()) {
    std::vector<Bytes> infos;
    for (const auto& p : policies) infos.push_back(der::Sequence({*der::Oid(p)}));
    extensions.push_back({"2.5.29.32", false, der::Sequence(infos)});
  }
  // 16. Identification kind.
  if (in.identificationKind) extensions.push_back({"1.2.643.100.114", false, der::Integer(*in.identificationKind)});
  // 17. Alternative name: one directoryName.
  if (in.altName && !in.altName->empty()) {
    const auto name = EncodeSubjectName(*in.altName);
    if (name.der) extensions.push_back({"2.5.29.17", false, der::Sequence({der::ContextExplicit(4, *name.der)})});
  }
  // 18. The extensions.
  const auto encodedExtensions = EncodeRequestExtensions(extensions);
  if (!encodedExtensions.der) return finish({std::nullopt, encodedExtensions.error});
  // 19. Validity pairs; 20. the request information.
  const auto pairs = EncodeNameValuePairs(in.startDate, in.expirationDate, in.period);
  std::vector<RequestAttribute> attributes{
      {"1.3.6.1.4.1.311.13.2.2", {enrollmentProvider}},
      {"1.3.6.1.4.1.311.2.1.14", {*encodedExtensions.der}},
  };
  if (!pairs.empty()) attributes.push_back({"1.3.6.1.4.1.311.13.2.1", pairs});
  const auto info = EncodeRequestInfo(*subject.der, spki, attributes);
  derTime += Since(t);
  if (!info.der) return finish({std::nullopt, info.error});

  // 21. Signature and the signed request.
  const std::string signatureOid = SignatureAlgorithmFor(in.generation);
  Bytes signature;
  t = Clock::now();
  const bool signedOk = context->SignCertificate(csp::AT_KEYEXCHANGE, *info.der, signatureOid, signature);
  signTime += Since(t);
  if (!signedOk) return finish({std::nullopt, csp::GetLastError()});
  t = Clock::now();
  auto request = EncodeSignedRequest(*info.der, signatureOid, signature);
  derTime += Since(t);
  if (!request.der) return finish({std::nullopt, request.error});
  return finish({std::move(request.der), 0});
}

KeyRequestInputs InputsForApplication(const request::remoteRequestData& record) {
  KeyRequestInputs in;
  in.family = record.cryptoProvider != 0 ? record.cryptoProvider : csp::kKindCryptoPro;
  in.generation = record.cryptoStandart;
  in.subject = request::ParseAttributeList(record.subject_quoted);
  in.eku = record.eku;
  in.exportable = record.export_;
  in.startDate = record.certStartDate;
  in.expirationDate = record.certExpirationDate;
  in.period = record.certPeriod;
  in.embedLicense = record.embedCPLicense;
  in.policyLevel = record.policyLevel;
  in.nonqualified = record.nonqualified;
  in.templateOid = record.templateOid;
  if (record.identificationKind) in.identificationKind = static_cast<std::int32_t>(*record.identificationKind);
  if (record.subjectAltName) in.altName = request::ParseAttributeList(record.subjectAltName);
  return in;
}

}  // namespace orvane::keys
