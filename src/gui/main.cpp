// orvane: the desktop wizard.
#include <QApplication>

#include "gui/app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  orvane::gui::COrvaneApp app;
  app.InitInstance();
  return 0;
}
