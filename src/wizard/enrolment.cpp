#include "wizard/enrolment.h"

#include <thread>

#include "keys/container_name.h"
#include "keys/pkcs10.h"
#include "text/format.h"
#include "text/text.h"

namespace orvane::wizard {

std::u16string CreateRequestErrorText(std::uint32_t error) {
  if (error == csp::NTE_FAIL)
    return u"Возможно, отсутствует биологический ДСЧ.\nПроверьте конфигурацию криптопровайдера";
  if (error == csp::SCARD_W_WRONG_CHV) return u"Задан неверный пароль ключевого носителя";
  return text::FromUtf8(text::Format("Не удалось создать запрос на сертификат, ошибка 0x%08x", error));
}

CreateRequestResult CreateRequestFlow::Run(WindowHandle owner, const std::u16string& token,
                                           const carriers::tokenInfo& carrier,
                                           std::optional<csp::ProviderKind> familyOverride) {
  CreateRequestResult result;
  if (!carrier.reader || carrier.reader->empty()) {
    s_.ui.ShowError(owner, u"Не выбран ключевой носитель.");
    return result;
  }
  int lastError = 0;
  const auto record = s_.requestSystem.GetRequestData(owner, token, nullptr, lastError);
  if (!record) return result;
  result.application = record;
  if (record->egais) {
    s_.ui.ShowError(owner, u"Заявка предназначена для ЕГАИС и не может быть обработана этой программой.");
    return result;
  }

  keys::KeyRequestInputs in = keys::InputsForApplication(*record);
  if (familyOverride) in.family = *familyOverride;
  const auto type = csp::ProviderTypeFor(in.family, in.generation);
  in.providerName = type < 0 ? std::nullopt : csp::FindProviderName(static_cast<std::uint32_t>(type), s_.catalogue);
  if (!in.providerName) {
    s_.ui.ShowError(owner, u"Тип криптопровайдера, указанный в заявке, не поддерживается на этом компьютере");
    return result;
  }
  const auto name = keys::UsesUuidContainerName(carrier.type)
                        ? keys::MakeUuidContainerName()
                        : keys::MakeContainerName(record->request_id, record->ord, in.subject, s_.registry);
  if (!name) {
    s_.ui.ShowError(owner, CreateRequestErrorText(0));
    return result;
  }
  in.containerPath = keys::ContainerPathFor(in.family, *carrier.reader, *name);
  const auto made = keys::CreateKeyAndRequest(in, s_.catalogue, s_.registry);
  if (!made.der) {
    s_.ui.ShowError(owner, CreateRequestErrorText(made.error));
    return result;
  }
  result.container = {in.family, static_cast<std::uint32_t>(type), *in.providerName, *name, in.containerPath};

  // The request, confirmed by the SMS code, with the carrier it was made on.
  if (!s_.requestSystem.RequestSmsCode(owner, token)) return result;
  const auto code = s_.smsCodes.SmsCode(owner, record->request_id.value_or(u""));
  if (!code) return result;
  net::PendingRequest pending;
  pending.carrierModel = carrier.model.value_or(u"");
  pending.carrierSerial = carrier.serial.value_or(u"");
  pending.container = *name;
  pending.der = std::make_shared<io::ASVariableBuffer>();
  if (!pending.der->Append(made.der->data(), static_cast<std::int64_t>(made.der->size()))) {
    s_.ui.ShowError(owner, u"Неизвестная ошибка");
    return result;
  }
  pending.tokenTypeName = record->token_type;
  const auto sent = s_.requestSystem.SubmitRequest(owner, *code, token, &pending, nullptr);
  result.sent = sent.ok;
  result.autoEnroll = sent.ok && sent.autoEnroll;
  return result;
}

int WaitForAutoEnrollment(const net::RequestSystem& requestSystem, const std::u16string& token,
                          std::chrono::seconds period, std::chrono::seconds limit,
                          const std::function<void(std::chrono::seconds)>& sleep) {
  int status = 404;
  for (std::chrono::seconds waited{0}; waited < limit; waited += period) {
    if (sleep) {
      sleep(period);
    } else {
      std::this_thread::sleep_for(period);
    }
    status = requestSystem.CheckAutoEnroll(token);
    if (status == 200 || status == 403) break;
  }
  return status;
}

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
  if (!s_.requestSystem.RequestSmsCode(owner, token)) return result;
  const auto code = s_.smsCodes.SmsCode(owner, requestId);
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
