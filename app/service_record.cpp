#include "app/service_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/unfinished_run.h"
#include "app/update_texts.h"
#include "link/result.h"

namespace {

using nlohmann::json;

std::string UtcTime(int64_t seconds) {
  const time_t when = static_cast<time_t>(seconds);
  struct tm utc;
  char text[32] = {};
  if (gmtime_r(&when, &utc)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// A version the run never learnt is 0 (kAnyVersion: a descriptor made without asking).
std::string KnownVersion(uint32_t version) {
  return version == 0 || version == kAnyVersion ? std::string() : VersionText(version);
}

// What the run never learnt is null in the record, not an empty text that looks like a value.
json TextOrNull(const std::string& text) {
  return text.empty() ? json(nullptr) : json(text);
}

std::string TextOf(const json& object, const char* key) {
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// An error on the open or the write of the record, as a file code.
int32_t WriteErrorCode(int error) {
  return error == ELOOP ? kErrFileIsLink : FileWriteErrorCode(error);
}

// Whether the record's last byte ends a line (an empty record counts as ended).
bool EndsWithLineEnd(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0 || info.st_size == 0) return true;
  char last = '\n';
  return pread(fd, &last, 1, info.st_size - 1) != 1 || last == '\n';
}

// The record's text. O_NONBLOCK: a FIFO put under the record's name must not hang the reader.
int32_t ReadWholeRecord(const std::string& path, std::string* text) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return kResultNothingDone;
    return errno == ELOOP ? kErrFileIsLink : FileErrorCode(errno, kErrFileReadFailed);
  }
  struct stat info;
  int32_t result = kResultOk;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) result = kErrFileReadFailed;
  char block[16384];
  while (result == kResultOk) {
    const ssize_t n = read(fd, block, sizeof block);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = FileErrorCode(errno, kErrFileReadFailed);
    } else {
      text->append(block, static_cast<size_t>(n));
    }
  }
  close(fd);
  return result;
}

// An update of the record from its JSON object; false for an object the record never wrote.
bool EntryOfObject(const json& object, ServiceEntry* entry) {
  const auto result = object.find("result");
  if (TextOf(object, "time").empty() || result == object.end() || !result->is_number_integer()) {
    return false;
  }
  entry->time = TextOf(object, "time");
  entry->program = TextOf(object, "program");
  entry->programVersion = TextOf(object, "program_version");
  entry->imageVersion = TextOf(object, "image_version");
  entry->port = TextOf(object, "port");
  if (const auto type = object.find("type"); type != object.end() && type->is_number_integer()) {
    entry->type = type->get<int>();
  }
  entry->instrument = TextOf(object, "instrument");
  entry->name = TextOf(object, "name");
  entry->serial = TextOf(object, "serial");
  entry->firmwareBefore = TextOf(object, "firmware_before");
  entry->firmwareAfter = TextOf(object, "firmware_after");
  const auto flag = [&object](const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_boolean() && found->get<bool>();
  };
  entry->settingsSaved = flag("settings_saved");
  entry->settingsRestored = flag("settings_restored");
  entry->keptSettingsFile = TextOf(object, "settings_file_kept");
  entry->result = result->get<int32_t>();
  entry->meaning = TextOf(object, "meaning");
  if (const auto seconds = object.find("seconds");
      seconds != object.end() && seconds->is_number()) {
    entry->seconds = seconds->get<double>();
  }
  return true;
}

}  // namespace

std::string ServiceRecordPath(const std::string& dataFolder) {
  return dataFolder + "/service-record.jsonl";
}

ServiceEntry ServiceEntryOfRun(const UpdateContext& c, int32_t result, int64_t startTime,
                               uint32_t elapsedMs) {
  ServiceEntry entry;
  entry.time = UtcTime(startTime);
  entry.program = c.caption;
  entry.programVersion = VEXABSL_VERSION;
  entry.imageVersion = VersionText(c.imageVersion);
  entry.port = c.portName;
  entry.type = c.descriptor.type;
  entry.instrument = c.descriptor.name;
  const UpdateJournal identity = InstrumentIdentity(c);
  entry.name = identity.name;
  entry.serial = identity.serial;
  entry.firmwareBefore = KnownVersion(c.versionBefore);
  entry.firmwareAfter = KnownVersion(c.versionAfter);
  entry.settingsSaved = c.settingsSaved;
  entry.settingsRestored = c.settingsRestored;
  entry.keptSettingsFile = c.keptSettingsFile;
  entry.result = result;
  entry.meaning = ResultText(result);
  entry.seconds = std::round(elapsedMs / 100.0) / 10.0;
  return entry;
}

std::string ServiceRecordLine(const ServiceEntry& e) {
  const nlohmann::ordered_json object = {
      {"time", e.time},
      {"program", e.program},
      {"program_version", e.programVersion},
      {"image_version", e.imageVersion},
      {"port", e.port},
      {"type", e.type},
      {"instrument", TextOrNull(e.instrument)},
      {"name", TextOrNull(e.name)},
      {"serial", TextOrNull(e.serial)},
      {"firmware_before", TextOrNull(e.firmwareBefore)},
      {"firmware_after", TextOrNull(e.firmwareAfter)},
      {"settings_saved", e.settingsSaved},
      {"settings_restored", e.settingsRestored},
      {"settings_file_kept", TextOrNull(e.keptSettingsFile)},
      {"result", e.result},
      {"meaning", e.meaning},
      {"seconds", e.seconds},
  };
  // The keys stay in this order for a reader of the raw file. An instrument's name or a port name
  // need not be UTF-8: such bytes become U+FFFD rather than an exception.
  return object.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

int32_t AppendServiceEntry(const std::string& path, const ServiceEntry& entry) {
  std::string line = ServiceRecordLine(entry);
  // Open for reading too, to see how the record ends. O_NONBLOCK: a FIFO under the record's name
  // must not hang the run in its open (it is refused below, as no regular file).
  const int fd =
      open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return WriteErrorCode(errno);
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return kErrFileWriteFailed;
  }
  // A record that ends in the middle of a line gets a line end first. Another run's line may be
  // under way at this moment; then the line end is one too many and the reader skips the empty
  // line it makes.
  if (!EndsWithLineEnd(fd)) line.insert(line.begin(), '\n');
  // One write of the whole line: with O_APPEND the system puts it at the end in one piece, so the
  // lines of runs that end together follow each other whole. It is never written in two parts.
  ssize_t written;
  do {
    written = write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  int32_t result = kResultOk;
  if (written < 0) {
    result = WriteErrorCode(errno);
  } else if (static_cast<size_t>(written) != line.size()) {
    result = kErrFileWriteFailed;  // the disk took part of it: the reader skips the cut line
  } else if (fsync(fd) != 0) {
    result = WriteErrorCode(errno);
  }
  if (close(fd) != 0 && result == kResultOk) result = WriteErrorCode(errno);
  return result;
}

int32_t ReadServiceRecord(const std::string& path, ServiceRecordRead* read) {
  std::string text;
  const int32_t got = ReadWholeRecord(path, &text);
  if (got <= 0) return got;
  int number = 0;
  for (size_t start = 0; start < text.size();) {
    ++number;
    const size_t end = text.find('\n', start);
    const bool cutOff = end == std::string::npos;
    const std::string line = text.substr(start, cutOff ? std::string::npos : end - start);
    start = cutOff ? text.size() : end + 1;
    // An empty line holds nothing to lose: the line end a writer put before its line when it saw
    // the record end in the middle of a line (one cut off, or another run's still being written).
    if (line.empty()) continue;
    const json object = json::parse(line, nullptr, false);
    ServiceEntry entry;
    if (object.is_object() && EntryOfObject(object, &entry)) {
      read->lines.push_back({number, line, entry});
      continue;
    }
    const std::string where = "line " + std::to_string(number);
    if (cutOff) {
      read->damage.push_back(where + " is cut off");
    } else if (object.is_discarded()) {
      read->damage.push_back(where + " is damaged");
    } else {
      read->damage.push_back(where + " is not an update of the record");
    }
  }
  return kResultOk;
}
