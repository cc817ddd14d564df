// The operator-certificate settings: which certificates may serve as an operator's, the lines
// that describe the chosen one, and AgentCertModel, the state behind the settings dialog
// (the selection, the blocking of the carrier, applying and saving them).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "operator/operator_settings.h"
#include "platform/cert_store.h"
#include "platform/settings_store.h"
#include "types/certificate.h"

namespace orvane::op {

// An operator's certificate: its extended key usage names client authentication and e-mail
// protection exactly twice between them, it is signed with GOST R 34.10-2012 (256 or 512
// bits), and its key-provider information is known.
bool IsOperatorCertificate(const CertificateContext& certificate);

// "Владелец: <surname> <given names>, <organisation>" (the common name without surname and
// given names); "Сертификат не выбран" without a certificate.
std::u16string OwnerLine(const CertificateContext* certificate);

// "Действителен с <from> по <to>" in the certificate-document time format; empty without a
// certificate or when a time cannot be read.
std::u16string ValidityLine(const CertificateContext* certificate);

// One row of the certificate choice: subject and issuer common names and the validity ends
// as dd.mm.yyyy (each empty when it cannot be read).
struct CertificateRow {
  std::u16string owner;
  std::u16string issuer;
  std::u16string notBefore;
  std::u16string notAfter;
};
CertificateRow CertificateListRow(const CertificateContext& certificate);

// The operator certificates of the user's "MY" store, in store order; empty when the store
// does not exist.
std::vector<CertificatePtr> OperatorCertificates(const platform::CertStoreOpener& stores);

class AgentCertModel {
 public:
  AgentCertModel(CertificatePtr current, bool blockCarrier);

  const CertificatePtr& Selected() const { return selected_; }
  const CertificatePtr& Current() const { return current_; }
  // The rights the last applied certificate was granted; none before or without one.
  const std::shared_ptr<verifyClientResult>& Rights() const { return rights_; }

  bool ViewEnabled() const { return selected_ != nullptr; }
  bool ClearEnabled() const { return selected_ != nullptr; }
  bool ApplyEnabled() const { return modified; }
  bool CloseEnabled() const { return true; }
  bool SelectEnabled() const { return true; }

  // The outcome of the certificate choice: null when it was cancelled, which leaves no
  // selection and the change state as it was.
  void Select(CertificatePtr chosen);
  void Clear();
  void ToggleBlock(bool block);
  // Checks the selected certificate's rights and makes it the current one, saving it when
  // asked to; a refused check changes nothing. Returns whether the change took effect.
  bool Apply(const RightsCheck& verify, platform::SettingsStore& settings);

  bool modified = false;
  bool applied = false;
  bool saveSettings = true;
  bool blockCarrier = false;

 private:
  void Save(platform::SettingsStore& settings) const;

  CertificatePtr selected_;
  CertificatePtr current_;
  std::shared_ptr<verifyClientResult> rights_;
};

}  // namespace orvane::op
