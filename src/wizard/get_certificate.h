// The get-certificate flow behind "Получить сертификат" (and after auto-enrolment): the
// issued certificate fetched with the access token, its key container found through the
// selected provider family, the certificate form confirmed in the preview, the certificate
// written into the container, offered for the user's "MY" store bound to the container, and
// only then the access token invalidated.
#pragma once

#include <functional>
#include <string>

#include "platform/cert_store.h"
#include "wizard/create_request.h"

namespace orvane::wizard {

class GetCertificateFlow {
 public:
  // Called after the certificate is in the container and before the token is invalidated
  // (orvane-tool saves a file here); false stops the flow with the token intact.
  using KeepCertificate = std::function<bool(WindowHandle owner, const Bytes& der)>;

  GetCertificateFlow(FlowServices services, const platform::CertStoreOpener& stores) : s_(services), stores_(stores) {}

  // OnGetCertificate: true when the certificate was written and the token invalidated.
  bool Run(WindowHandle owner, WizardState& state, const WizardHooks& hooks, const KeepCertificate& keep = nullptr);

  // Set by the last run: the certificate written, and whether it went into "MY".
  const Bytes& Certificate() const { return certificate_; }
  bool InstalledInStore() const { return installedInStore_; }

 private:
  bool WriteCertificateToContainer(WindowHandle owner, const net::CertificateReply& reply, const WizardState& state);
  bool AddToPersonalStore(csp::CryptContext& context, const Bytes& der);

  FlowServices s_;
  const platform::CertStoreOpener& stores_;
  Bytes certificate_;
  bool installedInStore_ = false;
};

// "Распечатать сертификат" for a chosen file: the certificate (PEM, Base64 or DER) rendered
// into its form and shown for printing only. "Невозможно открыть файл сертификата" when the
// file cannot be read, "Не удается прочитать файл сертификата" when it holds no certificate.
void PrintCertificateFile(FlowServices services, WindowHandle owner, const std::string& path);

// The SMS-code or operator confirmation of a certificate form: "/a/set_certificate", or the
// operator's signature of the document hash ("/a/get_document_hash", "/a/set_document_sign").
bool ConfirmCertificateForm(WizardUi& ui, net::RequestSystem& requestSystem, const csp::ProviderRegistry& registry,
                            WindowHandle owner, const std::u16string& token, const std::u16string& smsCode,
                            const CertificatePtr& operatorCertificate, const net::OperatorIdentity* identity);

}  // namespace orvane::wizard
