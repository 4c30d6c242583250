#include "session/save_restore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "instrument/device_command.h"
#include "instrument/device_settings.h"
#include "session/lab_settings.h"
#include "session/settings_file.h"

namespace {

constexpr uint32_t kSensorResetTimeoutMs = 2000;

// The lab items saved for each type (0: the type keeps no settings).
uint32_t LabSaveMask(const SessionContext* session) {
  switch (session->type) {
    case 6:
      return 0x4000007A;
    case 7:
      return 0x00100192;
    case 8:
      return session->descriptor.version >= 200 ? 0x07000C12 : 0x07000400;
    case 9:
      return 0x000000B2;
    case 11:
      return 0x80027402;
    case 12:
      return 0x00000C00;
    case 13:
      return 0x00000003;
    case 14:
      return 0x002C0013;
    case 15:
      return session->settings.versionNumber > 204 ? 0x38000842 : 0x38000802;
    case 16:
      return 0x28400802;
    case 17:
    case 20:
      return 0x00000802;
    case 22:
      return 0x38000806;
    case 23:
      return 0x20C08012;
    case 24:
      return 0x00000002;
    default:
      return 0;
  }
}

uint32_t LoggerSaveMask(int type) {
  return type == 2 ? 0x08000077 : type == 4 ? 0x00000D07 : 0x07FFEFFF;
}

bool KeepsNoSettings(int type) {
  return type <= 1 || type == 5 || type == 21 || type >= kEndType;
}

// The Hydrella 4 sends its sensor to a known state before its settings are read.
void ResetHydrellaSensor(SessionContext* session) {
  char answer[32];
  uint32_t size = sizeof answer;
  uint32_t elapsed = 0;
  int32_t result = DeviceCommand(&session->device, "set -sensor 0\r", '>', kSensorResetTimeoutMs,
                                 answer, &size, &elapsed);
  if (result > 0 && !std::strstr(answer, "OK")) result = kErrUnreadableAnswer;
  if (result > 0) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "DPSaveInfo set HLS4 sensor type to '0' (%d ms)", static_cast<int>(elapsed));
  } else {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "DPSaveInfo received error %d setting HLS4 sensor type to '0' (%d ms)", result,
               static_cast<int>(elapsed));
  }
}

uint32_t CharacterSum(const char* text) {
  uint32_t sum = 0;
  for (; *text; ++text) sum += static_cast<unsigned char>(*text);
  return sum;
}

void CopySerial(char* destination, size_t size, const char* serial) {
  std::snprintf(destination, size, "%.*s", static_cast<int>(kSerialNumberLength), serial);
}

int32_t RestoreLogger(SessionContext* session, const char* newSerial) {
  namespace bit = setting_bit;
  SettingsRecord& record = session->settings;
  if (newSerial) {
    CopySerial(record.serialNumber, sizeof record.serialNumber, newSerial);
    record.presentMask |= bit::kSerialNumber;
  }
  // An instrument with a device ID never gets its serial number written back.
  if (record.presentMask & bit::kDeviceId) record.presentMask &= ~bit::kSerialNumber;
  const uint32_t wanted = record.presentMask & ~bit::kIdentification;
  uint32_t done = wanted;
  const int32_t result = DeviceSettings(&session->device, &record, &done, SettingDirection::kWrite);
  session->failedMask = wanted & ~done;
  if (result >= 0 || (result == kErrPartlyDone && done != 0)) return result;
  LogMessage(session->log, vexa_log_level::kError, kSessionTag,
             "DPRestoreInfo received error %d trying to upload device settings", result);
  return result;
}

int32_t RestoreLab(SessionContext* session, const char* newSerial) {
  LabSettings& lab = session->lab;
  if (newSerial) {
    // The Hydrella 4's config number carries the sum of its serial number's character codes.
    // It can be moved to the new number only when both are known.
    const uint32_t both = lab_bit::kConfig | lab_bit::kSerialNumber;
    if ((session->type == 15 || session->type == 22) && (lab.presentMask & both) == both) {
      const uint32_t config = static_cast<uint32_t>(std::strtoul(lab.config, nullptr, 10)) -
                              CharacterSum(lab.serialNumber) + CharacterSum(newSerial);
      std::snprintf(lab.config, sizeof lab.config, "%u", config);
      lab.presentMask |= lab_bit::kConfig;
    }
    CopySerial(lab.serialNumber, sizeof lab.serialNumber, newSerial);
    lab.presentMask |= lab_bit::kSerialNumber;
  }
  return SetInstInfo(session, lab.presentMask);
}

}  // namespace

int32_t DPCollectInfo(SessionContext* session) {
  if (!session) return kErrMissingArgument;
  const int type = session->type;
  session->failedMask = 0;
  if (KeepsNoSettings(type)) return kErrNotForThisType;
  if (IsLoggerType(type)) {
    const uint32_t wanted = LoggerSaveMask(type);
    uint32_t done = wanted;
    const int32_t result =
        DeviceSettings(&session->device, &session->settings, &done, SettingDirection::kRead);
    session->failedMask = wanted & ~done & ~setting_bit::kIdentification;
    if (type != 2 && type != 4) session->settingsHeld = true;
    return result;
  }
  if (type == kDigitalSensorType) return SDISaveSensor(&session->sensor);
  if (type == 15) ResetHydrellaSensor(session);
  return GetInstInfo(session, LabSaveMask(session));
}

int32_t DPSaveInfo(SessionContext* session, const char* path) {
  if (!session) return kErrMissingArgument;
  const int32_t collected = DPCollectInfo(session);
  if (IsLoggerType(session->type) && collected == kErrUninitialised) {
    session->settingsHeld = false;
    session->savedMask = 0;
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "DPSaveInfo does not save data for an uninitialized device");
    return collected;
  }
  if (collected < 0 && collected != kErrPartlyDone) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPSaveInfo received error %d trying to collect device settings", collected);
    return collected;
  }
  session->settingsHeld = true;
  session->savedMask =
      IsLoggerType(session->type) ? session->settings.presentMask : session->lab.presentMask;
  const int32_t written = WriteInfoFile(session, path);
  if (written < 0) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPSaveInfo received error %d trying to save device settings to a temp file",
               written);
    return written;
  }
  LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
             "DPSaveInfo successfully retrieved and saved device settings to a temp file");
  return collected == kErrPartlyDone ? kErrPartlyDone : kResultOk;
}

int32_t DPRestoreInfo(SessionContext* session, const char* path, const char* newSerial) {
  if (!session) return kErrMissingArgument;
  if (newSerial && !*newSerial) newSerial = nullptr;
  session->failedMask = 0;
  if (!session->settingsHeld) {
    const int32_t read = DPReadInfo(session, path);
    if (read < 0) return read;
  }
  const int type = session->type;
  int32_t result;
  if (KeepsNoSettings(type)) {
    return kErrNotForThisType;
  } else if (IsLoggerType(type)) {
    result = RestoreLogger(session, newSerial);
    if (result < 0 && result != kErrPartlyDone) return result;
  } else if (type == kDigitalSensorType) {
    result = SDIRestoreSensor(&session->sensor);
  } else {
    result = RestoreLab(session, newSerial);
  }
  if (result >= 0) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "DPRestoreInfo successfully restored device setting");
  }
  return result;
}

int32_t DPReadInfo(SessionContext* session, const char* path) {
  if (!session) return kErrMissingArgument;
  const int32_t read = ReadInfoFile(session, path);
  if (read < 0) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPRestoreInfo received error %d trying to read device settings from %s", read,
               path ? path : "");
    return read;
  }
  session->settingsHeld = true;
  session->settings.presentMask = session->savedMask;
  return kResultOk;
}

int32_t DPReadSerialNumber(SessionContext* session, char* serial, uint32_t size) {
  if (!session || !serial || size == 0) return kErrMissingArgument;
  serial[0] = 0;
  const int type = session->type;
  if (KeepsNoSettings(type) || type == kDigitalSensorType) return kErrNotForThisType;
  if (IsLoggerType(type)) {
    SettingsRecord record;
    uint32_t wanted = setting_bit::kSerialNumber;
    const int32_t result =
        DeviceSettings(&session->device, &record, &wanted, SettingDirection::kRead);
    if (result < 0) return result;
    std::snprintf(serial, size, "%s", record.serialNumber);
    return kResultOk;
  }
  // Read through the lab block without keeping anything in it.
  const LabSettings kept = session->lab;
  const int32_t result = GetInstInfo(session, lab_bit::kSerialNumber);
  if (result >= 0) std::snprintf(serial, size, "%s", session->lab.serialNumber);
  session->lab = kept;
  return result < 0 ? result : kResultOk;
}

bool IsValidSerialNumber(std::string_view serial) {
  if (serial.empty() || serial.size() > kSerialNumberLength) return false;
  for (const char c : serial) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}
