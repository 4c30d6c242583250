// Saving an instrument's settings before a firmware upload and writing them back afterwards, for
// every family: the loggers as one settings record (the command layer's settings snapshot), the
// digital sensor through the SDI-12 layer, every other type item by item (lab_settings.h). The
// save also writes the settings file, which a restore reads when the settings are not held.
#pragma once

#include <cstdint>
#include <string_view>

#include "session/session_context.h"

// Reads the settings the instrument's type keeps, without writing a file. 1; kErrPartlyDone (some
// items missing, the others were read); kErrUninitialised (a logger that has nothing to save);
// kErrNotForThisType (a type that keeps no settings); or the collection's failure.
int32_t DPCollectInfo(SessionContext* session);

// Collects and, unless the collection failed, writes the settings file at `path`. 1;
// kErrPartlyDone (saved, but some items are missing); kErrUninitialised; kErrNotForThisType; or
// the failure of the collection or the file.
int32_t DPSaveInfo(SessionContext* session, const char* path);

// Reads only the instrument's serial number (at most `size` - 1 characters). 1,
// kErrNotForThisType for a type that keeps none, or the read's failure.
int32_t DPReadSerialNumber(SessionContext* session, char* serial, uint32_t size);

// Reads the settings file at `path` into the context as a restore does when it holds no
// settings, so that they can be looked at before they are written; the context then holds them.
// 1, or the file's errors (as DPRestoreInfo).
int32_t DPReadInfo(SessionContext* session, const char* path);

// Writes the settings back: those held in memory, else those of the settings file at `path`.
// With `newSerial` (not empty), the instrument gets that serial number (a logger with a device
// ID keeps its own). 1; kErrPartlyDone (some items were not restored); kErrNotForThisType; the
// file's errors (ReadInfoFile: kErrSettingsFileMissing, kErrSettingsFileDenied,
// kErrUnreadableAnswer, ...); or the restore's failure.
int32_t DPRestoreInfo(SessionContext* session, const char* path, const char* newSerial);

// Whether `serial` fits an instrument as its serial number: 1 to 15 printable ASCII characters
// without blanks, as "set -sn" takes one word and every family keeps at most 15 characters.
// Checked before a run says anything to the instrument, so a bad one never meets an erased flash.
bool IsValidSerialNumber(std::string_view serial);
