#include "gui/main_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <algorithm>
#include <utility>

#include "carriers/pkcs11_probe.h"
#include "config/version.h"
#include "gui/dialog_units.h"
#include "gui/qt_ui.h"
#include "net/request_system.h"
#include "text/text.h"

namespace orvane::gui {
namespace {

QColor ToQColor(const wizard::Rgb& c) {
  return QColor(c.r, c.g, c.b);
}

}  // namespace

COrvaneDlg::COrvaneDlg(Services services, QWidget* parent) : QDialog(parent), services_(std::move(services)) {
  setObjectName(QStringLiteral("102"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  // The splash while the window initialises.
  QWidget splash(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
  splash.setObjectName(QStringLiteral("141"));
  {
    const DialogUnits du(splash.font());
    splash.resize(du.X(168), du.Y(53));
    auto* l1 = new QLabel(QStringLiteral("Производится запуск приложения."), &splash);
    auto* l2 = new QLabel(QStringLiteral("Это может занять некоторое время..."), &splash);
    l1->move(du.X(10), du.Y(14));
    l2->move(du.X(10), du.Y(30));
    // Each line as tall and wide as its text, the splash grown to hold them.
    l1->adjustSize();
    l2->adjustSize();
    splash.resize(std::max(splash.width(), std::max(l1->geometry().right(), l2->geometry().right()) + du.X(10)),
                  std::max(splash.height(), l2->geometry().bottom() + du.Y(4)));
    if (QScreen* screen = QApplication::primaryScreen()) {
      splash.move(screen->availableGeometry().center() - splash.rect().center());
    }
    splash.show();
    splash.raise();
    splash.repaint();
  }

  setWindowIcon(AppIcon());
  setWindowTitle(QStringLiteral("Orvane %1").arg(QString::fromLatin1(config::kProgramVersion)));
  LayoutControls();

  // Provider families.
  csp::FillProviderCombo(providers_, services_.catalogue);
  for (const auto& item : providers_.items) providerList_->addItem(ToQString(item.text), item.kind);
  providerList_->setCurrentIndex(providers_.selection);

  settingsKey_ = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
  diagnosticsKey_ = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_I), this);
  settingsKey_->setAutoRepeat(false);
  diagnosticsKey_->setAutoRepeat(false);
  connect(settingsKey_, &QShortcut::activated, this, &COrvaneDlg::OnOperatorCertificate);
  connect(diagnosticsKey_, &QShortcut::activated, this, [this] { Call(services_.onDiagnostics); });
  SetHotKeysEnabled(false);

  // The operator certificate and its rights, then the splash goes.
  if (services_.loadOperatorSettings) {
    auto loaded = services_.loadOperatorSettings(*this);
    operatorCertificate_ = std::move(loaded.certificate);
    operatorRights_ = std::move(loaded.rights);
    blockOperatorCarrier_ = loaded.blockCarrier != 0;
    if (operatorCertificate_ && services_.registry != nullptr) {
      operatorKeyLocation_ = csp::LocateCertificateKey(operatorCertificate_.get(), *services_.registry);
    }
  }
  splash.close();
  agentMode_ = operatorRights_ && operatorRights_->agentMode;
  UpdateOperatorButton();

  // Readers and carriers as they are now, then the monitor.
  if (services_.pcsc != nullptr) {
    carriers::CarrierServices cs;
    cs.pcsc = services_.pcsc;
    cs.pkcs11 = services_.pkcs11;
    cs.downloads = services_.driverDownloads;
    readers_ = std::make_unique<carriers::SCardList>(cs);
    platform::ScopedPcscContext context(*services_.pcsc, platform::pcsc::kScopeUser);
    if (context) {
      readers_->Rebuild(context.get());
      context.Release();
      std::lock_guard lock(readerLock_);
      FillCarrierList(std::nullopt);
    }
    if (panel_.carrier) tokenEdit_->setFocus();
    carriers::ReaderMonitor::Hooks hooks;
    hooks.lock = &readerLock_;
    hooks.list = [this] { return readers_.get(); };
    hooks.changed = [this](carriers::SCardChange change) {
      // Only queued here: the UI thread takes the change over when it gets to it.
      QMetaObject::invokeMethod(
          this, [this, change] { OnMonitorChange(change); }, Qt::QueuedConnection);
    };
    monitor_ = std::make_unique<carriers::ReaderMonitor>(hooks, services_.monitorPeriod);
    monitor_->Start();
  }
}

COrvaneDlg::~COrvaneDlg() {
  if (monitor_) monitor_->Stop();
}

void COrvaneDlg::LayoutControls() {
  const DialogUnits du(font());
  resize(du.X(305), du.Y(242));
  setFixedSize(size());

  auto* info = new QGroupBox(QStringLiteral("Ключевая информация"), this);
  info->setGeometry(du.Rect(7, 7, 291, 71));
  carrierGroup_ = new QGroupBox(QStringLiteral("Ключевой носитель"), this);
  carrierGroup_->setObjectName(QStringLiteral("1001"));
  carrierGroup_->setGeometry(du.Rect(7, 84, 291, 132));

  // Static texts keep their template position and take the width their text needs (the
  // template's widths were made for another font).
  auto staticText = [&](const QString& text, int x, int y) {
    auto* l = new QLabel(text, this);
    l->move(du.X(x), du.Y(y));
    l->adjustSize();
    return l;
  };
  QLabel* tokenLabel = staticText(QStringLiteral("Маркер доступа"), 20, 24);
  tokenEdit_ = new QLineEdit(this);
  tokenEdit_->setObjectName(QStringLiteral("1006"));
  tokenEdit_->setGeometry(du.Rect(84, 22, 55, 14));
  if (tokenLabel->geometry().right() + 6 > tokenEdit_->x())
    tokenEdit_->move(tokenLabel->geometry().right() + 6, tokenEdit_->y());

  auto button = [&](const char* id, const QString& text, QRect rect, void (COrvaneDlg::*handler)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(id));
    b->setGeometry(rect);
    if (b->sizeHint().width() > rect.width()) b->resize(b->sizeHint().width(), rect.height());
    b->setAutoDefault(false);
    b->setDefault(false);
    connect(b, &QPushButton::clicked, this, handler);
    return b;
  };
  createButton_ =
      button("1007", QStringLiteral("Создать запрос"), du.Rect(20, 47, 120, 20), &COrvaneDlg::OnCreateRequest);
  getButton_ =
      button("1008", QStringLiteral("Получить сертификат"), du.Rect(162, 47, 120, 20), &COrvaneDlg::OnGetCertificate);
  operatorButton_ = button("1015", QStringLiteral("Загрузить сертификат"), du.Rect(10, 220, 96, 14),
                           &COrvaneDlg::OnOperatorCertificate);
  printButton_ = button("1024", QStringLiteral("Распечатать сертификат"), du.Rect(162, 19, 120, 20),
                        &COrvaneDlg::OnPrintCertificate);

  staticText(QStringLiteral("Криптопровайдер"), 19, 98);
  providerList_ = new QComboBox(this);
  providerList_->setObjectName(QStringLiteral("1009"));
  providerList_->setGeometry(du.Rect(19, 110, 268, 12));
  staticText(QStringLiteral("Устройство"), 19, 133);
  carrierList_ = new QComboBox(this);
  carrierList_->setObjectName(QStringLiteral("1010"));
  carrierList_->setGeometry(du.Rect(68, 131, 128, 12));
  connect(carrierList_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (filling_) return;
    std::lock_guard lock(readerLock_);
    ShowCarrier(index);
  });

  // The panel lines, 20 pixels apart inside the carrier group, below the device list.
  const QRect g = carrierGroup_->geometry();
  const int firstLine = std::max(g.top() + 84, carrierList_->geometry().bottom() + 8);
  for (int i = 0; i < 5; ++i) {
    auto* line = new CStaticLabel(this);
    line->setObjectName(QStringLiteral("carrierLine%1").arg(i + 1));
    line->SetFont(14, 600);
    line->move(g.left() + 14, firstLine + 20 * i);
    carrierLines_[i] = line;
  }
  phoneLabel_ = new CStaticLabel(this);
  phoneLabel_->setObjectName(QStringLiteral("phoneLabel"));
  phoneLabel_->SetFont(16, 700);
  phoneLabel_->SetText(QStringLiteral("тел. УЦ ") + QString::fromStdString(services_.caPhone));
  phoneLabel_->SetAddress(QString::fromStdString(services_.caWebSite));
  phoneLabel_->move(width() - 16 - phoneLabel_->width(), height() - 26);
  certificateLabel_ = new CStaticLabel(this);
  certificateLabel_->setObjectName(QStringLiteral("certificateLabel"));
  certificateLabel_->SetFont(14, 600);
  certificateLabel_->SetColour(ToQColor(wizard::kCertificateGreen));
  certificateLabel_->SetText(QStringLiteral("СЕРТИФИКАТ"));
  certificateLabel_->SetClick([this] { Call(services_.onShowOperatorCertificate); });
  certificateLabel_->move(16, height() - 26);
  certificateLabel_->hide();
  ApplyPanel();
}

void COrvaneDlg::FillCarrierList(const std::optional<std::u16string>& preferredReader) {
  const auto* items = readers_ && readers_->items() ? &*readers_->items() : nullptr;
  panel_.FillCarrierList(items, preferredReader, blockOperatorCarrier_, operatorKeyLocation_);
  ApplyPanel();
}

void COrvaneDlg::ShowCarrier(int position) {
  const auto* items = readers_ && readers_->items() ? &*readers_->items() : nullptr;
  panel_.selection = position;
  panel_.ShowCarrier(items, position);
  ApplyPanel();
}

void COrvaneDlg::ApplyPanel() {
  filling_ = true;
  QStringList texts;
  for (const auto& t : panel_.items) texts << ToQString(t);
  QStringList current;
  for (int i = 0; i < carrierList_->count(); ++i) current << carrierList_->itemText(i);
  if (current != texts) {
    carrierList_->clear();
    carrierList_->addItems(texts);
  }
  carrierList_->setCurrentIndex(panel_.selection);
  filling_ = false;
  for (int i = 0; i < 5; ++i) {
    carrierLines_[i]->SetColour(ToQColor(panel_.lines[static_cast<std::size_t>(i)].colour));
    carrierLines_[i]->SetText(ToQString(panel_.lines[static_cast<std::size_t>(i)].text));
  }
  if (services_.carrierSelection) {
    services_.carrierSelection->Set(panel_.carrier ? panel_.carrier->reader : std::nullopt);
  }
  createButton_->setEnabled(busy_ == 0 && panel_.createEnabled);
  getButton_->setEnabled(busy_ == 0 && panel_.getEnabled);
}

void COrvaneDlg::Call(const std::function<void(COrvaneDlg&)>& hook) {
  if (!hook) return;
  ++busy_;
  ApplyBusy();
  hook(*this);
  --busy_;
  ApplyBusy();
}

void COrvaneDlg::ApplyBusy() {
  const bool idle = busy_ == 0;
  for (QWidget* w : std::initializer_list<QWidget*>{tokenEdit_, operatorButton_, printButton_, providerList_,
                                                    carrierList_, certificateLabel_}) {
    w->setEnabled(idle);
  }
  createButton_->setEnabled(idle && panel_.createEnabled);
  getButton_->setEnabled(idle && panel_.getEnabled);
  SetHotKeysEnabled(idle && isActiveWindow());
  if (idle && std::exchange(focusTokenWhenIdle_, false)) tokenEdit_->setFocus();
}

void COrvaneDlg::OnMonitorChange(carriers::SCardChange change) {
  {
    std::lock_guard lock(readerLock_);
    FillCarrierList(change.reader);
  }
  if (services_.ui != nullptr) {
    for (const auto type : change.driverOffers) {
      carriers::OfferDriverDownload(type, *services_.ui, services_.driverDownloads);
    }
  }
}

void COrvaneDlg::UpdateOperatorButton() {
  const QRect g = carrierGroup_->geometry();
  const QSize size = operatorButton_->size();
  if (operatorCertificate_) {
    certificateLabel_->show();
    operatorButton_->setText(QStringLiteral("Заменить сертификат"));
    operatorButton_->move(g.left() + 102, g.bottom() - 16);
  } else {
    certificateLabel_->hide();
    operatorButton_->setText(QStringLiteral("Загрузить сертификат"));
    operatorButton_->move(g.left() + 2, g.bottom() - 16);
  }
  operatorButton_->resize(size);
}

void COrvaneDlg::SetOperatorCertificate(csp::CertificatePtr certificate, std::shared_ptr<op::verifyClientResult> rights,
                                        bool blockCarrier) {
  operatorCertificate_ = std::move(certificate);
  operatorRights_ = operatorCertificate_ ? std::move(rights) : nullptr;
  agentMode_ = operatorRights_ && operatorRights_->agentMode;
  blockOperatorCarrier_ = blockCarrier;
  operatorKeyLocation_ = operatorCertificate_ && services_.registry != nullptr
                             ? csp::LocateCertificateKey(operatorCertificate_.get(), *services_.registry)
                             : std::nullopt;
  UpdateOperatorButton();
  // The operator's carrier is hidden or shown at once; the selection stays where it was.
  std::lock_guard lock(readerLock_);
  FillCarrierList(panel_.carrier ? panel_.carrier->reader : std::nullopt);
}

std::u16string COrvaneDlg::AccessToken() const {
  return FromQString(tokenEdit_->text());
}

csp::ProviderKind COrvaneDlg::SelectedProviderKind() const {
  const QVariant data = providerList_->currentData();
  return data.isValid() ? data.toInt() : csp::kKindCryptoPro;
}

std::shared_ptr<const carriers::tokenInfo> COrvaneDlg::RefreshCarrier(const std::u16string& reader) {
  std::lock_guard lock(readerLock_);
  if (readers_) readers_->RefreshReader(reader);
  FillCarrierList(reader);
  return panel_.carrier;
}

void COrvaneDlg::FocusTokenEdit() {
  // While a flow runs the field is off and cannot take the focus: it gets it when the flow ends.
  if (busy_ > 0) {
    focusTokenWhenIdle_ = true;
    return;
  }
  tokenEdit_->setFocus();
}

wizard::WizardState& COrvaneDlg::FlowState() {
  flowState_.accessToken = AccessToken();
  flowState_.family = SelectedProviderKind();
  flowState_.carrier = Carrier();
  flowState_.operatorCertificate = operatorCertificate_;
  flowState_.operatorRights = operatorRights_;
  flowState_.agentMode = agentMode_;
  return flowState_;
}

std::shared_ptr<const carriers::tokenInfo> COrvaneDlg::Carrier() {
  std::lock_guard lock(readerLock_);
  return panel_.carrier;
}

void COrvaneDlg::keyPressEvent(QKeyEvent* event) {
  // Enter does nothing; Escape closes the window (the dialog's default) unless a flow runs.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      (event->key() == Qt::Key_Escape && busy_ > 0)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void COrvaneDlg::closeEvent(QCloseEvent* event) {
  if (busy_ > 0) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void COrvaneDlg::changeEvent(QEvent* event) {
  // The hot keys belong to this window only while it is the active one (and no flow runs).
  if (event->type() == QEvent::ActivationChange) SetHotKeysEnabled(busy_ == 0 && isActiveWindow());
  QDialog::changeEvent(event);
}

void COrvaneDlg::SetHotKeysEnabled(bool enabled) {
  settingsKey_->setEnabled(enabled);
  diagnosticsKey_->setEnabled(enabled);
}

}  // namespace orvane::gui
