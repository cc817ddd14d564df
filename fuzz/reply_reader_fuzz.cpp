// The reply-document reader and the request-data record read from it. The input is one reply
// document as the request system sends it (XML, any declared encoding).
//
// Each input is read
//  - as the "/a/get_subject" record (ReadRequestData, with its integrity digest), whose
//    subject and alternative name then go through the attribute-list parser as the
//    request-data dialog does;
//  - with the generic reader watching every element any operation reads, each element text
//    read, rewound and read again (both reads must agree);
//  - for about one input in eight, also from behind 64 KiB of other content, so that the
//    document lies in the buffer's spill file: the record must come out the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/fuzz_env.h"
#include "io/reply_reader.h"
#include "io/variable_buffer.h"
#include "request/attribute_list.h"
#include "request/request_data.h"

using namespace orvane;

namespace {

// Every element an operation of the request system reads.
const std::vector<std::string>& AllElements() {
  static const std::vector<std::string> elements = {"version",
                                                    "request_id",
                                                    "template",
                                                    "subject_quoted",
                                                    "code",
                                                    "hash_quoted",
                                                    "export",
                                                    "license",
                                                    "egais",
                                                    "token_type",
                                                    "embedCPLicense",
                                                    "certStartDate",
                                                    "certExpirationDate",
                                                    "certPeriod",
                                                    "policyLevel",
                                                    "nonqualified",
                                                    "cryptoStandart",
                                                    "cryptoProvider",
                                                    "templateOid",
                                                    "ord",
                                                    "identificationKind",
                                                    "subjectAltName",
                                                    "oid",
                                                    "container",
                                                    "cert",
                                                    "cert_pdf_file_uuid",
                                                    "sign_cert_link",
                                                    "cert_pdf_signed",
                                                    "signer_name",
                                                    "b64Hash",
                                                    "pdf_file_uuid",
                                                    "token",
                                                    "agentMode",
                                                    "agentLicense",
                                                    "clientAllowed"};
  return elements;
}

std::shared_ptr<request::remoteRequestData> ReadRecord(const std::uint8_t* data, std::size_t size, bool spilled) {
  io::ASVariableBuffer body;
  if (spilled) {
    const std::string filler(io::ASVariableBuffer::kMemorySize, '#');
    if (!body.Append(filler)) fuzz::Finding("the spill file could not be written");
  }
  if (!body.Append(data, static_cast<std::int64_t>(size))) fuzz::Finding("the reply could not be stored");
  body.SetReadPosition(spilled ? io::ASVariableBuffer::kMemorySize : 0);
  return request::ReadRequestData(body);
}

bool SameRecord(const request::remoteRequestData& a, const request::remoteRequestData& b) {
  return a.request_id == b.request_id && a.template_ == b.template_ && a.subject_quoted == b.subject_quoted &&
         a.eku == b.eku && a.code == b.code && a.hash_quoted == b.hash_quoted && a.subjectDigest == b.subjectDigest &&
         a.export_ == b.export_ && a.ord == b.ord && a.identificationKind == b.identificationKind &&
         a.subjectAltName == b.subjectAltName && a.cryptoStandart == b.cryptoStandart &&
         a.cryptoProvider == b.cryptoProvider && a.token_type == b.token_type;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UsePrivateTempDir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto record = ReadRecord(data, size, false);
  if (record) {
    (void)record->HasRequiredFields();
    (void)record->DigestMatches();
    if (record->hash_quoted && static_cast<std::size_t>(record->hashLength) != record->hash_quoted->size()) {
      fuzz::Finding("hashLength differs from the decoded hash");
    }
    // What the request-data dialog does with the record.
    (void)request::ParseAttributeList(record->subject_quoted);
    (void)request::ParseAttributeList(record->subjectAltName);
  }

  io::ASVariableBuffer body;
  body.Append(data, static_cast<std::int64_t>(size));
  io::ReadReplyDocument(body, AllElements(), [](const std::string&, io::ASVariableBuffer& text) {
    const auto first = text.ReadAllText();
    text.SetReadPosition(0);
    const auto second = text.ReadAllText();
    if (first != second) fuzz::Finding("an element text read twice differs");
    if (first) {
      (void)io::IsTruthy(*first);
      (void)io::LeadingNumber(*first);
      (void)request::DecodeHashText(*first);
    }
  });

  if (size % 8 == 0) {
    const auto spilled = ReadRecord(data, size, true);
    if (static_cast<bool>(spilled) != static_cast<bool>(record)) {
      fuzz::Finding("the record reads differently from the spill file");
    }
    if (spilled && !SameRecord(*spilled, *record)) fuzz::Finding("the record read from the spill file differs");
  }
  return 0;
}
