#include "wizard/create_request.h"

#include <atomic>
#include <cstdio>
#include <thread>

#include "carriers/identify.h"
#include "keys/container_name.h"
#include "keys/pkcs10.h"
#include "request/request_properties.h"
#include "text/format.h"
#include "text/text.h"
#include "wizard/document_preview.h"

namespace orvane::wizard {

std::u16string CreateRequestErrorText(std::uint32_t error) {
  if (error == csp::NTE_FAIL)
    return u"Возможно, отсутствует биологический ДСЧ.\nПроверьте конфигурацию криптопровайдера";
  if (error == csp::SCARD_W_WRONG_CHV) return u"Задан неверный пароль ключевого носителя";
  if (error == csp::SCARD_W_CHV_BLOCKED)
    return u"Ключевой носитель заблокирован: пароль введён неверно слишком много раз подряд";
  return text::FromUtf8(text::Format("Не удалось создать запрос на сертификат, ошибка 0x%08x", error));
}

int WaitForAutoEnrollment(FlowUi& dialogs, WindowHandle owner, const net::RequestSystem& requestSystem,
                          const std::u16string& token, const AutoEnrollTiming& timing) {
  // One check at a time on a worker of its own. The worker owns a copy of what it uses, so
  // one abandoned at the end may finish whenever it likes; its result is then ignored.
  struct Check {
    std::atomic<bool> done{false};
    std::atomic<int> status{404};
  };
  const auto checker = std::make_shared<const net::RequestSystem>(requestSystem);
  std::shared_ptr<Check> running;

  const auto window = dialogs.OpenAutoEnrollProgress(owner);
  const auto start = timing.now();
  const auto deadline = start + timing.limit;
  auto lastCheck = start;
  auto lastStep = start;
  int result = 404;
  for (;;) {
    const auto now = timing.now();
    if (now > lastStep + timing.step) {
      lastStep = now;
      if (window) window->Advance();
    }
    if (now > lastCheck + timing.checkEvery) {
      lastCheck = now;
      if (!running) {
        running = std::make_shared<Check>();
        std::thread([check = running, checker, token] {
          check->status.store(checker->CheckAutoEnroll(token));
          check->done.store(true);
        }).detach();
      }
    }
    if (running && running->done.load()) {
      result = running->status.load();
      running.reset();
    }
    if (window) window->Pump(std::chrono::milliseconds(20));
    if (result != 404) break;
    if (timing.now() >= deadline) {
      result = -1;
      break;
    }
  }
  return result;
}

bool CreateRequestFlow::Run(WindowHandle owner, WizardState& state, const WizardHooks& hooks) {
  autoEnroll_ = false;
  if (state.accessToken.empty()) {
    s_.ui.ShowWarning(owner, u"Введите маркер доступа");
    if (hooks.focusToken) hooks.focusToken();
    return false;
  }
  std::optional<net::OperatorIdentity> identity;
  if (state.operatorCertificate && state.operatorRights) {
    identity = op::OperatorIdentityFor(state.operatorCertificate, *state.operatorRights, s_.registry);
  }
  int lastError = 0;
  const auto data =
      s_.requestSystem.GetRequestData(owner, state.accessToken, identity ? &*identity : nullptr, lastError);
  if (!data) return false;
  if (data->egais) {
    s_.ui.ShowError(owner,
                    u"Назначение ЭП - ЕГАИС по учету алкоголя. Заявка не может быть обработана в этой программе.\n"
                    u"Для выполнения данной заявки воспользуйтесь программой Kelvra.");
    return false;
  }
  if (data->cryptoProvider != 0 && data->cryptoProvider != state.family) {
    s_.ui.ShowError(owner, u"Выбранный тип криптопровайдера не совпадает с указанным в заявке (" +
                               csp::KindDisplayName(data->cryptoProvider).value_or(u"") + u")");
    return false;
  }
  if (data->token_type && state.carrier) {
    const auto type = carriers::CarrierTypeFromName(text::FromUtf8(*data->token_type));
    if (type && state.carrier->type != *type &&
        !s_.ui.AskWarningYesNo(owner, u"Тип ключевого носителя не совпадает с указанным в заявке. Продолжить?")) {
      return false;
    }
  }
  state.requestData = data;  // kept as the application of this press, whatever follows
  if (!GenerateKeyAndRequest(owner, state, hooks)) return false;

  auto context = std::make_shared<requestFormContext>(
      requestFormContext{state.carrier, state.requestBlob, state.containerName, state.accessToken});
  const auto html = s_.forms.RenderRequestForm(s_.ui, owner, state.requestBlob.get());
  if (!html) return false;
  s_.ui.ShowInfo(owner, u"Запрос успешно сформирован.");

  DocumentPreview preview(PreviewServices{s_.ui, s_.requestSystem, s_.registry, s_.smsCodes}, context);
  preview.operatorRights = state.operatorRights;
  preview.agentMode = state.agentMode;
  preview.operatorCertificate = state.operatorCertificate;
  if (state.carrier) preview.carrierTypeName = text::ToUtf8(carriers::CarrierTypeName(state.carrier->type));
  preview.requestId = data->request_id.value_or(u"");
  const bool sent = s_.dialogs.RunDocumentPreview(nullptr, *html, preview);
  std::remove(text::ToUtf8(*html).c_str());
  if (!sent) return false;

  autoEnroll_ = preview.AutoEnroll();
  if (!autoEnroll_) {
    s_.ui.ShowInfo(owner,
                   u"Запрос сформирован, подписан и передан в систему заявок.\n"
                   u"Ожидайте сообщения о готовности сертификата.");
    return true;
  }
  const int status = WaitForAutoEnrollment(s_.dialogs, owner, s_.requestSystem, state.accessToken, timing_);
  if (status == 200) {
    if (hooks.getCertificate) hooks.getCertificate(owner);
  } else {
    s_.ui.ShowWarning(owner,
                      u"Выпуск сертификата для этого запроса отменен.\n"
                      u"Запрос сформирован, подписан и передан в систему заявок.\n"
                      u"Ожидайте сообщения о готовности сертификата.");
  }
  return true;
}

bool CreateRequestFlow::GenerateKeyAndRequest(WindowHandle owner, WizardState& state, const WizardHooks& hooks) {
  const auto carrier = state.carrier;
  if (!carrier || !carrier->reader) return false;
  const auto& data = *state.requestData;

  request::RequestPropertiesModel properties(state.requestData);
  properties.carrierText = carrier->display;
  properties.providerText = state.family == csp::kKindCryptoPro ? u"КриптоПро CSP" : u"VipNet CSP";
  if (!s_.dialogs.RunRequestProperties(owner, properties)) return false;

  const std::int32_t type = csp::ProviderTypeFor(state.family, data.cryptoStandart);
  const auto providerName =
      type < 0 ? std::nullopt : csp::FindProviderName(static_cast<std::uint32_t>(type), s_.catalogue);
  if (!providerName) {
    // No key is made with a provider nobody chose: the flow ends here.
    s_.ui.ShowError(owner, u"Тип криптопровайдера, указанный в заявке, не поддерживается на этом компьютере");
    return false;
  }

  const auto name = keys::UsesUuidContainerName(carrier->type)
                        ? keys::MakeUuidContainerName()
                        : keys::MakeContainerName(data.request_id, data.ord, properties.Subject(), s_.registry);
  if (!name) {
    s_.ui.ShowError(owner, CreateRequestErrorText(0));
    return false;
  }
  keys::KeyRequestInputs in = keys::InputsForApplication(data);
  in.family = state.family;
  in.providerName = providerName;
  in.subject = properties.Subject();
  in.altName = properties.AltName();
  in.owner = owner;
  in.containerPath = keys::ContainerPathFor(state.family, *carrier->reader, *name);
  const auto made = keys::CreateKeyAndRequest(in, s_.catalogue, s_.registry);
  state.containerName = *name;
  state.requestBlob.reset();
  if (!made.der) {
    s_.ui.ShowError(owner, CreateRequestErrorText(made.error));
    return false;
  }
  auto blob = std::make_shared<io::ASVariableBuffer>();
  if (!blob->Append(made.der->data(), static_cast<std::int64_t>(made.der->size()))) {
    s_.ui.ShowError(owner, CreateRequestErrorText(0));
    return false;
  }
  state.requestBlob = std::move(blob);
  if (hooks.refreshCarrier) {
    if (auto current = hooks.refreshCarrier(*carrier->reader)) state.carrier = std::move(current);
  }
  return true;
}

}  // namespace orvane::wizard
