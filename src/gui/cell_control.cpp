#include "gui/cell_control.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace orvane::gui {
namespace {

QFont CellFont() {
  QFont f(QStringLiteral("Courier New"));
  f.setStyleHint(QFont::TypeWriter);
  f.setPixelSize(18);
  f.setWeight(QFont::Bold);
  return f;
}

}  // namespace

CCellControl::CCellControl(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("2233"));
  setFont(CellFont());
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

bool CCellControl::Create(QWidget* parent, const QString& text) {
  if (text.isEmpty()) return false;
  setParent(parent);
  text_ = text;
  // The line height of the font (ascent and descent), not the ink of one letter: descenders
  // such as "у" and "р" and the tail of "Щ" must stay inside the cell.
  cell_ = QFontMetrics(font()).height() + 6;
  const QSize size(static_cast<int>(text_.size()) * cell_, cell_);
  if (parent != nullptr) parent->resize(size);
  setGeometry(QRect(QPoint(0, 0), size));
  show();
  return true;
}

QRect CCellControl::CellRect(int i) const {
  const int left = i * cell_ - (i > 0 ? 1 : 0);
  const int right = (i + 1) * cell_;
  return QRect(QPoint(left, 0), QPoint(right - 1, cell_ - 1));
}

void CCellControl::paintEvent(QPaintEvent*) {
  QPainter p(this);  // Qt double-buffers widgets itself
  p.fillRect(rect(), Qt::white);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::white);
  p.setFont(font());
  for (int i = 0; i < text_.size(); ++i) {
    const QRect cell = CellRect(i);
    p.drawRect(cell.adjusted(0, 0, -1, -1));
    p.drawText(cell.adjusted(0, 3, 0, 0), Qt::AlignHCenter | Qt::AlignTop, text_.mid(i, 1));
  }
}

void CCellControl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (auto* dialog = qobject_cast<QDialog*>(parentWidget())) dialog->done(0);
  }
  QWidget::mousePressEvent(event);
}

CCellControlWnd::CCellControlWnd(const QString& text, QWidget* parent)
    : QDialog(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint), cells_(new CCellControl) {
  setObjectName(QStringLiteral("130"));
  setWindowFlag(Qt::NoDropShadowWindowHint, false);  // the popup casts a shadow
  created_ = cells_->Create(this, text);
  if (!created_) {
    delete cells_;
    cells_ = nullptr;
  }
}

int CCellControlWnd::exec() {
  if (!created_) return 0;
  return QDialog::exec();
}

}  // namespace orvane::gui
