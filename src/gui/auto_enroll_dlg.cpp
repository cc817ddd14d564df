#include "gui/auto_enroll_dlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

#include "gui/dialog_units.h"

namespace orvane::gui {
AutoEnrollProgressDlg::AutoEnrollProgressDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("138"));
  setModal(false);
  const DialogUnits du(font());
  setFixedSize(du.X(168), du.Y(53));
  // Without a title bar the window manager draws no border either: a thin one of its own.
  auto* border = new QFrame(this);
  border->setFrameStyle(QFrame::Box | QFrame::Plain);
  border->setGeometry(rect());
  DialogLabel(this, QStringLiteral("Производится выпуск сертификата."), du, 7, 7);
  DialogLabel(this, QStringLiteral("Это может занять некоторое время..."), du, 7, 18);
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("1019"));
  bar_->setGeometry(du.Rect(7, 32, 154, 12));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  border->setGeometry(0, 0, 0, 0);  // measured without the border, which then follows the size
  GrowToFitChildren(this, du.X(7));
  border->setGeometry(rect());
}

void AutoEnrollProgressDlg::Advance() {
  const int next = bar_->value() + 1;
  bar_->setValue(next > bar_->maximum() ? bar_->minimum() : next);
  bar_->repaint();
}

void AutoEnrollProgressDlg::Pump(std::chrono::milliseconds time) {
  const auto ms = static_cast<int>(time.count());
  QElapsedTimer elapsed;
  elapsed.start();
  QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
  const auto rest = ms - static_cast<int>(elapsed.elapsed());
  if (rest <= 0) return;
  // Nothing more to do now: keep serving events until the time is up.
  QEventLoop wait;
  QTimer::singleShot(rest, &wait, &QEventLoop::quit);
  wait.exec();
}

int AutoEnrollProgressDlg::Position() const {
  return bar_->value();
}

std::unique_ptr<wizard::ProgressWindow> OpenAutoEnrollProgress(QWidget* owner) {
  auto window = std::make_unique<AutoEnrollProgressDlg>(owner);
  QRect area;
  if (owner != nullptr) {
    area = owner->window()->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) window->move(area.center() - window->rect().center());
  window->show();
  window->raise();
  window->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return window;
}

}  // namespace orvane::gui
