#include "gui/static_label.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace orvane::gui {

CStaticLabel::CStaticLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setAttribute(Qt::WA_TranslucentBackground);
  SetColour(colour_);
}

void CStaticLabel::SetFont(int height, int weight) {
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(height);
  // Windows weights (100-900) map onto Qt's scale one to one.
  f.setWeight(static_cast<QFont::Weight>(weight));
  setFont(f);
  adjustSize();
}

void CStaticLabel::SetColour(const QColor& colour) {
  colour_ = colour;
  QPalette p = palette();
  p.setColor(QPalette::WindowText, colour);
  setPalette(p);
}

void CStaticLabel::SetText(const QString& text) {
  setText(text.left(1024));
  adjustSize();
}

void CStaticLabel::SetAddress(const QString& address) {
  address_ = address;
  UpdateCursor();
}

void CStaticLabel::SetClick(std::function<void()> click) {
  click_ = std::move(click);
  UpdateCursor();
}

void CStaticLabel::UpdateCursor() {
  if (!address_.isEmpty() || click_) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
}

void CStaticLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (!address_.isEmpty()) QDesktopServices::openUrl(QUrl(address_));
    if (click_) click_();
  }
  QLabel::mousePressEvent(event);
}

}  // namespace orvane::gui
