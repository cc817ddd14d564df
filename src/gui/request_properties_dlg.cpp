#include "gui/request_properties_dlg.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "gui/cell_control.h"
#include "gui/dialog_units.h"
#include "gui/qt_ui.h"

namespace orvane::gui {
namespace {

// A static text sized to itself at the template's left/top corner, so that no text is cut
// whatever the font.
QLabel* Static(QWidget* parent, const QString& text, const DialogUnits& du, int x, int y, const char* id = nullptr) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  if (id != nullptr) label->setObjectName(QString::fromLatin1(id));
  label->move(du.X(x), du.Y(y));
  label->adjustSize();
  return label;
}

}  // namespace

RequestProperties::RequestProperties(request::RequestPropertiesModel& model, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("129"));
  setWindowTitle(QStringLiteral("Данные запроса пользователя"));
  const DialogUnits du(font());
  setFixedSize(du.X(455), du.Y(286));
  model.Initialise();

  // Each line from left to right: a text starts at its template position or just after the
  // text before it, whichever is further right, so that a wider font never overlaps them.
  int next = 0;
  auto place = [&](QLabel* label, int templateX) {
    const int x = std::max(du.X(templateX), next);
    label->move(x, label->y());
    next = x + label->width() + du.X(3);
  };
  place(Static(this, QStringLiteral("Номер заявки:"), du, 7, 9), 7);
  place(Static(this, ToQString(model.numberText), du, 62, 9, "1001"), 62);
  place(Static(this, QStringLiteral("Тип подписи:"), du, 125, 9), 125);
  auto* signatureType = Static(this, ToQString(model.signatureTypeText), du, 175, 9, "1002");
  place(signatureType, 175);
  // The carrier's text keeps to the right edge of its box; a longer text grows to the left.
  auto* carrier = new QLabel(ToQString(model.carrierText), this);
  carrier->setObjectName(QStringLiteral("1003"));
  carrier->setTextFormat(Qt::PlainText);
  carrier->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const QRect carrierBox = du.Rect(347, 9, 101, 8);
  const int carrierWidth = std::max(carrierBox.width(), carrier->sizeHint().width());
  carrier->setGeometry(carrierBox.right() + 1 - carrierWidth, carrierBox.top(), carrierWidth,
                       std::max(carrierBox.height(), carrier->sizeHint().height()));
  // A wider font than the template's may need more room on this line: the dialog grows, the
  // carrier's text keeps to the right edge and the list follows.
  const int needed = signatureType->geometry().right() + du.X(3) + carrierWidth + du.X(7);
  if (needed > width()) {
    setFixedSize(needed, height());
    carrier->move(width() - du.X(7) - carrierWidth, carrier->y());
  }
  next = 0;
  place(Static(this, QStringLiteral("Экспорт ключа:"), du, 7, 23), 7);
  place(Static(this, ToQString(model.exportText), du, 68, 23, "1018"), 68);
  place(Static(this, QStringLiteral("Криптопровайдер:"), du, 126, 23), 126);
  place(Static(this, ToQString(model.providerText), du, 196, 23, "1020"), 196);
  place(Static(this, QStringLiteral("ГОСТ:"), du, 266, 22), 266);
  place(Static(this, ToQString(model.gostText), du, 292, 22, "1021"), 292);

  table_ = new QTableWidget(static_cast<int>(model.Rows().size()), 2, this);
  table_->setObjectName(QStringLiteral("1005"));
  table_->setGeometry(du.X(7), du.Y(38), width() - du.X(14), du.Y(209));
  table_->setHorizontalHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Значение")});
  table_->verticalHeader()->hide();
  table_->setShowGrid(true);
  table_->setWordWrap(false);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  table_->horizontalHeader()->setStretchLastSection(true);  // "Значение" takes the rest of the width
  table_->setColumnWidth(0, 160);
  int row = 0;
  for (const auto& entry : model.Rows()) {
    table_->setItem(row, 0, new QTableWidgetItem(ToQString(entry.label)));
    table_->setItem(row, 1, new QTableWidgetItem(ToQString(entry.value)));
    ++row;
  }
  connect(table_, &QTableWidget::cellClicked, this, [this](int clicked, int) { ShowCell(clicked); });

  const int shift = (width() - du.X(455)) / 2;  // the buttons stay centred when the dialog grew
  auto* confirm =
      DialogButton(this, QStringLiteral("Данные верны"), "1", du.Rect(105, 259, 90, 20).translated(shift, 0));
  auto* cancel = DialogButton(this, QStringLiteral("Отмена"), "2", du.Rect(261, 259, 90, 20).translated(shift, 0));
  confirm->setDefault(true);
  connect(confirm, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void RequestProperties::ShowCell(int row) {
  const QTableWidgetItem* item = table_->item(row, 1);
  if (item == nullptr || item->text().isEmpty()) return;
  CCellControlWnd cells(item->text(), this);
  cells.exec();
}

}  // namespace orvane::gui
