#include "gui/agent_cert_dlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "gui/dialog_units.h"
#include "gui/select_cert_dlg.h"

namespace orvane::gui {
namespace {

QLabel* Static(QWidget* parent, const char* id, const QRect& r) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(id));
  label->setGeometry(r);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QCheckBox* Check(QWidget* parent, const QString& text, const char* id, const QRect& r, bool checked) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(QString::fromLatin1(id));
  box->setGeometry(r);
  box->setChecked(checked);
  return box;
}

}  // namespace

CAgentCertDlg::CAgentCertDlg(op::AgentCertModel& model, AgentCertServices services, QWidget* parent)
    : QDialog(parent), model_(model), services_(std::move(services)) {
  setObjectName(QStringLiteral("137"));
  setWindowTitle(QStringLiteral("Настройка сертификата оператора"));
  const DialogUnits du(font());
  setFixedSize(du.X(266), du.Y(123));

  owner_ = Static(this, "1001", du.Rect(7, 7, 252, 18));
  validity_ = Static(this, "1002", du.Rect(7, 27, 252, 18));
  select_ = DialogButton(this, QStringLiteral("Выбрать"), "1017", du.Rect(7, 51, 56, 14));
  view_ = DialogButton(this, QStringLiteral("Просмотр"), "1007", du.Rect(67, 51, 56, 14));
  clear_ = DialogButton(this, QStringLiteral("Очистить"), "1008", du.Rect(127, 51, 56, 14));
  save_ = Check(this, QStringLiteral("Сохранять настройки"), "1022", du.Rect(7, 73, 160, 10), model_.saveSettings);
  block_ = Check(this, QStringLiteral("Блокировать носитель"), "1023", du.Rect(7, 86, 160, 10), model_.blockCarrier);
  apply_ = DialogButton(this, QStringLiteral("Применить"), "1015", du.Rect(143, 102, 56, 14));
  close_ = DialogButton(this, QStringLiteral("Закрыть"), "1016", du.Rect(203, 102, 56, 14));

  connect(select_, &QPushButton::clicked, this, [this] { OnSelect(); });
  connect(view_, &QPushButton::clicked, this, [this] { OnView(); });
  connect(clear_, &QPushButton::clicked, this, [this] { OnClear(); });
  connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  connect(save_, &QCheckBox::toggled, this, [this](bool on) { model_.saveSettings = on; });
  connect(block_, &QCheckBox::toggled, this, [this](bool on) {
    model_.ToggleBlock(on);
    Refresh();
  });
  Refresh();
  GrowToFitChildren(this, du.X(7));
}

void CAgentCertDlg::OnSelect() {
  CSelectCertificateDlg choose(services_.stores, this);
  model_.Select(choose.Choose());
  Refresh();
}

void CAgentCertDlg::OnView() {
  if (model_.Selected() && services_.view) services_.view(this, model_.Selected());
}

void CAgentCertDlg::OnClear() {
  model_.Clear();
  Refresh();
}

void CAgentCertDlg::OnApply() {
  const op::RightsCheck verify = [this](const CertificatePtr& certificate) {
    return services_.verify ? services_.verify(this, certificate) : nullptr;
  };
  platform::MemorySettingsStore unavailable;
  unavailable.available = false;
  model_.Apply(verify, services_.settings ? *services_.settings : unavailable);
  Refresh();
}

void CAgentCertDlg::Refresh() {
  owner_->setText(QString::fromStdU16String(op::OwnerLine(model_.Selected().get())));
  validity_->setText(QString::fromStdU16String(op::ValidityLine(model_.Selected().get())));
  view_->setEnabled(model_.ViewEnabled());
  clear_->setEnabled(model_.ClearEnabled());
  apply_->setEnabled(model_.ApplyEnabled());
  close_->setEnabled(model_.CloseEnabled());
  select_->setEnabled(model_.SelectEnabled());
  const QSignalBlocker quiet(block_);
  block_->setChecked(model_.blockCarrier);
}

}  // namespace orvane::gui
