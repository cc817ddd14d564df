#include "gui/dialog_units.h"

#include <QPainter>
#include <QPixmap>

namespace orvane::gui {

void GrowToFitChildren(QWidget* dialog, int margin) {
  int right = dialog->width(), bottom = dialog->height();
  for (QWidget* child : dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child->isWindow()) continue;
    right = std::max(right, child->geometry().right() + 1 + margin);
    bottom = std::max(bottom, child->geometry().bottom() + 1 + margin);
  }
  if (right != dialog->width() || bottom != dialog->height()) dialog->setFixedSize(right, bottom);
}

QIcon AppIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x1f, 0x5f, 0x9f));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 4, 56, 56, 10, 10);
  p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPoint(24, 32), 11, 11);
  p.drawLine(35, 32, 54, 32);
  p.drawLine(46, 32, 46, 40);
  p.drawLine(52, 32, 52, 38);
  return QIcon(pixmap);
}

QLabel* DialogLabel(QWidget* parent, const QString& text, const DialogUnits& du, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(du.X(x), du.Y(y));
  label->adjustSize();
  return label;
}

QPushButton* DialogButton(QWidget* parent, const QString& text, const char* id, const QRect& r) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(id));
  button->setGeometry(r);
  button->setAutoDefault(false);
  return button;
}

}  // namespace orvane::gui
