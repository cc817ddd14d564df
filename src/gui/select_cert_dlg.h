// CSelectCertificateDlg: the choice of an operator certificate among the user's "MY" store
// (the certificates an operator may use), by owner, issuer and validity. OK hands back the
// highlighted certificate; Отмена, Escape and the close box hand back none.
#pragma once

#include <QDialog>
#include <vector>

#include "platform/cert_store.h"
#include "types/certificate.h"

class QPushButton;
class QTreeWidget;

namespace orvane::gui {

class CSelectCertificateDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CSelectCertificateDlg(const platform::CertStoreOpener& stores, QWidget* parent = nullptr);

  // Runs the dialog; the chosen certificate or null.
  CertificatePtr Choose();
  // The highlighted certificate (null without one).
  CertificatePtr Highlighted() const;

 private:
  void UpdateOk();

  std::vector<CertificatePtr> certificates_;
  QTreeWidget* list_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace orvane::gui
