// RequestProperties (dialog 129): the application's data as the request system sent it, for
// the user to confirm before a key and a request are made. The texts and the subject rows come
// from the core model; a click on a row with a value shows the value in large cells.
// Ends with 1 for "Данные верны", 0 for "Отмена", Escape and the close box.
#pragma once

#include <QDialog>

#include "request/request_properties.h"

class QTableWidget;

namespace orvane::gui {

class RequestProperties : public QDialog {
  Q_OBJECT
 public:
  // Initialises the model (the caller has set its carrier and provider texts).
  RequestProperties(request::RequestPropertiesModel& model, QWidget* parent = nullptr);

 private:
  void ShowCell(int row);

  QTableWidget* table_ = nullptr;
};

}  // namespace orvane::gui
