// The settings file: the instrument's settings saved as plain text before a firmware upload, so
// they survive when the program must read them back (a restore after a broken run). One line per
// item, key="value" and CR LF, after a fixed header; which keys depends on the family: the loggers
// (from the settings record), the digital sensor (from the sensor object) and the lab family (from
// the lab block and its record sets).
//
//   ***** Auto-Generated Settings File -- DO NOT EDIT *****
//
//   type="FP"
//   name="FP0042"
//   ...
//
// During an update this file is the only copy of the settings, so it is replaced atomically: a
// crash or power cut of the computer while it is written leaves the previous file whole.
#pragma once

#include <cstdint>
#include <functional>

#include "session/session_context.h"

constexpr const char* kSettingsFileHeader =
    "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n";

// Calls `line` with each key and value the file holds for the context's family, in file order,
// until it returns false. Values are written without escaping: a value with a double quote cannot
// be read back whole.
void ForEachSettingsLine(SessionContext* session,
                         const std::function<bool(const char* key, const char* value)>& line);

// Writes the file for the context's catalogue type. 1; kErrMissingArgument without a path; when
// the file cannot be created or written (the previous file then stays as it was)
// kErrSettingsFileDenied (no permission), kErrFileMissing (no such folder), kErrIsFolder (the
// path is a folder), kErrDiskFull, kErrDiskReadOnly, or kErrFileWriteFailed for any other
// failure.
int32_t WriteInfoFile(SessionContext* session, const char* path);

// Reads a settings file into the context for its catalogue type, setting the presence bits of the
// items found (the loggers' mask becomes the saved mask). 1; kErrMissingArgument without a path;
// kErrNotForThisType (a type that keeps no settings); kErrUnreadableAnswer (the file is not one
// of this family, also an empty file); kErrOutOfMemory; kErrSettingsFileMissing (no such file);
// kErrSettingsFileDenied (no permission); kErrSettingsFileBadHandle (a bad descriptor);
// kErrIsFolder (the path is a folder); kErrFileReadFailed for any other failure to open or read
// it.
int32_t ReadInfoFile(SessionContext* session, const char* path);

// Reads the record set of `type` ("eqn00", "eqn01", ... or "user00", ...) from a settings file's
// `text`, at most 100 records, stopping at the first missing or empty one. 1; 0 none in the file;
// kErrBadArgument (another record type); kErrOutOfMemory.
int32_t GetRecords_File(SessionContext* session, int type, const char* text);

// The value of `key` in a settings file's text: the key at the start of a line, then '=' and the
// value between double quotes (up to the end of the text when the closing one is missing). False
// when the key is not there.
bool FindSettingsValue(const char* text, const char* key, const char** value, uint32_t* length);
