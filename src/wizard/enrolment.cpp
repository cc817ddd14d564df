#include "wizard/enrolment.h"

#include "text/format.h"
#include "text/text.h"

namespace orvane::wizard {

GetCertificateResult GetCertificateFlow::Run(WindowHandle owner, const std::u16string& token,
                                             const std::u16string& requestId, const RequestContainer& container,
                                             const KeepCertificate& keep) {
  GetCertificateResult result;
  const auto reply = s_.requestSystem.GetCertificate(owner, token, nullptr);
  if (!reply) return result;
  const auto der = render::DecodeObjectText(
      std::span(reinterpret_cast<const std::uint8_t*>(reply->cert.data()), reply->cert.size()));
  if (!der || der->empty()) {
    s_.ui.ShowError(owner, u"Не удалось декодировать сертификат.");
    return result;
  }
  result.certificate = *der;
  // The request system sent the code with the certificate.
  const auto code = s_.smsCodes.SmsCode(owner, token, requestId);
  if (!code || !s_.requestSystem.ConfirmCertificate(owner, token, *code)) return result;

  // Into the container beside its key.
  auto context = s_.registry.AcquireContext(container.path, container.providerName, container.providerType, 0);
  if (!context || !context->SetKeyParam(csp::AT_KEYEXCHANGE, csp::KP_CERTIFICATE, *der)) {
    s_.ui.ShowError(owner, text::FromUtf8(text::Format("Не удалось записать сертификат в контейнер, ошибка 0x%08x",
                                                       csp::GetLastError())));
    return result;
  }
  // The token is invalidated only once the certificate is where the user needs it.
  if (keep && !keep(owner, *der)) return result;
  s_.requestSystem.KillMarker(token);
  result.done = true;
  return result;
}

}  // namespace orvane::wizard
