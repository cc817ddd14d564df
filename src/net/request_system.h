// The request-system protocol: the eleven operations under "/a/", each one HTTPS exchange
// on a fresh HttpClient. Failures are worded through RequestErrorText and shown once through
// the UI seam (the reply body's text replaces the operation's message where the protocol
// says so); exchanges that block the UI thread show the wait cursor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/deployment_config.h"
#include "net/http_client.h"
#include "platform/wizard_ui.h"
#include "request/request_data.h"

namespace orvane::net {

// Request-system error codes.
enum RequestErrorCode : int {
  kErrNone = 0,
  kErrBadXml = 1,
  kErrBadSmsCode = 2,
  kErrBadToken = 3,
  kErrConnection = 4,
  kErrServerDataMissing = 5,
  kErrFileDataMissing = 6,
  kErrFileDataDamaged = 7,
  kErrAccessDenied = 8,
  kErrSignature = 9,
  kErrNoValidity = 10,
  kErrBadValidity = 11,
  kErrServer = 12,
};

// The text of a code, or none for a code the table lacks.
std::optional<std::u16string> RequestErrorText(int code);

// The comparison of this program's version (config::kProgramVersion) with the request
// system's current version: major before the first ".", minor = leading digits after it (a
// third part is ignored).
bool VersionAccepted(std::string_view own, std::string_view server);

// An operator certificate in use: its thumbprint (40 upper-case hex digits), the operator
// token once held, and how to sign a message with its key (Base64 of an attached PKCS#7
// signed message; none when the signature cannot be made).
struct OperatorIdentity {
  std::string thumbprint;
  std::optional<std::string> authToken;
  std::function<std::optional<std::string>(const std::vector<std::uint8_t>& message)> signMessage;
};

// The request waiting to be sent: its carrier, key container and DER.
struct PendingRequest {
  std::u16string carrierModel;
  std::u16string carrierSerial;
  std::u16string container;
  std::shared_ptr<ASVariableBuffer> der;
  std::optional<std::string> tokenTypeName;  // e.g. "SCARD_TYPE_USER"
};

struct CertificateReply {
  std::string cert;  // Base64 text as received (PEM framing possible)
  std::int32_t certLength = 0;
  std::optional<std::u16string> container;
  bool license = false;
  std::optional<std::u16string> certPdfFileUuid;
  std::optional<std::u16string> signCertLink;
  bool certPdfSigned = false;
  std::optional<std::u16string> signerName;
};

struct DocumentHashReply {
  std::optional<std::string> b64Hash;
  std::optional<std::string> pdfFileUuid;
  std::optional<std::string> token;
};

struct CertVerifyFlags {
  bool agentMode = false;
  bool agentLicense = false;
  bool clientAllowed = false;
};

struct VersionCheckResult {
  bool received = false;
  bool accepted = false;
  std::optional<std::u16string> version;
};

struct SubmitResult {
  bool ok = false;
  bool autoEnroll = false;
};

class RequestSystem {
 public:
  // host/port of the request system; resolver null for the user's proxy settings;
  // extraCaFile: CA certificates trusted besides the system store.
  RequestSystem(WizardUi& ui, std::string host, std::uint16_t port,
                std::shared_ptr<platform::ProxyResolver> resolver = nullptr, std::string extraCaFile = {});
  // Host, port and extra CA file of the deployment.
  RequestSystem(WizardUi& ui, const config::DeploymentConfig& deployment);

  // "/a/get_version". Shows "Запуск программы невозможен..." when refused.
  VersionCheckResult CheckVersion();
  // "/a/get_subject"; lastRequestError receives the code (0 on success).
  std::shared_ptr<request::remoteRequestData> GetRequestData(WindowHandle owner, const std::u16string& token,
                                                             const OperatorIdentity* op, int& lastRequestError);
  // "/a/get_pincode".
  bool RequestSmsCode(WindowHandle owner, const std::u16string& token);
  // "/a/set_request". smsCode none when the operator signature replaces the SMS step.
  SubmitResult SubmitRequest(WindowHandle owner, const std::optional<std::u16string>& smsCode,
                             const std::u16string& token, const PendingRequest* pending, const OperatorIdentity* op);
  // "/a/check-autoenroll": the HTTP status (-1 no reply, 404 no connection, 403 no token).
  // Touches no UI and no shared state: safe on a worker thread.
  int CheckAutoEnroll(const std::optional<std::u16string>& token) const;
  // "/a/get_certificate".
  std::unique_ptr<CertificateReply> GetCertificate(WindowHandle owner, const std::u16string& token,
                                                   const OperatorIdentity* op);
  // "/a/set_certificate".
  bool ConfirmCertificate(WindowHandle owner, const std::u16string& token, const std::u16string& smsCode);
  // "/a/get_document_hash".
  std::unique_ptr<DocumentHashReply> GetDocumentHash(WindowHandle owner, const OperatorIdentity* op,
                                                     const std::u16string& token);
  // "/a/set_document_sign"; signature is Base64.
  bool SetDocumentSign(WindowHandle owner, const OperatorIdentity* op, const std::u16string& token,
                       const DocumentHashReply* hash, const std::optional<std::string>& signature);
  // "/a/kill_marker"; no message.
  bool KillMarker(const std::u16string& token);
  // "/a/cert_verify".
  std::optional<CertVerifyFlags> CertVerify(WindowHandle owner, const std::string& thumbprint,
                                            const std::optional<std::string>& loginToken);

  const std::string& Host() const { return host_; }
  std::uint16_t Port() const { return port_; }

 private:
  struct Exchange {
    bool connected = false;
    HttpReply reply;
    bool autoEnroll = false;
  };
  Exchange Send(const char16_t* path, const FormFields* form, bool get, bool waitCursor) const;
  void Fail(WindowHandle owner, const Exchange& ex, const char16_t* messageTemplate, int code);

  WizardUi& ui_;
  std::string host_;
  std::uint16_t port_;
  std::shared_ptr<platform::ProxyResolver> resolver_;
  std::string extraCaFile_;
};

}  // namespace orvane::net
