#include "app/update_run.h"

#include <cstdio>

#include "app/update_journal.h"
#include "app/update_texts.h"
#include "link/port_lock.h"
#include "loader/bsl_protocol.h"
#include "session/connection.h"

namespace {

// After a successful run: the settings file goes unless its settings did not all get back, in
// which case it is kept (under a name no later run saves over) and the user is told where.
void SettleSettingsFile(UpdateContext& c) {
  if (!c.restoreIncomplete) {
    std::remove(c.settingsPath.c_str());
    return;
  }
  const std::string kept = KeepSettingsFile(c);
  RemoveJournal(JournalPath(c));
  if (kept.empty()) return;
  c.keptSettingsFile = kept;
  LogMessage(c.log, vexa_log_level::kMilestone, "VexaBSL Host",
             "Kept the settings file of an incomplete restore as %s", kept.c_str());
  ShowErrorBox(c,
               "The settings read from your " + c.deviceName + " before the update are kept in\n" +
                   kept + "\n\nThey can be written back with \"vexabsl settings --restore\".",
               "Settings Kept", BoxKind::kInformation);
}

// The port stays this run's from its first connect to its end: the run closes and reopens it
// (before the loader, over the restart) and another program must not take it in between.
struct RunPortHold {
  explicit RunPortHold(const UpdateContext& c) : name(c.portName) {
    // A port that cannot be held now is refused by the first connect, with its box.
    held = HoldPort(name.c_str(), c.log) == kResultOk;
  }
  ~RunPortHold() {
    if (held) LetGoPort(name.c_str());
  }
  RunPortHold(const RunPortHold&) = delete;
  RunPortHold& operator=(const RunPortHold&) = delete;
  std::string name;
  bool held = false;
};

}  // namespace

int32_t RunUpdate(UpdateContext& c) {
  const RunPortHold hold(c);
  FrontEnd& ui = *c.ui;
  c.options = ui.Options();
  c.settingsSaved = c.settingsRestored = c.restoreIncomplete = false;
  c.keptSettingsFile.clear();
  c.seconds = 0;
  SetProgress(c, 0);
  ui.SetConnectLabel("Do NOT disconnect " + c.deviceName + " until finished.");
  c.settingsPath = SettingsFilePath(c);
  ClearSessionSettings(c.session);
  c.descriptor = DeviceDescriptor{};
  ShowStatus(c, "Connecting to " + c.deviceName + "...");
  const uint32_t start = MsClock();

  const int32_t result = c.digitalSensor ? UpdateSensor(c) : UpdateInstrument(c);

  if (result < 0) {
    ui.HideStatus();
    SetProgress(c, 0);
    if (c.digitalSensor) {
      EndSensorRelay(c);
    } else {
      BSLDisconnect(c.loader);
    }
    DPLogout(c.session, false);
    ui.SetConnectLabel("Connect " + c.deviceName + " to computer comm port.");
    return result;
  }
  c.seconds = (MsClock() - start) / 1000;
  std::string caption, text;
  if (c.descriptor.calibrationNotice && CalibrationNotice(c.descriptor.type, &caption, &text)) {
    ShowErrorBox(c, text, caption, BoxKind::kWarning);
  }
  SetProgress(c, 100);
  ui.SetStatus("Successfully updated firmware in " + std::to_string(c.seconds) + " seconds.");
  ui.Beep(BoxKind::kInformation);
  ui.Repaint();
  LogMessage(c.log, vexa_log_level::kError, "VexaBSL Host",
             "Finished updating device in %d seconds", static_cast<int>(c.seconds));
  SettleSettingsFile(c);
  ui.SetConnectLabel("You may disconnect your " + c.deviceName + " now.");
  return result;
}
