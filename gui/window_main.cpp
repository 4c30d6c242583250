#include "gui/window_main.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <exception>

#include "gui/main_window.h"
#include "gui/product_picture.h"

int RunUpdaterWindow(int argc, char** argv, const char* programName, const Product& product) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", programName, VEXABSL_VERSION);
      return 0;
    }
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName("VexaBSL");
  // "--icon FILE" writes the product picture, the program's icon, as a PNG (the build's desktop
  // entry uses it) and ends.
  const QStringList arguments = QApplication::arguments();
  if (const qsizetype at = arguments.indexOf("--icon"); at > 0 && at + 1 < arguments.size()) {
    return ProductPicture().save(arguments[at + 1]) ? 0 : 1;
  }
  try {
    MainWindow window(QApplication::arguments(), nullptr, product);
    window.show();
    return QApplication::exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, "VexaBSL", error.what());
    return 0;
  }
}
