// The digital-sensor updater's sensor-type items of the Settings menu: which sensor's firmware a
// run loads and which type it finally gives the sensor. Shown only with factory mode; one item is
// checked at a time, and the choice sets the version service's file, the device name and the
// line "This utility updates ... firmware to". The items, their order and files are the
// catalogue's sensor table.
#include <QAction>
#include <QLabel>
#include <QMenu>

#include "gui/main_window.h"
#include "gui/window_commands.h"
#include "session/catalogue.h"

void MainWindow::BuildSensorTypeMenu(QMenu* settings) {
  for (const SensorType& type : SensorTypes()) {
    if (type.menu == SensorMenu::kNone) continue;
    QAction* action = settings->addAction(type.menuCaption);
    action->setCheckable(true);
    action->setVisible(false);
    const uint32_t number = type.number;
    connect(action, &QAction::triggered, this, [this, number] { ChooseSensorType(number); });
    sensorTypeItems_.push_back({number, action});
  }
}

void MainWindow::ShowSensorTypeMenu() {
  sensorSeparator_->setVisible(true);
  sensorHeading_->setVisible(true);
  for (const SensorTypeItem& item : sensorTypeItems_) {
    item.action->setVisible(FindSensorType(item.number)->menu == SensorMenu::kShown);
  }
}

void MainWindow::ChooseSensorType(uint32_t number) {
  const uint32_t itemNumber = SensorChoice(number);
  bool checked = false;
  for (const SensorTypeItem& item : sensorTypeItems_) {
    const bool mine = !checked && item.number == itemNumber;
    item.action->setChecked(mine);
    checked = checked || mine;
  }
  // Only the updater's own sensor has a version file without an item.
  if (const char* file = SensorVersionFile(itemNumber); *file) {
    commands_->SetVersionFinderPath(file);
  }
  UpdateContext& context = Context();
  SetSensorType(context, number);
  userText1_->setText("This utility updates " + QString::fromStdString(context.deviceName) +
                      " firmware to");
  FitTexts();
}
