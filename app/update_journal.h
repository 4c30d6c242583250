// How far an update got, kept beside the settings file in the data folder. Between the erase and
// the end of the restore the settings file is the only copy of the instrument's settings: a run
// cut off there (a power cut, the program killed) leaves the journal behind, and the next run
// knows that the instrument it finds with new firmware and factory settings still needs them,
// instead of saving those factory settings over the only copy.
#pragma once

#include <string>

#include "app/update_context.h"

struct UpdateJournal {
  std::string phase;   // "erasing": from the erase until the restore is done
  std::string serial;  // the instrument whose settings the file holds
  std::string name;
};

// data folder + "/" + device name + ".journal.txt"
std::string JournalPath(const UpdateContext& context);
std::string SettingsFilePath(const UpdateContext& context);

// False when there is no journal (or it cannot be read). A symbolic link is no journal.
bool ReadJournal(const std::string& path, UpdateJournal* journal);
// Written whole and on the disk, or not at all (an earlier journal then stays as it was), through
// a new file of its own, never through a file or link that is there. 1, or why the folder took
// no journal: kErrDiskFull, kErrDiskReadOnly, kErrFileDenied (no permission), kErrFileMissing
// (no folder), kErrFileWriteFailed (another failure).
int32_t WriteJournal(const std::string& path, const UpdateJournal& journal);
void RemoveJournal(const std::string& path);

// The serial number and name a settings file holds. False when there is no such file.
bool ReadSettingsFileIdentity(const std::string& path, UpdateJournal* journal);

// Keeps the settings file under a name of its own with the serial number it holds
// ("FieldPal.FP14-2291047.settings.txt", never replacing another file), so no later run saves
// over it; the new name is on the disk when this returns. 1 with the new path in `kept`; 0 when
// there is no settings file; or why it could not be kept (the file then stays where it was):
// the codes of WriteJournal.
int32_t KeepSettingsFile(const UpdateContext& context, std::string* kept);
