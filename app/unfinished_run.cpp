#include "app/unfinished_run.h"

#include <cctype>

#include "link/result.h"
#include "session/session_context.h"

namespace {

// The instrument's serial number and name as the settings just saved hold them.
UpdateJournal JournalOfSavedSettings(const UpdateContext& c) {
  UpdateJournal journal = InstrumentIdentity(c);
  journal.phase = "erasing";
  return journal;
}

}  // namespace

UpdateJournal InstrumentIdentity(const UpdateContext& c) {
  UpdateJournal identity;
  const SessionContext& s = *c.session;
  if (IsLoggerType(s.type)) {
    identity.serial = s.settings.serialNumber;
    identity.name = s.settings.deviceName;
  } else if (s.type == kDigitalSensorType) {
    identity.serial = s.sensor.serialNumber;
  } else {
    identity.serial = s.lab.serialNumber;
    identity.name = s.lab.name;
  }
  return identity;
}

int32_t NoteErasing(UpdateContext& c) {
  const std::string path = JournalPath(c);
  UpdateJournal journal;
  if (ReadJournal(path, &journal)) return kResultOk;
  if (c.settingsSaved) {
    journal = JournalOfSavedSettings(c);
  } else if (!ReadSettingsFileIdentity(c.settingsPath, &journal)) {
    return kResultOk;  // no settings to keep
  }
  journal.phase = "erasing";
  const int32_t written = WriteJournal(path, journal);
  if (written < 0) {
    // Without the journal a run cut off after the erase would save the new firmware's factory
    // settings over the file, so the erase does not begin.
    LogMessage(c.log, vexa_log_level::kError, "VexaBSL Host",
               "NoteErasing got error %d (%s) writing %s", written, ResultText(written),
               path.c_str());
    DataFolderFailed(c, written);
  }
  return written;
}

void DataFolderFailed(UpdateContext& c, int32_t code, const std::string& file) {
  std::string reason = ResultText(code);
  reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
  if (!file.empty()) reason += ": " + file;
  ShowErrorBox(c,
               "The " + c.caption + " cannot keep the settings of your " + c.deviceName +
                   " safe in the folder\n" + c.dataFolder + "\n\n" + reason +
                   ".\n\nThe firmware in your " + c.deviceName +
                   " was not changed. Please make room in this folder, or choose another one, "
                   "and try again.\n\n[Error " +
                   std::to_string(code) + "]",
               "Data Folder Error", BoxKind::kError);
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

int32_t KeepUnfinishedSettings(UpdateContext& c, const UpdateJournal& journal) {
  std::string kept;
  const int32_t moved = KeepSettingsFile(c, &kept);
  if (moved < 0) {
    // The file stays the journal's: this run must not save another instrument's settings over it.
    LogMessage(c.log, vexa_log_level::kError, "VexaBSL Host",
               "Could not keep the settings of an unfinished update: error %d (%s)", moved,
               ResultText(moved));
    DataFolderFailed(c, moved);
    return moved;
  }
  RemoveJournal(JournalPath(c));
  if (moved == kResultNothingDone) return kResultOk;
  c.keptSettingsFile = kept;
  LogMessage(c.log, vexa_log_level::kMilestone, "VexaBSL Host",
             "Kept the settings of an unfinished update as %s", kept.c_str());
  ShowErrorBox(c,
               "The settings file of an earlier update that did not finish (serial number \"" +
                   journal.serial + "\") was kept as\n" + kept +
                   "\n\nIt can be written back to its " + c.deviceName +
                   " with \"vexabsl settings --restore\".",
               "Settings Kept", BoxKind::kInformation);
  return kResultOk;
}
