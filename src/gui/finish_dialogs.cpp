#include "gui/finish_dialogs.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "gui/dialog_units.h"

namespace orvane::gui {
CFinishDlg::CFinishDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("135"));
  setWindowTitle(QStringLiteral("Сертификат получен"));
  const DialogUnits du(font());
  setFixedSize(du.X(215), du.Y(119));
  DialogLabel(this, QStringLiteral("Бланк сертификата подписан и передан в систему заявок."), du, 7, 7);
  DialogLabel(this, QStringLiteral("Сертификат успешно записан в ключевой контейнер."), du, 7, 19);
  DialogLabel(this, QStringLiteral("Вы можете установить сертификат в хранилище."), du, 7, 31);
  auto* install = DialogButton(this, QStringLiteral("Установить сертификат"), "1007", du.Rect(32, 51, 147, 22));
  auto* finish = DialogButton(this, QStringLiteral("Завершить процедуру"), "1008", du.Rect(32, 84, 147, 22));
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
  DialogLabel(this, reason, du, 7, 7)->setObjectName(QStringLiteral("1001"));
  DialogLabel(this, QStringLiteral("Вы действительно хотите прервать процедуру?"), du, 7, 20);
  auto* keep = DialogButton(this, QStringLiteral("Нет, продолжить"), "2", du.Rect(7, 43, 84, 22));
  auto* abort = DialogButton(this, QStringLiteral("Прервать"), "1", du.Rect(150, 42, 56, 22));
  keep->setDefault(true);  // Enter keeps the procedure going
  keep->setFocus();
  connect(keep, &QPushButton::clicked, this, [this] { done(kContinue); });
  connect(abort, &QPushButton::clicked, this, [this] { done(kAbort); });
  GrowToFitChildren(this, du.X(7));
}

}  // namespace orvane::gui
