// CCertificateViewer: the certificate viewer behind Просмотр in the operator settings and the
// main window's СЕРТИФИКАТ label. Tab Общие shows the owner, the issuer, the validity and the
// thumbprint; tab Состав lists every field with its value and shows the whole value of the
// selected one below the list. The texts come from render::DescribeCertificate.
#pragma once

#include <QDialog>

#include "render/certificate_view.h"
#include "types/certificate.h"

class QPlainTextEdit;
class QTabWidget;
class QTreeWidget;

namespace orvane::gui {

class CCertificateViewer : public QDialog {
  Q_OBJECT
 public:
  explicit CCertificateViewer(const render::CertificateView& view,
                              const QString& title = QStringLiteral("Просмотр сертификата"), QWidget* parent = nullptr);

  QTabWidget* Tabs() const { return tabs_; }
  QTreeWidget* Fields() const { return fields_; }
  QPlainTextEdit* FieldValue() const { return fieldValue_; }

 private:
  QWidget* GeneralTab(const render::CertificateView& view);
  QWidget* FieldsTab(const render::CertificateView& view);
  void ShowSelectedValue();

  QTabWidget* tabs_ = nullptr;
  QTreeWidget* fields_ = nullptr;
  QPlainTextEdit* fieldValue_ = nullptr;
};

// Runs the viewer over the certificate, modally. A certificate that cannot be read (or none)
// gives an error message instead.
void ShowCertificate(QWidget* parent, const CertificatePtr& certificate,
                     const QString& title = QStringLiteral("Просмотр сертификата"));

}  // namespace orvane::gui
