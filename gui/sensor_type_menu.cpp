// The digital-sensor updater's sensor-type items of the Settings menu: which sensor's firmware a
// run loads and which type it finally gives the sensor. Shown only with factory mode; one item is
// checked at a time, and the choice sets the version service's file, the device name and the
// line "This utility updates ... firmware to".
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <iterator>

#include "gui/main_window.h"
#include "gui/window_commands.h"
#include "net/version_paths.h"
#include "session/catalogue.h"

namespace {

struct SensorTypeCaption {
  const char* caption;  // "&&" shows one "&"
  uint32_t number;
  bool hidden;
};

constexpr SensorTypeCaption kSensorTypeItems[] = {
    {"7QA", 122, false},
    {"7QB", 120, false},
    {"HR4", 119, false},
    {"JN4", 118, false},
    {"WTP-3 && WTP-7", 261, false},
    {"Z4DG", 117, false},
    {"KVL Family", 262, false},
    {"PX-2", 113, false},
    {"PX-2F", 109, false},
    {"BH-3", 112, false},
    {"BH-4", 102, true},
    {"LRN Family", 260, false},
    {"WN-2", 95, true},
    {"GAU-1", 94, false},
    {"AERIX 22", 92, true},
    {"AERIX 41", 93, false},
    {"TORVA 1x Family", 264, false},
};

// The item a reported sensor number selects: its family's, or its own.
uint32_t ItemNumber(uint32_t number) {
  switch (number) {
    case 101:
    case 105:
    case 106:
    case 116:
      return 262;  // KVL Family
    case 103:
    case 104:
      return 264;  // TORVA 1x Family
    case 107:
    case 108:
    case 121:
      return 261;  // WTP-3 & WTP-7
    default:
      return number;
  }
}

constexpr uint32_t kAerix14 = 123;  // the updater's own sensor: no item

}  // namespace

void MainWindow::BuildSensorTypeMenu(QMenu* settings) {
  for (const SensorTypeCaption& item : kSensorTypeItems) {
    QAction* action = settings->addAction(item.caption);
    action->setCheckable(true);
    action->setVisible(false);
    const uint32_t number = item.number;
    connect(action, &QAction::triggered, this, [this, number] { ChooseSensorType(number); });
    sensorTypeItems_.push_back({number, action});
  }
}

void MainWindow::ShowSensorTypeMenu() {
  sensorSeparator_->setVisible(true);
  sensorHeading_->setVisible(true);
  for (size_t i = 0; i < sensorTypeItems_.size(); ++i) {
    sensorTypeItems_[i].action->setVisible(!kSensorTypeItems[i].hidden);
  }
}

void MainWindow::ChooseSensorType(uint32_t number) {
  const uint32_t itemNumber = ItemNumber(number);
  bool checked = false;
  for (const SensorTypeItem& item : sensorTypeItems_) {
    const bool mine = !checked && item.number == itemNumber;
    item.action->setChecked(mine);
    checked = checked || mine;
  }
  if (checked || number == kAerix14) {
    commands_->SetVersionFinderPath(net::SensorVersionFinderPath(static_cast<int>(itemNumber)));
  }
  UpdateContext& context = Context();
  SetSensorType(context, number);
  userText1_->setText("This utility updates " + QString::fromStdString(context.deviceName) +
                      " firmware to");
  FitTexts();
}
