#include "request/request_data.h"

#include <algorithm>
#include <cstring>

#include "crypto/sha1.h"
#include "io/reply_reader.h"
#include "text/text.h"

namespace orvane::request {
namespace {

int Nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c & 0x0F;  // not a digit: some value, which then fails the comparison
}

const std::vector<std::string>& Elements() {
  static const std::vector<std::string> elements = {"request_id",
                                                    "template",
                                                    "subject_quoted",
                                                    "code",
                                                    "hash_quoted",
                                                    "export",
                                                    "license",
                                                    "embedCPLicense",
                                                    "certStartDate",
                                                    "certExpirationDate",
                                                    "certPeriod",
                                                    "policyLevel",
                                                    "nonqualified",
                                                    "egais",
                                                    "token_type",
                                                    "cryptoStandart",
                                                    "cryptoProvider",
                                                    "templateOid",
                                                    "ord",
                                                    "identificationKind",
                                                    "subjectAltName",
                                                    "oid"};
  return elements;
}

}  // namespace

bool remoteRequestData::DigestMatches() const {
  return hash_quoted && hashLength == 20 && hash_quoted->size() == 20 &&
         std::equal(hash_quoted->begin(), hash_quoted->end(), subjectDigest.begin());
}

std::optional<std::vector<std::uint8_t>> DecodeHashText(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> out(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<std::uint8_t>((Nibble(text[2 * i]) << 4) | Nibble(text[2 * i + 1]));
  }
  return out;
}

std::shared_ptr<remoteRequestData> ReadRequestData(io::ASVariableBuffer& body) {
  auto record = std::make_shared<remoteRequestData>();
  crypto::CPSha1 sha;
  bool textFailed = false;

  auto handler = [&](const std::string& name, io::ASVariableBuffer& buffer) {
    const auto raw = buffer.ReadAllText();
    if (!raw) {
      textFailed = true;
      return;
    }
    const std::string& t = *raw;
    auto wide = [&] { return text::FromUtf8(t); };
    auto digest = [&] { sha.Update(t.data(), t.size()); };
    remoteRequestData& r = *record;
    if (name == "request_id") {
      r.request_id = wide();
    } else if (name == "template") {
      r.template_ = wide();
    } else if (name == "subject_quoted") {
      digest();
      r.subject_quoted = wide();
    } else if (name == "oid") {
      digest();
      if (!r.eku) r.eku.emplace();
      r.eku->push_back(wide());
    } else if (name == "code") {
      r.code = wide();
    } else if (name == "hash_quoted") {
      r.hash_quoted = DecodeHashText(t);
      r.hashLength = r.hash_quoted ? static_cast<std::int32_t>(r.hash_quoted->size()) : 0;
    } else if (name == "export") {
      digest();
      r.export_ = io::IsTruthy(t);
    } else if (name == "license") {
      r.license = io::IsTruthy(t);
    } else if (name == "egais") {
      r.egais = io::IsTruthy(t);
    } else if (name == "embedCPLicense") {
      r.embedCPLicense = io::IsTruthy(t);
    } else if (name == "nonqualified") {
      r.nonqualified = io::IsTruthy(t);
    } else if (name == "token_type") {
      r.token_type = t;
    } else if (name == "certStartDate") {
      r.certStartDate = t;
    } else if (name == "certExpirationDate") {
      r.certExpirationDate = t;
    } else if (name == "certPeriod") {
      r.certPeriod = t;
    } else if (name == "policyLevel") {
      r.policyLevel = t;
    } else if (name == "templateOid") {
      r.templateOid = t;
    } else if (name == "cryptoStandart") {
      if (text::EqualsIgnoreCase(t, "gost2001")) r.cryptoStandart = 0;
      if (text::EqualsIgnoreCase(t, "gost2012-256")) r.cryptoStandart = 1;
      if (text::EqualsIgnoreCase(t, "gost2012-512")) r.cryptoStandart = 2;
    } else if (name == "cryptoProvider") {
      r.cryptoProvider = text::EqualsIgnoreCase(t, "cryptopro") ? 1 : text::EqualsIgnoreCase(t, "vipnet") ? 2 : 0;
    } else if (name == "ord") {
      if (!t.empty()) r.ord = static_cast<std::uint32_t>(io::LeadingNumber(t));
    } else if (name == "identificationKind") {
      if (!t.empty()) r.identificationKind = static_cast<std::uint32_t>(io::LeadingNumber(t));
    } else if (name == "subjectAltName") {
      r.subjectAltName = wide();
    }
  };

  if (!io::ReadReplyDocument(body, Elements(), handler) || textFailed) return nullptr;
  sha.Final(record->subjectDigest.data());
  return record;
}

}  // namespace orvane::request
