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

QPushButton* Button(QWidget* parent, const QString& text, const char* id, const QRect& r) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(id));
  button->setGeometry(r);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

RequestProperties::RequestProperties(request::RequestPropertiesModel& model, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("129"));
  setWindowTitle(QStringLiteral("Данные запроса пользователя"));
  const DialogUnits du(font());
  setFixedSize(du.X(455), du.Y(286));
  model.Initialise();

  Static(this, QStringLiteral("Номер заявки:"), du, 7, 9);
  Static(this, ToQString(model.numberText), du, 62, 9, "1001");
  Static(this, QStringLiteral("Тип подписи:"), du, 125, 9);
  Static(this, ToQString(model.signatureTypeText), du, 175, 9, "1002");
  // The carrier's text keeps to the right edge of its box; a longer text grows to the left.
  auto* carrier = new QLabel(ToQString(model.carrierText), this);
  carrier->setObjectName(QStringLiteral("1003"));
  carrier->setTextFormat(Qt::PlainText);
  carrier->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  const QRect carrierBox = du.Rect(347, 9, 101, 8);
  const int carrierWidth = std::max(carrierBox.width(), carrier->sizeHint().width());
  carrier->setGeometry(carrierBox.right() + 1 - carrierWidth, carrierBox.top(), carrierWidth,
                       std::max(carrierBox.height(), carrier->sizeHint().height()));
  Static(this, QStringLiteral("Экспорт ключа:"), du, 7, 23);
  Static(this, ToQString(model.exportText), du, 68, 23, "1018");
  Static(this, QStringLiteral("Криптопровайдер:"), du, 126, 23);
  Static(this, ToQString(model.providerText), du, 196, 23, "1020");
  Static(this, QStringLiteral("ГОСТ:"), du, 266, 22);
  Static(this, ToQString(model.gostText), du, 292, 22, "1021");

  table_ = new QTableWidget(static_cast<int>(model.Rows().size()), 2, this);
  table_->setObjectName(QStringLiteral("1005"));
  table_->setGeometry(du.Rect(7, 38, 441, 209));
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

  auto* confirm = Button(this, QStringLiteral("Данные верны"), "1", du.Rect(105, 259, 90, 20));
  auto* cancel = Button(this, QStringLiteral("Отмена"), "2", du.Rect(261, 259, 90, 20));
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
