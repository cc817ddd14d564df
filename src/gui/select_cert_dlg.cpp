#include "gui/select_cert_dlg.h"

#include <algorithm>

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

#include "gui/dialog_units.h"
#include "operator/agent_settings.h"

namespace orvane::gui {
namespace {

QString Q(const std::u16string& s) {
  return QString::fromStdU16String(s);
}

}  // namespace

CSelectCertificateDlg::CSelectCertificateDlg(const platform::CertStoreOpener& stores, QWidget* parent)
    : QDialog(parent), certificates_(op::OperatorCertificates(stores)) {
  setObjectName(QStringLiteral("selectCertificate"));
  setWindowTitle(QStringLiteral("Выберите сертификат"));
  const DialogUnits du(font());
  setFixedSize(du.X(300), du.Y(160));

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("certificates"));
  list_->setGeometry(du.Rect(7, 7, 286, 124));
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setHeaderLabels(
      {QStringLiteral("Владелец"), QStringLiteral("Издатель"), QStringLiteral("Действителен с"), QStringLiteral("по")});
  list_->setColumnWidth(0, du.X(90));
  list_->setColumnWidth(1, du.X(80));
  list_->setColumnWidth(2, du.X(60));
  for (std::size_t i = 0; i < certificates_.size(); ++i) {
    const auto row = op::CertificateListRow(*certificates_[i]);
    auto* item = new QTreeWidgetItem(list_, {Q(row.owner), Q(row.issuer), Q(row.notBefore), Q(row.notAfter)});
    item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
  }
  if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
  // Every column as wide as its texts; the list, the dialog and its buttons follow.
  int wanted = 2 * list_->frameWidth();
  for (int column = 0; column < list_->columnCount(); ++column) {
    list_->resizeColumnToContents(column);
    wanted += list_->columnWidth(column);
  }
  const int extra = std::max(0, wanted - list_->viewport()->width());

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("1"));
  ok_->setGeometry(du.Rect(183, 139, 52, 14));
  ok_->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
  cancel->setObjectName(QStringLiteral("2"));
  cancel->setGeometry(du.Rect(241, 139, 52, 14));
  cancel->setAutoDefault(false);

  if (extra > 0) {
    setFixedSize(width() + extra, height());
    list_->resize(list_->width() + extra, list_->height());
    ok_->move(ok_->x() + extra, ok_->y());
    cancel->move(cancel->x() + extra, cancel->y());
  }

  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QTreeWidget::currentItemChanged, this, [this] { UpdateOk(); });
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
  UpdateOk();
  GrowToFitChildren(this, du.X(7));
}

CertificatePtr CSelectCertificateDlg::Highlighted() const {
  const QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr) return nullptr;
  const auto index = item->data(0, Qt::UserRole).toULongLong();
  return index < certificates_.size() ? certificates_[index] : nullptr;
}

CertificatePtr CSelectCertificateDlg::Choose() {
  return exec() == QDialog::Accepted ? Highlighted() : nullptr;
}

void CSelectCertificateDlg::UpdateOk() {
  ok_->setEnabled(Highlighted() != nullptr);
}

}  // namespace orvane::gui
