#include "gui/window_main.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "gui/main_window.h"
#include "gui/product_picture.h"

namespace {

// A start-up that failed: the message on stderr and, where a person sees the screen, in a box.
// The offscreen and minimal platforms have no one to close the box.
void ReportStartUpFailure(const char* programName, const QString& message) {
  std::fprintf(stderr, "%s: %s\n", programName, qPrintable(message));
  const QString platform = QGuiApplication::platformName();
  if (platform != "offscreen" && platform != "minimal") {
    QMessageBox::critical(nullptr, "VexaBSL", message);
  }
}

}  // namespace

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
    MainWindow window(arguments, nullptr, product);
    window.show();
    const int status = QApplication::exec();
    // The window has told the user of an engine that could not be built, and closed.
    if (!window.LaunchError().isEmpty()) {
      std::fprintf(stderr, "%s: %s\n", programName, qPrintable(window.LaunchError()));
      return EXIT_FAILURE;
    }
    return status;
  } catch (const std::exception& error) {
    ReportStartUpFailure(programName, QString::fromLocal8Bit(error.what()));
    return EXIT_FAILURE;
  }
}
