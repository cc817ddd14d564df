// The request-system operations reading their replies: HttpClient's header and body handling
// and every operation's reading of status, headers and document. The input is a script of
// HTTP replies (format in common/fake_curl.h); the eleven operations run in order, each
// answered by the next reply, the script starting again when it runs out, so a one-reply
// input is put to every operation.
//
// Checked besides memory safety: the wait cursor is balanced after each operation, no message
// is longer than a reply text cut at 2,000 bytes can make it, a request record handed on has
// passed its checks, and a certificate reply handed on names its container.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/fake_curl.h"
#include "common/fuzz_env.h"
#include "net/request_system.h"
#include "platform/proxy_settings.h"
#include "platform/wizard_ui.h"

using namespace orvane;

namespace {

class NoProxy : public platform::ProxyResolver {
 public:
  std::optional<platform::UserProxySettings> ReadUserSettings() override { return platform::UserProxySettings{}; }
  std::optional<std::string> Discover(const std::string&) override { return std::string(); }
};

class RecordingUi : public WizardUi {
 public:
  bool Message(WindowHandle, MessageKind, const std::u16string& text) override {
    // A reply text is cut at 2,000 bytes before it is shown; the operations' own words add
    // little to that.
    if (text.size() > 2200) fuzz::Finding("message longer than any reply text may make it");
    ++messages;
    return true;
  }
  void BeginWait() override { ++waitDepth; }
  void EndWait() override { --waitDepth; }
  void OpenUrl(const std::u16string&) override {}

  int messages = 0;
  int waitDepth = 0;
};

void CheckBalanced(const RecordingUi& ui, const char* operation) {
  if (ui.waitDepth != 0) fuzz::Finding("wait cursor left unbalanced by", operation);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::UsePrivateTempDir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::SetScriptedReplies(fuzz::ParseReplyScript({data, size}), /*cycle=*/true);
  RecordingUi ui;
  net::RequestSystem system(ui, "lk.fuzz.invalid", 443, std::make_shared<NoProxy>());
  const std::u16string token = u"FUZZ-TOKEN-0001";

  net::OperatorIdentity op;
  op.thumbprint = "0123456789ABCDEF0123456789ABCDEF01234567";
  op.authToken = "auth-token";
  op.signMessage = [](const std::vector<std::uint8_t>&) { return std::optional<std::string>("c2lnbmVk"); };

  const auto version = system.CheckVersion();
  if (version.received && (!version.version || version.version->empty() || version.version->front() < u'0' ||
                           version.version->front() > u'9')) {
    fuzz::Finding("a version was received that does not start with a digit");
  }
  CheckBalanced(ui, "get_version");

  int lastError = -1;
  const auto record = system.GetRequestData(nullptr, token, &op, lastError);
  if (record && (!record->HasRequiredFields() || !record->DigestMatches() || lastError != net::kErrNone)) {
    fuzz::Finding("a request record was handed on that failed its checks");
  }
  if (!record && lastError == net::kErrNone) fuzz::Finding("no request record, but no error either");
  CheckBalanced(ui, "get_subject");

  (void)system.RequestSmsCode(nullptr, token);
  CheckBalanced(ui, "get_pincode");

  net::PendingRequest pending;
  pending.carrierModel = u"Rutoken ECP";
  pending.carrierSerial = u"0012345678";
  pending.container = u"fuzz-container";
  pending.der = std::make_shared<io::ASVariableBuffer>();
  pending.der->Append(std::string("\x30\x03\x02\x01\x00", 5));
  pending.tokenTypeName = "SCARD_TYPE_RUTOKEN_ECP";
  (void)system.SubmitRequest(nullptr, std::u16string(u"123456"), token, &pending, nullptr);
  CheckBalanced(ui, "set_request");

  (void)system.CheckAutoEnroll(token);

  const auto certificate = system.GetCertificate(nullptr, token, &op);
  if (certificate && !certificate->container) fuzz::Finding("a certificate reply without its container");
  CheckBalanced(ui, "get_certificate");

  (void)system.ConfirmCertificate(nullptr, token, u"654321");
  CheckBalanced(ui, "set_certificate");

  const auto hash = system.GetDocumentHash(nullptr, &op, token);
  CheckBalanced(ui, "get_document_hash");

  net::DocumentHashReply fallback;
  fallback.b64Hash = "AQID";
  fallback.pdfFileUuid = "uuid";
  fallback.token = "token";
  (void)system.SetDocumentSign(nullptr, &op, token, hash ? hash.get() : &fallback, std::string("c2ln"));
  CheckBalanced(ui, "set_document_sign");

  (void)system.KillMarker(token);

  (void)system.CertVerify(nullptr, op.thumbprint, op.authToken);
  CheckBalanced(ui, "cert_verify");
  return 0;
}
