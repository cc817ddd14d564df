// orvane: the desktop wizard.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "gui/app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The toolkit's own dialogs (files, printing) speak Russian like the rest of the wizard.
  QTranslator toolkit;
  if (toolkit.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&toolkit);
  }
  orvane::gui::COrvaneApp app;
  app.InitInstance();
  return 0;
}
