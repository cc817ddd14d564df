// Key generation in a new container and the PKCS#10 certificate request the certification
// authority expects: subject with fixed string types, the enrollment-provider attribute, the
// extensions in a fixed order (key usage, EKU, subject key identifier, signature tool,
// template, policies, identification kind, alternative name) and the validity name-value
// pairs. Encoded with our own DER writer; attributes and name-value pairs are written in the
// order given here, not sorted (the request forms rely on that order).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "csp/catalogue.h"
#include "csp/provider.h"
#include "platform/wizard_ui.h"
#include "request/attribute_list.h"
#include "request/request_data.h"

namespace orvane::keys {

using csp::Bytes;

struct EncodeResult {
  std::optional<Bytes> der;
  std::uint32_t error = 0;  // the encoder's error when der is none
};

struct RequestExtension {
  std::string oid;
  bool critical = false;
  Bytes value;  // DER of the extension value
};

// An RDN sequence, one attribute per RDN, in list order, from the values as written.
EncodeResult EncodeSubjectName(const request::AttributeList& attributes);
// SEQUENCE OF OBJECT IDENTIFIER, in order.
EncodeResult EncodeEnhancedKeyUsage(const std::vector<std::u16string>& oids);
// OCTET STRING with the SHA-1 of the subjectPublicKey bits.
EncodeResult EncodeSubjectKeyIdentifier(const Bytes& subjectPublicKeyInfo);
// SEQUENCE OF Extension, in the order given; the critical flag only where it is true.
EncodeResult EncodeRequestExtensions(const std::vector<RequestExtension>& extensions);
// The validity pairs, each SEQUENCE { BMPString name, BMPString value }, in order:
// CpRaStartDate, then CpRaCertPeriod + CpRaCertPeriodUnits or CpRaExpirationDate.
std::vector<Bytes> EncodeNameValuePairs(const std::optional<std::string>& startDate,
                                        const std::optional<std::string>& expirationDate,
                                        const std::optional<std::string>& period);

struct RequestAttribute {
  std::string oid;
  std::vector<Bytes> values;  // written in this order
};
// CertificationRequestInfo, version 0.
EncodeResult EncodeRequestInfo(const Bytes& subject, const Bytes& subjectPublicKeyInfo,
                               const std::vector<RequestAttribute>& attributes);
// CertificationRequest: info, algorithm (no parameters), signature BIT STRING.
EncodeResult EncodeSignedRequest(const Bytes& requestInfo, const std::string& signatureOid, const Bytes& signature);

// "YYYY-MM-DD hh:mm:ss+hh:mm" -> "YYYYMMDDhhmmss+hh:mm"; none when the date or time is invalid
// (a zone is required).
std::optional<std::string> ParseRequestDate(const std::optional<std::string>& text);

// The signature algorithm OID of a generation (2001 for anything unknown).
std::string SignatureAlgorithmFor(csp::GostGeneration generation);
// «"<family display name>" (версия <major>.<minor>)» of the first catalogue entry of the
// family, 4.0 without one.
std::u16string SignatureToolText(csp::ProviderKind family, const csp::providerCatalogue& catalogue);
// The template OID: templateOid, else for non-qualified requests 1.2.643.3.227.7.6 (with the
// embedded licence) or 1.2.643.3.227.7.5; none otherwise.
std::optional<std::string> TemplateOidFor(const std::optional<std::string>& templateOid, bool nonqualified,
                                          bool embedLicense);
// КС1, and КС2 when the level is "KC2" in any letter case; nothing without a level.
std::vector<std::string> PolicyOidsFor(const std::optional<std::string>& policyLevel);

struct KeyRequestInputs {
  std::optional<std::u16string> providerName;
  csp::ProviderKind family = csp::kKindCryptoPro;
  csp::GostGeneration generation = csp::kGost2012_256;
  std::optional<request::AttributeList> subject;
  std::optional<std::vector<std::u16string>> eku;
  bool exportable = false;
  std::optional<std::string> startDate;
  std::optional<std::string> expirationDate;
  std::optional<std::string> period;
  bool embedLicense = false;
  std::optional<std::string> policyLevel;
  bool nonqualified = false;
  std::optional<std::string> templateOid;
  std::optional<std::int32_t> identificationKind;
  std::optional<request::AttributeList> altName;
  WindowHandle owner = nullptr;
  std::u16string containerPath;
};

// The inputs an application prescribes: generation, family (CryptoPro when it names none),
// subject and alternative names, EKU and the request-system settings. Provider name,
// container path and owner are the caller's.
KeyRequestInputs InputsForApplication(const request::remoteRequestData& application);

struct KeyRequestResult {
  std::optional<Bytes> der;  // the signed request
  std::uint32_t error = 0;   // 0 on success or when an input was missing
};

// Where the time of one call went (seconds), for the benchmark.
struct RequestStageTimings {
  double keyGeneration = 0;  // inside the provider
  double protection = 0;     // PIN derivation, sealing and storing the key
  double signing = 0;        // the request signature
  double derBuilding = 0;    // every encoding step
  double total = 0;
};

// Creates the container, authenticates, generates the key pair and returns the signed
// request. The container and key stay on the carrier once created, also after a later
// failure.
KeyRequestResult CreateKeyAndRequest(const KeyRequestInputs& inputs, const csp::providerCatalogue& catalogue,
                                     const csp::ProviderRegistry& registry, RequestStageTimings* timings = nullptr);

}  // namespace orvane::keys
