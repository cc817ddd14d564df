// CStaticLabel: a label that sizes itself to its text, has its own font ("Arial", height and
// weight) and colour, and opens an address or calls a function when clicked (hand cursor).
#pragma once

#include <QLabel>
#include <functional>

namespace orvane::gui {

class CStaticLabel : public QLabel {
  Q_OBJECT
 public:
  explicit CStaticLabel(QWidget* parent);

  void SetFont(int height, int weight);
  void SetColour(const QColor& colour);
  // Sets the text and resizes the label to it, keeping its position.
  void SetText(const QString& text);
  void SetAddress(const QString& address);
  void SetClick(std::function<void()> click);
  QColor Colour() const { return colour_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void UpdateCursor();
  QColor colour_{80, 80, 80};
  QString address_;
  std::function<void()> click_;
};

}  // namespace orvane::gui
