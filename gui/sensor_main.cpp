// sensor-updater: the digital-sensor updater's window, for the sensor behind a FieldPal (or an
// AQUEL communication device). Its sensor-type items are in the Settings menu with "-factory".
#include "app/product.h"
#include "gui/window_main.h"

int main(int argc, char** argv) {
  return RunUpdaterWindow(argc, argv, "sensor-updater", kSensorProduct);
}
