#include "app/update_run.h"

#include <cstdio>

#include "app/run_lock.h"
#include "app/update_journal.h"
#include "app/update_texts.h"
#include "link/port_lock.h"
#include "loader/bsl_protocol.h"
#include "session/connection.h"
#include "session/save_restore.h"

namespace {

// After a successful run: the settings file goes unless its settings did not all get back, in
// which case it is kept (under a name no later run saves over) and the user is told where.
void SettleSettingsFile(UpdateContext& c) {
  if (!c.restoreIncomplete) {
    std::remove(c.settingsPath.c_str());
    return;
  }
  std::string kept;
  const int32_t moved = KeepSettingsFile(c, &kept);
  if (moved < 0) {
    // The file and the journal stay as they are: the next run on this instrument finds its new
    // firmware and its serial number, and restores the file again.
    LogMessage(c.log, vexa_log_level::kError, "VexaBSL Host",
               "Could not keep the settings file of an incomplete restore: error %d (%s)", moved,
               ResultText(moved));
    return;
  }
  RemoveJournal(JournalPath(c));
  if (moved == kResultNothingDone) return;
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
  // A serial number the instrument cannot take would fail only in the restore, after the erase.
  if (c.options.replaceSerial && !c.options.newSerial.empty() &&
      !IsValidSerialNumber(c.options.newSerial)) {
    ShowErrorBox(c,
                 "The new serial number \"" + c.options.newSerial.substr(0, 40) +
                     "\" can't be given to your " + c.deviceName +
                     ".\n\nA serial number is 1 to 15 letters, digits or signs, without blanks.",
                 "Serial Number Error", BoxKind::kError);
    return kErrBadArgument;
  }
  c.settingsSaved = c.settingsRestored = c.restoreIncomplete = false;
  c.restoreResult = 0;
  c.keptSettingsFile.clear();
  c.seconds = 0;
  c.versionBefore = c.versionAfter = 0;
  c.phase = RunPhase::kStarting;
  SetProgress(c, 0);
  ui.SetConnectLabel("Do NOT disconnect " + c.deviceName + " until finished.");
  c.settingsPath = SettingsFilePath(c);
  ClearSessionSettings(c.session);
  c.descriptor = DeviceDescriptor{};
  // The run owns the folder's files until it ends; another run's are never touched.
  RunLock lock;
  int32_t result = OwnRunFiles(c, &lock);
  const uint32_t start = MsClock();
  if (result >= 0) {
    ShowStatus(c, RunPhase::kConnecting, "Connecting to " + c.deviceName + "...");
    result = c.digitalSensor ? UpdateSensor(c) : UpdateInstrument(c);
  }

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
    ReleaseRunLock(&lock);
    return result;
  }
  c.seconds = (MsClock() - start) / 1000;
  std::string caption, text;
  if (c.descriptor.calibrationNotice && CalibrationNotice(c.descriptor.type, &caption, &text)) {
    ShowErrorBox(c, text, caption, BoxKind::kWarning);
  }
  SetProgress(c, 100);
  ShowStatus(c, RunPhase::kFinished,
             "Successfully updated firmware in " + std::to_string(c.seconds) + " seconds.");
  ui.Beep();
  LogMessage(c.log, vexa_log_level::kAlways, "VexaBSL Host",
             "Finished updating device in %d seconds", static_cast<int>(c.seconds));
  SettleSettingsFile(c);
  ReleaseRunLock(&lock);
  ui.SetConnectLabel("You may disconnect your " + c.deviceName + " now.");
  return result;
}
