#include "wizard/document_preview.h"

#include "wizard/get_certificate.h"

namespace orvane::wizard {

DocumentPreview::DocumentPreview(PreviewServices services, std::shared_ptr<requestFormContext> request)
    : s_(services), mode_(PreviewMode::Request), request_(std::move(request)) {}

DocumentPreview::DocumentPreview(PreviewServices services, std::u16string certificateToken, bool printOnly)
    : s_(services),
      mode_(printOnly ? PreviewMode::PrintOnly : PreviewMode::Certificate),
      certificateToken_(std::move(certificateToken)) {}

std::u16string DocumentPreview::Caption() const {
  return mode_ == PreviewMode::Request ? u"Информация о запросе на сертификат" : u"Информация о сертификате";
}

PreviewButtons DocumentPreview::Buttons() const {
  PreviewButtons b;
  switch (mode_) {
    case PreviewMode::Request:
      break;  // sign and print enabled, write hidden
    case PreviewMode::Certificate:
      b.signCaption = u"Подписать";
      b.signEnabled = !formSigned;
      b.writeVisible = true;
      b.writeEnabled = canWrite;
      b.printEnabled = canWrite;  // the form is printed only once it is confirmed
      break;
    case PreviewMode::PrintOnly:
      b.signCaption = u"Подписать";
      b.signVisible = false;
      b.signEnabled = false;
      b.writeVisible = false;
      b.writeEnabled = false;
      b.printEnabled = true;
      break;
  }
  return b;
}

bool DocumentPreview::SignAndSend(WindowHandle owner) {
  autoEnroll_ = false;
  if (mode_ == PreviewMode::Request) return SendRequest(owner);
  if (mode_ == PreviewMode::Certificate) ConfirmCertificate(owner);
  return false;  // the certificate preview stays open: the user writes the certificate next
}

void DocumentPreview::ConfirmCertificate(WindowHandle owner) {
  std::optional<std::u16string> code;
  if (!operatorCertificate) {
    code = s_.smsCodes.SmsCode(owner, certificateToken_, requestId);
    if (!code) return;
  }
  std::optional<net::OperatorIdentity> identity;
  if (operatorCertificate && operatorRights) {
    identity = op::OperatorIdentityFor(operatorCertificate, *operatorRights, s_.registry);
  }
  if (!ConfirmCertificateForm(s_.ui, s_.requestSystem, s_.registry, owner, certificateToken_, code.value_or(u""),
                              operatorCertificate, identity ? &*identity : nullptr)) {
    return;
  }
  // The request system now says whether the form counts as confirmed.
  std::unique_ptr<net::CertificateReply> reply;
  {
    WaitCursor wait(s_.ui);
    reply = s_.requestSystem.GetCertificate(owner, certificateToken_, identity ? &*identity : nullptr);
  }
  if (reply && reply->certPdfSigned) formSigned = canWrite = true;
}

bool DocumentPreview::SendRequest(WindowHandle owner) {
  std::optional<std::u16string> code;
  if (!operatorCertificate) {
    code = s_.smsCodes.SmsCode(owner, request_ ? request_->accessToken : std::u16string(), requestId);
    if (!code) return false;
  }
  std::optional<net::OperatorIdentity> identity;
  if (operatorCertificate) {
    identity = op::OperatorIdentityFor(operatorCertificate, operatorRights ? *operatorRights : op::verifyClientResult{},
                                       s_.registry);
  }
  const bool complete = request_ && request_->carrier && request_->requestBlob;
  net::PendingRequest pending;
  if (complete) {
    pending.carrierModel = request_->carrier->model.value_or(u"");
    pending.carrierSerial = request_->carrier->serial.value_or(u"");
    pending.container = request_->containerName;
    pending.der = request_->requestBlob;
    pending.tokenTypeName = carrierTypeName;
  }
  WaitCursor wait(s_.ui);
  const auto result = s_.requestSystem.SubmitRequest(owner, code, request_ ? request_->accessToken : std::u16string(),
                                                     complete ? &pending : nullptr, identity ? &*identity : nullptr);
  if (!result.ok) return false;  // reported; the dialog stays open
  autoEnroll_ = result.autoEnroll;
  sent_ = true;
  return true;
}

bool DocumentPreview::Write() {
  if (mode_ != PreviewMode::Certificate || !canWrite) return false;
  sent_ = true;
  return true;
}

std::optional<std::u16string> DocumentPreview::AbortReason() const {
  if (mode_ == PreviewMode::PrintOnly) return std::nullopt;
  if (mode_ == PreviewMode::Certificate && agentMode) return u"Сертификат не был записан на ключевой носитель.";
  return u"Документ не был подписан и отправлен.";
}

}  // namespace orvane::wizard
