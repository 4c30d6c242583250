#include "session/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "session/lab_items.h"
#include "session/settings_readers.h"

namespace {

namespace bit = setting_bit;
using LineSink = std::function<bool(const char* key, const char* value)>;

constexpr uint32_t kValueSize = 600;  // the longest value: a 512-byte calibration string

// A value written with printf conventions, or empty when the item is not held: an empty number
// reads back as no value, where "0" would be restored as one.
class Value {
 public:
  const char* Format(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text_, sizeof text_, format, args);
    va_end(args);
    return text_;
  }
  const char* Fives(const uint8_t* values) {
    return Format("%u %u %u %u %u", values[0], values[1], values[2], values[3], values[4]);
  }

 private:
  char text_[kValueSize];
};

bool LoggerLines(const SettingsRecord& r, const LineSink& line) {
  Value v;
  const auto held = [&r](uint32_t setting) { return (r.presentMask & setting) != 0; };
  const auto number = [&](uint32_t setting, int32_t value) {
    return held(setting) ? v.Format("%d", value) : "";
  };
  if (!line("type", r.deviceTypeName) || !line("deviceid", r.deviceId) ||
      !line("name", r.deviceName) || !line("sn", r.serialNumber) ||
      !line("trait", number(bit::kTrait, static_cast<int32_t>(r.trait))) ||
      !line("wake", number(bit::kWakeInterval, r.wakeInterval)) ||
      !line("padc", number(bit::kPadc, r.padcHertz)) ||
      !line("ports", held(bit::kPorts) ? v.Fives(r.ports) : "") ||
      !line("depth", held(bit::kDepths) ? v.Fives(r.depths) : "")) {
    return false;
  }
  if (held(bit::kAdc15) && (!line("ADC15 slopes", v.Fives(r.adc15Slopes)) ||
                            !line("ADC15 offsets", v.Fives(r.adc15Offsets)))) {
    return false;
  }
  if (held(bit::kAdc30) && (!line("ADC30 slopes", v.Fives(r.adc30Slopes)) ||
                            !line("ADC30 offsets", v.Fives(r.adc30Offsets)))) {
    return false;
  }
  if (!line("rmode", number(bit::kRadioMode, r.radioMode)) ||
      !line("rch", number(bit::kRadioChannel, r.radioChannel)) ||
      !line("rsch", number(bit::kRadioSubChannel, r.radioSubChannel)) ||
      !line("data", number(bit::kDataParameter, r.dataParameter)) || !line("site", r.site) ||
      !line("lat", held(bit::kLatitude) ? v.Format("%+.5f", r.latitude) : "") ||
      !line("lon", held(bit::kLongitude) ? v.Format("%+.5f", r.longitude) : "") ||
      !line("timezone", number(bit::kTimeZone, r.timeZoneQuarters)) ||
      !line("report",
            held(bit::kReportMode) ? v.Format("%u", static_cast<uint32_t>(r.reportMode)) : "") ||
      !line("apn", r.apn) || !line("user", r.apnUser) || !line("passwd", r.apnPassword) ||
      !line("host", r.remoteHost) || !line("authkey", r.authKey) ||
      !line("ipport", held(bit::kIpPort) ? v.Format("%u", static_cast<uint32_t>(r.ipPort)) : "")) {
    return false;
  }
  return !held(bit::kBuild) || line("VexaBuild", r.buildText);
}

bool SensorLines(const VexaSDI12& sensor, const LineSink& line) {
  Value v;
  return line("type", "Digital Sensor") && line("identity", sensor.info) &&
         line("address", v.Format("%c", sensor.address)) &&
         line("addressInt", v.Format("%i", sensor.address)) && line("calibration", sensor.x4) &&
         line("calibration2", sensor.xa) && line("sn", sensor.serialNumber) &&
         // What a restore from the file needs beyond the lines above: the type decides which
         // calibrations are written back, and the offset calibration is the type's own.
         line("sdiType", v.Format("%u", static_cast<uint32_t>(sensor.type))) &&
         line("sdiNumeric", sensor.numericType ? "1" : "0") &&
         line("sdiVersion", v.Format("%u", sensor.version)) &&
         line("offsetCal", sensor.xoPresent ? sensor.xo : "");
}

bool LabItemLine(LabSettings& lab, const char* key, const LineSink& line) {
  const LabItem* item = FindLabItemByKey(key);
  if (!item) return line(key, "");  // "VexaBuild": kept for the file's layout, always empty
  if (item->kind == LabValue::kText) return line(key, item->text(lab));
  Value v;
  const bool held = (lab.presentMask & item->bit) != 0;
  return line(key, held ? v.Format("%ld", static_cast<long>(*item->number(lab))) : "");
}

bool RecordLines(const RecordSet& set, const char* name, const LineSink& line) {
  for (uint32_t i = 0; i < set.count && set.records[i].data[0]; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "%s%02u", name, i);
    if (!line(key, set.records[i].data)) return false;
  }
  return true;
}

bool LabLines(SessionContext* session, const LineSink& line) {
  LabSettings& lab = session->lab;
  if (!line("type", CatalogueKey(session->type))) return false;
  for (int i = 0; i < kLabFileKeyCount; ++i) {
    if (!LabItemLine(lab, kLabFileKeys[i], line)) return false;
  }
  for (int i = 0; i < kLabHeldOnlyKeyCount; ++i) {
    const LabItem* item = FindLabItemByKey(kLabHeldOnlyKeys[i]);
    if ((lab.presentMask & item->bit) && !LabItemLine(lab, item->key, line)) return false;
  }
  char key[16];
  if (session->type == 14) {
    for (uint32_t i = 0; i < kCalEntryCount && lab.cal[i][0]; ++i) {
      std::snprintf(key, sizeof key, "cal%02u", i);
      if (!line(key, lab.cal[i])) return false;
    }
  } else if (session->type == 22) {
    // The Hydrella 4 TDL numbers its entries from 1, empty ones included.
    for (uint32_t i = 0; i < kCalEntryCount; ++i) {
      std::snprintf(key, sizeof key, "cal%02u", i + 1);
      if (!line(key, lab.cal[i])) return false;
    }
  }
  return RecordLines(session->users, "user", line) && RecordLines(session->eqns, "eqn", line);
}

// Writes the whole file to `file`; false on the first failed write.
bool WriteLines(SessionContext* session, FILE* file) {
  if (std::fputs(kSettingsFileHeader, file) < 0) return false;
  bool written = true;
  ForEachSettingsLine(session, [&](const char* key, const char* value) {
    written = std::fprintf(file, "%s=\"%s\"\r\n", key, value) >= 0;
    return written;
  });
  return written;
}

// The code for a system error met with the settings file: no permission and a bad descriptor
// have the settings file's own codes (kErrSettingsFileDenied, kErrSettingsFileBadHandle), a
// read-only disk its own (kErrDiskReadOnly), the rest the shared file codes, and an error the
// system did not name becomes `otherwise`.
int32_t SettingsFileError(int error, int32_t otherwise) {
  switch (error) {
    case EACCES:
    case EPERM:
      return kErrSettingsFileDenied;
    case EBADF:
      return kErrSettingsFileBadHandle;
    case EROFS:
      return kErrDiskReadOnly;
    default:
      return FileErrorCode(error, otherwise);
  }
}

}  // namespace

void ForEachSettingsLine(SessionContext* session, const LineSink& line) {
  if (IsLoggerType(session->type)) {
    LoggerLines(session->settings, line);
  } else if (session->type == kDigitalSensorType) {
    SensorLines(session->sensor, line);
  } else {
    LabLines(session, line);
  }
}

int32_t WriteInfoFile(SessionContext* session, const char* path) {
  if (!session || !path || !*path) return kErrMissingArgument;
  // A temporary file beside the old one, flushed to the disk, then renamed over it: the rename
  // either happens whole or not at all.
  std::string temporary = std::string(path) + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    const int error = errno;
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "WriteInfoFile got error %d trying to open settings file %s", error, path);
    return SettingsFileError(error, kErrFileWriteFailed);
  }
  FILE* file = fdopen(fd, "wb");
  if (!file) {
    const int error = errno;
    close(fd);
    unlink(temporary.c_str());
    return SettingsFileError(error, kErrFileWriteFailed);
  }
  bool written = WriteLines(session, file) && std::fflush(file) == 0 && fsync(fd) == 0;
  int error = written ? 0 : errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && rename(temporary.c_str(), path) != 0) {
    written = false;
    error = errno;
  }
  if (!written) {
    unlink(temporary.c_str());
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "WriteInfoFile got error %d trying to write settings file %s", error, path);
    return SettingsFileError(error, kErrFileWriteFailed);
  }
  // The rename itself reaches the disk with the folder.
  std::string folder = path;
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return kResultOk;
}

int32_t ReadInfoFile(SessionContext* session, const char* path) {
  if (!session || !path || !*path) return kErrMissingArgument;
  // Without blocking: a FIFO without a writer is refused below instead of holding the run.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return kErrSettingsFileMissing;
    return SettingsFileError(errno, kErrFileReadFailed);
  }
  struct stat status;
  if (fstat(fd, &status) != 0) {
    const int error = errno;
    close(fd);
    return SettingsFileError(error, kErrFileReadFailed);
  }
  if (!S_ISREG(status.st_mode)) {
    // A folder, or a FIFO, socket or device, which holds no settings (and may never end).
    close(fd);
    return S_ISDIR(status.st_mode) ? kErrIsFolder : kErrFileReadFailed;
  }
  const size_t size = static_cast<size_t>(status.st_size);
  std::unique_ptr<char[]> text(new (std::nothrow) char[size + 1]());
  if (!text) {
    close(fd);
    return kErrOutOfMemory;
  }
  size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, text.get() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      return SettingsFileError(error, kErrFileReadFailed);
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  text[got] = 0;

  const int type = session->type;
  if (type <= 1 || type == 5 || type >= kEndType) return kErrNotForThisType;
  if (IsLoggerType(type)) return ReadLoggerSettings(session, text.get());
  if (type == kDigitalSensorType) return ReadSensorSettings(session, text.get());
  return ReadLabSettings(session, text.get());
}
