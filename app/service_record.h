// The service record: one line for every update run on this computer, kept in the data folder
// as "service-record.jsonl" for the technician who next opens the instrument and for an auditor.
// Each line is a JSON object: when the run began (UTC), the updater and the image it carried,
// the port, the instrument met (type, name, serial number), its firmware before and after, what
// became of its settings, the run's result with its meaning, and how long it took. The record
// stays on this computer; nothing of it is sent anywhere.
//
// Every run appends its line with a single write() on a file opened for appending, so two runs
// that end at once (two engines, two programs) never mix their lines; a line cut off by a power
// cut or a full disk damages only itself, and the reader goes on after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/update_context.h"

// data folder + "/service-record.jsonl"
std::string ServiceRecordPath(const std::string& dataFolder);

// One update as the record keeps it. Empty texts (and a type of 0) are what the run never learnt:
// a serial number that was never read, the firmware of an instrument found in its loader.
struct ServiceEntry {
  std::string time;            // when the run began, UTC: "2026-05-04T09:30:12Z"
  std::string program;         // the updater: "FieldPal Firmware Updater"
  std::string programVersion;  // its version: "0.1.0"
  std::string imageVersion;    // of the image the run wrote: "2.00"
  std::string port;            // as the user chose it
  int type = 0;                // the catalogue type of the instrument met
  std::string instrument;      // that type's name: "FieldPal"
  std::string name;            // the name the instrument's settings give it
  std::string serial;          // as the instrument holds it after the run
  std::string firmwareBefore;  // "1.50"
  std::string firmwareAfter;   // "2.00"
  bool settingsSaved = false;
  bool settingsRestored = false;
  std::string keptSettingsFile;  // a settings file kept for "vexabsl settings --restore"
  int32_t result = 0;
  std::string meaning;  // ResultText(result)
  double seconds = 0;
};

// The entry of the run that `context` has just finished with `result`, begun at `startTime`
// (seconds since 1970) and lasting `elapsedMs`.
ServiceEntry ServiceEntryOfRun(const UpdateContext& context, int32_t result, int64_t startTime,
                               uint32_t elapsedMs);

// The entry as its line of the record: one JSON object and '\n'.
std::string ServiceRecordLine(const ServiceEntry& entry);

// Appends `entry` to the record at `path` (made, readable by its owner only, when missing) and
// flushes it to the disk. A record whose last line was cut off gets a line end first, so the new
// line stands on its own. 1; kErrFileIsLink when the record is a symbolic link;
// kErrFileWriteFailed when it is no regular file or took the line only in part; or why the folder
// took nothing: kErrDiskFull, kErrDiskReadOnly, kErrFileDenied, kErrFileMissing.
int32_t AppendServiceEntry(const std::string& path, const ServiceEntry& entry);

// The record as read: the entries with the line each came from, and what was wrong with the
// lines that are not entries.
struct ServiceRecordRead {
  struct Line {
    int number = 0;    // counting from 1
    std::string text;  // the line as written, without its line end
    ServiceEntry entry;
  };
  std::vector<Line> lines;
  // One for each damaged line: "line 7 is cut off", "line 3 is not an update of the record".
  std::vector<std::string> damage;
};

// Reads the record at `path`, every line that holds an update, around any that does not (a line
// cut off, a foreign or damaged line, a JSON value that is no object); empty lines are skipped. 1;
// kResultNothingDone when there is no record; kErrFileIsLink for a symbolic link; kErrFileDenied,
// kErrFileReadFailed (or another file code) when it cannot be read.
int32_t ReadServiceRecord(const std::string& path, ServiceRecordRead* read);
