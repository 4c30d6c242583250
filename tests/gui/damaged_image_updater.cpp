// The FieldPal updater with a built-in image that fails its check value, for the window test of a
// start-up that fails. No one sits at the offscreen platform: every message box is named on
// stderr and answered with its first button as soon as it shows.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/product.h"
#include "gui/window_main.h"
#include "loader/builtin_image.h"
#include "tests/gui/window_test.h"

namespace {

class NamingAnswerer : public BoxAnswering {
  void Answer(QMessageBox* box) override {
    std::fprintf(stderr, "box \"%s\"\n", qPrintable(box->windowTitle()));
    box->buttons().front()->click();
  }
};

void AnswerEveryBox() {
  (new NamingAnswerer)->setParent(qApp);
}

}  // namespace

// RunUpdaterWindow makes the application; the answering starts with it.
Q_COREAPP_STARTUP_FUNCTION(AnswerEveryBox)

int main(int argc, char** argv) {
  static BuiltinImage damaged = kFieldPalImage;
  damaged.charSum += 1;
  static Product product = kFieldPalProduct;
  product.image = &damaged;
  return RunUpdaterWindow(argc, argv, "fieldpal-updater", product);
}
