#include "app/unfinished_run.h"

#include "session/session_context.h"

namespace {

// The instrument's serial number and name as the settings just saved hold them.
UpdateJournal JournalOfSavedSettings(const UpdateContext& c) {
  UpdateJournal journal;
  journal.phase = "erasing";
  const SessionContext& s = *c.session;
  if (IsLoggerType(s.type)) {
    journal.serial = s.settings.serialNumber;
    journal.name = s.settings.deviceName;
  } else if (s.type == kDigitalSensorType) {
    journal.serial = s.sensor.serialNumber;
  } else {
    journal.serial = s.lab.serialNumber;
    journal.name = s.lab.name;
  }
  return journal;
}

}  // namespace

void NoteErasing(UpdateContext& c) {
  const std::string path = JournalPath(c);
  UpdateJournal journal;
  if (ReadJournal(path, &journal)) return;
  if (c.settingsSaved) {
    journal = JournalOfSavedSettings(c);
  } else if (!ReadSettingsFileIdentity(c.settingsPath, &journal)) {
    return;  // no settings to keep
  }
  journal.phase = "erasing";
  WriteJournal(path, journal);
}

bool AskRestoreUnfinished(UpdateContext& c, const UpdateJournal& journal) {
  const std::string question =
      "The " + c.caption + " found the settings of an earlier update that did not finish:\n" +
      c.deviceName + " \"" + journal.name + "\", serial number \"" + journal.serial +
      "\".\n\nClick OK to restore these settings to the " + c.deviceName + " connected now." +
      "\nClick CANCEL if they belong to another " + c.deviceName + "; they will be kept.";
  return ConfirmBox(c, question, "Unfinished Update") == BoxAnswer::kOk;
}

bool ClaimUnfinishedSettings(UpdateContext& c, const UpdateJournal& journal,
                             const std::string& serial) {
  if (!journal.serial.empty() && journal.serial == serial) {
    LogMessage(c.log, vexa_log_level::kMilestone, "VexaBSL Host",
               "Restoring the settings of %s kept from an update that did not finish",
               journal.serial.c_str());
    return true;
  }
  return AskRestoreUnfinished(c, journal);
}

void KeepUnfinishedSettings(UpdateContext& c, const UpdateJournal& journal) {
  const std::string kept = KeepSettingsFile(c);
  RemoveJournal(JournalPath(c));
  if (kept.empty()) return;
  c.keptSettingsFile = kept;
  LogMessage(c.log, vexa_log_level::kMilestone, "VexaBSL Host",
             "Kept the settings of an unfinished update as %s", kept.c_str());
  ShowErrorBox(c,
               "The settings file of an earlier update that did not finish (serial number \"" +
                   journal.serial + "\") was kept as\n" + kept +
                   "\n\nIt can be written back to its " + c.deviceName +
                   " with \"vexabsl settings --restore\".",
               "Settings Kept", BoxKind::kInformation);
}
