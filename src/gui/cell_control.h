// CCellControl: a string drawn one character per square cell in a large bold monospaced font,
// neighbouring cells sharing a one-pixel border; CCellControlWnd: a borderless popup
// (dialog 130) that shows one and closes when it is clicked.
#pragma once

#include <QDialog>
#include <QWidget>

namespace orvane::gui {

class CCellControl : public QWidget {
  Q_OBJECT
 public:
  explicit CCellControl(QWidget* parent = nullptr);
  // False for an empty text. Sizes itself (length x cell, cell = "A" height + 6) and the
  // parent to the cells.
  bool Create(QWidget* parent, const QString& text);
  int CellSize() const { return cell_; }
  // The rectangle of cell i (neighbours overlap by one pixel).
  QRect CellRect(int i) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QString text_;
  int cell_ = 0;
};

class CCellControlWnd : public QDialog {
  Q_OBJECT
 public:
  CCellControlWnd(const QString& text, QWidget* parent = nullptr);
  int exec() override;  // 0 at once when there is nothing to show

 private:
  CCellControl* cells_;
  bool created_ = false;
};

}  // namespace orvane::gui
