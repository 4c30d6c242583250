// fieldpal-updater: the FieldPal Firmware Updater window.
#include "app/product.h"
#include "gui/window_main.h"

int main(int argc, char** argv) {
  return RunUpdaterWindow(argc, argv, "fieldpal-updater", kFieldPalProduct);
}
