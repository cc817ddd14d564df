#include "gui/finish_dialogs.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "gui/dialog_units.h"

namespace orvane::gui {
namespace {

QLabel* Static(QWidget* parent, const QString& text, const DialogUnits& du, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(du.X(x), du.Y(y));
  label->adjustSize();
  return label;
}

QPushButton* Button(QWidget* parent, const QString& text, const char* id, const QRect& r) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(id));
  button->setGeometry(r);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

CFinishDlg::CFinishDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("135"));
  setWindowTitle(QStringLiteral("Сертификат получен"));
  const DialogUnits du(font());
  setFixedSize(du.X(215), du.Y(119));
  Static(this, QStringLiteral("Бланк сертификата подписан и передан в систему заявок."), du, 7, 7);
  Static(this, QStringLiteral("Сертификат успешно записан в ключевой контейнер."), du, 7, 19);
  Static(this, QStringLiteral("Вы можете установить сертификат в хранилище."), du, 7, 31);
  auto* install = Button(this, QStringLiteral("Установить сертификат"), "1007", du.Rect(32, 51, 147, 22));
  auto* finish = Button(this, QStringLiteral("Завершить процедуру"), "1008", du.Rect(32, 84, 147, 22));
  connect(install, &QPushButton::clicked, this, [this] { done(kInstall); });
  connect(finish, &QPushButton::clicked, this, [this] { done(kFinish); });
  GrowToFitChildren(this, du.X(7));
}

void CFinishDlg::keyPressEvent(QKeyEvent* event) {
  // Neither button is the default: Enter does nothing; Escape ends with 2.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

CDocAlertDlg::CDocAlertDlg(const QString& reason, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("136"));
  setWindowTitle(QStringLiteral("Внимание"));
  const DialogUnits du(font());
  setFixedSize(du.X(213), du.Y(71));
  Static(this, reason, du, 7, 7)->setObjectName(QStringLiteral("1001"));
  Static(this, QStringLiteral("Вы действительно хотите прервать процедуру?"), du, 7, 20);
  auto* keep = Button(this, QStringLiteral("Нет, продолжить"), "2", du.Rect(7, 43, 84, 22));
  auto* abort = Button(this, QStringLiteral("Прервать"), "1", du.Rect(150, 42, 56, 22));
  keep->setDefault(true);  // Enter keeps the procedure going
  keep->setFocus();
  connect(keep, &QPushButton::clicked, this, [this] { done(kContinue); });
  connect(abort, &QPushButton::clicked, this, [this] { done(kAbort); });
  GrowToFitChildren(this, du.X(7));
}

}  // namespace orvane::gui
