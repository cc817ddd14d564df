#include "wizard/get_certificate.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "crypto/gost.h"
#include "keys/signing.h"
#include "text/format.h"
#include "text/text.h"
#include "wizard/document_preview.h"

namespace orvane::wizard {
namespace {

std::optional<Bytes> DecodeCertificate(const std::string& text) {
  return render::DecodeObjectText(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace

bool ConfirmCertificateForm(WizardUi& ui, net::RequestSystem& requestSystem, const csp::ProviderRegistry& registry,
                            WindowHandle owner, const std::u16string& token, const std::u16string& smsCode,
                            const CertificatePtr& operatorCertificate, const net::OperatorIdentity* identity) {
  if (operatorCertificate && identity != nullptr && identity->authToken && !token.empty()) {
    // The operator signs the document.
    const auto hash = requestSystem.GetDocumentHash(owner, identity, token);
    if (!hash) return false;
    if (!hash->b64Hash) {
      ui.ShowError(owner, u"Не найдены данные для подписи");
      return false;
    }
    const auto value = text::Base64Decode(*hash->b64Hash).value_or(Bytes{});
    Bytes signature;
    std::uint32_t error = 0;
    if (!keys::SignHash(operatorCertificate.get(), value.data(), value.size(), &signature, &error, registry)) {
      ui.ShowError(owner, text::FromUtf8(text::Format("Ошибка подписи документа 0x%08x", error)));
      return false;
    }
    return requestSystem.SetDocumentSign(owner, identity, token, hash.get(), text::Base64Encode(signature));
  }
  return requestSystem.ConfirmCertificate(owner, token, smsCode);
}

bool GetCertificateFlow::Run(WindowHandle owner, WizardState& state, const WizardHooks& hooks,
                             const KeepCertificate& keep) {
  certificate_.clear();
  installedInStore_ = false;
  if (state.accessToken.empty()) {
    s_.ui.ShowWarning(owner, u"Введите маркер доступа");
    if (hooks.focusToken) hooks.focusToken();
    return false;
  }
  std::optional<net::OperatorIdentity> identity;
  if (state.operatorCertificate && state.operatorRights) {
    identity = op::OperatorIdentityFor(state.operatorCertificate, *state.operatorRights, s_.registry);
  }
  const auto reply = s_.requestSystem.GetCertificate(owner, state.accessToken, identity ? &*identity : nullptr);
  if (!reply) return false;

  // The provider of the certificate's generation in the selected family.
  const auto der = DecodeCertificate(reply->cert);
  const crypto::GostGeneration generation = der ? crypto::CertificateGeneration(*der) : crypto::kGostNone;
  const std::int32_t type = csp::ProviderTypeFor(state.family, generation);
  const auto providerName =
      type < 0 ? std::nullopt : csp::FindProviderName(static_cast<std::uint32_t>(type), s_.catalogue);

  // The key container must be reachable: enumerated by the provider, letter case aside.
  bool found = false;
  if (reply->container && type >= 0) {
    if (auto context = s_.registry.AcquireContext(std::nullopt, providerName, static_cast<std::uint32_t>(type),
                                                  csp::CRYPT_VERIFYCONTEXT)) {
      const std::string wanted = text::WideToCp1251(*reply->container).value_or(std::string());
      Bytes name;
      for (std::uint32_t flags = csp::CRYPT_FIRST; context->GetProvParam(csp::PP_ENUMCONTAINERS, name, flags);
           flags = 0) {
        if (text::EqualsIgnoreCase(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()), wanted)) {
          found = true;
          break;
        }
      }
    }
  }
  if (!found) {
    s_.ui.ShowError(owner,
                    u"Ключевой контейнер, соответствующий сертификату, не обнаружен.\n"
                    u"Вставьте требуемый ключевой носитель и повторите операцию.");
    return false;
  }

  const auto html = s_.forms.RenderCertificateForm(
      s_.ui, owner, std::span(reinterpret_cast<const std::uint8_t*>(reply->cert.data()), reply->cert.size()));
  if (!html) return false;
  DocumentPreview preview(PreviewServices{s_.ui, s_.requestSystem, s_.registry, s_.smsCodes}, state.accessToken, false);
  preview.operatorRights = state.operatorRights;
  preview.agentMode = state.agentMode;
  preview.operatorCertificate = state.operatorCertificate;
  preview.requestId = state.requestData && state.requestData->request_id ? *state.requestData->request_id : u"";
  preview.formSigned = preview.canWrite = reply->certPdfSigned;
  const bool write = s_.dialogs.RunDocumentPreview(owner, *html, preview);
  std::remove(text::ToUtf8(*html).c_str());
  if (!write) return false;

  if (!WriteCertificateToContainer(owner, *reply, state)) return false;
  // Nothing the user needs is destroyed before what depends on it has succeeded.
  if (keep && !keep(owner, certificate_)) return false;
  s_.requestSystem.KillMarker(state.accessToken);
  if (installedInStore_) {
    s_.ui.ShowInfo(owner, u"Сертификат успешно установлен в хранилище \"Личные\" текущего пользователя.");
  }
  return true;
}

bool GetCertificateFlow::WriteCertificateToContainer(WindowHandle owner, const net::CertificateReply& reply,
                                                     const WizardState& state) {
  const auto der = DecodeCertificate(reply.cert);
  if (!der || der->empty() || crypto::SplitCertificate(*der) == std::nullopt || !reply.container || !state.carrier) {
    s_.ui.ShowError(owner, u"Ошибка чтения данных сертификата");
    return false;
  }
  const std::int32_t type = csp::ProviderTypeFor(state.family, crypto::CertificateGeneration(*der));
  const auto providerName =
      type < 0 ? std::nullopt : csp::FindProviderName(static_cast<std::uint32_t>(type), s_.catalogue);
  auto context = type < 0
                     ? nullptr
                     : s_.registry.AcquireContext(*reply.container, providerName, static_cast<std::uint32_t>(type), 0);
  if (!context) {
    s_.ui.ShowError(owner, u"Не удается найти соответствующий контейнер");
    return false;
  }
  if (!context->SetKeyParam(csp::AT_KEYEXCHANGE, csp::KP_CERTIFICATE, *der)) {
    s_.ui.ShowError(owner, u"Не удается записать сертификат в контейнер");
    return false;
  }
  certificate_ = *der;
  if (s_.dialogs.RunFinish(owner) == kFinishInstall) installedInStore_ = AddToPersonalStore(*context, *der);
  return true;
}

bool GetCertificateFlow::AddToPersonalStore(csp::CryptContext& context, const Bytes& der) {
  std::uint32_t error = 0;
  auto store = stores_("MY", platform::StoreLocation::CurrentUser, false, error);
  if (!store) return false;
  // Bound to the key through the container's unique name, as the provider reports it.
  const auto unique = csp::GetProvParamText(context, csp::PP_UNIQUE_CONTAINER).value_or(std::string());
  const auto provider = csp::GetProvParamText(context, csp::PP_NAME).value_or(std::string());
  const auto type = csp::GetProvParamWord(context, csp::PP_PROVTYPE).value_or(0);
  CertificateContext certificate;
  certificate.der = der;
  certificate.keyProvInfo = KeyProvInfo{text::Cp1251ToWide(std::string_view(unique)).value_or(u""),
                                        text::Cp1251ToWide(std::string_view(provider)).value_or(u""), type,
                                        1,  // CERT_SET_KEY_PROV_HANDLE_PROP_ID
                                        csp::AT_KEYEXCHANGE};
  return store->Add(certificate, error);
}

void PrintCertificateFile(FlowServices s, WindowHandle owner, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (path.empty() || !in) {
    s.ui.ShowError(owner, u"Невозможно открыть файл сертификата");
    return;
  }
  // A certificate file is a few KiB: more than the renderer takes is not one.
  std::string content;
  content.resize(render::kMaxObjectSize + 1);
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<std::size_t>(in.gcount()));
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  const auto der = render::DecodeObjectText(bytes);
  if (content.size() > render::kMaxObjectSize || !der || !crypto::SplitCertificate(*der)) {
    s.ui.ShowError(owner, u"Не удается прочитать файл сертификата");
    return;
  }
  const auto html = s.forms.RenderCertificateForm(s.ui, owner, *der);
  if (!html) return;
  DocumentPreview preview(PreviewServices{s.ui, s.requestSystem, s.registry, s.smsCodes}, std::u16string(), true);
  s.dialogs.RunDocumentPreview(owner, *html, preview);
  std::remove(text::ToUtf8(*html).c_str());
}

}  // namespace orvane::wizard
