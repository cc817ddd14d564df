// Dialog templates are given in dialog units: these convert them to pixels with the dialog
// font's base units (average character width / 4, line height / 8). Also the program icon.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QWidget>
#include <algorithm>

namespace orvane::gui {

struct DialogUnits {
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    baseX = std::max(1, fm.averageCharWidth());
    baseY = std::max(1, fm.height());
  }
  QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
  int X(int du) const { return du * baseX / 4; }
  int Y(int du) const { return du * baseY / 8; }
  int baseX, baseY;
};

// Grows a fixed-size dialog so that every child fits with the margin to the right and
// below: texts sized to a wider font than the template's are never cut.
void GrowToFitChildren(QWidget* dialog, int margin);

// A label of the text at (x, y) in dialog units, sized to its text.
QLabel* DialogLabel(QWidget* parent, const QString& text, const DialogUnits& du, int x, int y);
// A push button with an object name (tests find it by that), never a default button by itself.
QPushButton* DialogButton(QWidget* parent, const QString& text, const char* id, const QRect& r);

// The program icon (the same drawing as resources/orvane.svg), painted so that no image
// plugin is needed.
QIcon AppIcon();

}  // namespace orvane::gui
