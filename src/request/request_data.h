// remoteRequestData: what the request system says about one application ("/a/get_subject"),
// read from its reply document together with the integrity digest (SHA-1 over the raw texts
// of subject_quoted, each oid inside eku and export, in document order).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/variable_buffer.h"

namespace orvane::request {

struct remoteRequestData {
  std::optional<std::u16string> request_id;
  std::optional<std::u16string> template_;  // element "template"
  std::optional<std::u16string> subject_quoted;
  std::optional<std::vector<std::u16string>> eku;
  std::optional<std::u16string> code;
  std::optional<std::vector<std::uint8_t>> hash_quoted;
  std::int32_t hashLength = 0;
  std::array<std::uint8_t, 20> subjectDigest{};
  bool export_ = false;  // element "export"
  bool license = false;
  bool egais = false;
  std::optional<std::string> token_type;
  bool embedCPLicense = false;
  std::optional<std::string> certStartDate;
  std::optional<std::string> certExpirationDate;
  std::optional<std::string> certPeriod;
  std::optional<std::string> policyLevel;
  bool nonqualified = false;
  std::int32_t cryptoStandart = 1;  // GostGeneration
  std::int32_t cryptoProvider = 0;  // ProviderKind, 0: any
  std::optional<std::string> templateOid;
  std::uint32_t ord = 0;
  std::optional<std::uint32_t> identificationKind;
  std::optional<std::u16string> subjectAltName;

  // The record passed the request system's checks: the required fields are present and the
  // received digest is the computed one.
  bool HasRequiredFields() const { return request_id && subject_quoted && eku && !eku->empty(); }
  bool DigestMatches() const;
};

// Reads the reply body into a new record; none when the document is rejected.
std::shared_ptr<remoteRequestData> ReadRequestData(io::ASVariableBuffer& body);

// Hexadecimal text to bytes, two characters a byte; none for an odd length. Characters that
// are not hexadecimal digits are not rejected (the bytes then fail the comparison).
std::optional<std::vector<std::uint8_t>> DecodeHashText(std::string_view text);

}  // namespace orvane::request
