// What both update sequences do about a run that was cut off between the erase and the end of its
// restore (update_journal.h): the journal written when the erase begins, the question whether the
// settings file belongs to the instrument connected now, and a file kept aside when it does not.
#pragma once

#include <string>

#include "app/update_context.h"
#include "app/update_journal.h"

// The instrument's serial number and name as the session holds them (phase empty): the settings
// the run saved, or those of the settings file it restored, with a new serial number the restore
// gave it. Empty where the run read neither.
UpdateJournal InstrumentIdentity(const UpdateContext& context);

// From the erase on, the settings file is the only copy of the instrument's settings: the journal
// says so until the restore is done. A journal of an earlier run stays as it is; without settings
// (none saved, no file) nothing is written. 1; or, when the journal could not be written, the
// folder's failure (WriteJournal), after the "Data Folder Error" box: the erase must not begin.
int32_t NoteErasing(UpdateContext& context);

// The box of a data folder that cannot keep what a broken run would need to get the settings
// back (the settings file, the journal, a kept file), or whose files are links: it names the
// folder and the reason (`code`: kErrDiskFull, kErrDiskReadOnly, kErrFileDenied, ...;
// kErrFileIsLink with `file`, the link's name). The run stops before the flash is touched.
void DataFolderFailed(UpdateContext& context, int32_t code, const std::string& file = {});

// The "Unfinished Update" question: true when the user says the file's settings belong to the
// instrument connected now.
bool AskRestoreUnfinished(UpdateContext& context, const UpdateJournal& journal);

// For a device that runs the image's firmware, most likely the one whose update was cut off: true
// when the file is its own, silently for the journal's serial number, else by the question.
bool ClaimUnfinishedSettings(UpdateContext& context, const UpdateJournal& journal,
                             const std::string& serial);

// The file is another instrument's: kept where no run saves over it, the journal removed, and the
// user told where it is. 1 (also when there was no file); or, after the "Data Folder Error" box,
// why the file could not be kept: the journal then stays and this run must not save over it.
int32_t KeepUnfinishedSettings(UpdateContext& context, const UpdateJournal& journal);
