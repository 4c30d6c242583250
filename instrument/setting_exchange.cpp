#include "instrument/setting_exchange.h"

#include <cstdio>
#include <cstring>

#include "instrument/device_command.h"
#include "instrument/device_types.h"
#include "instrument/setting_commands.h"
#include "instrument/value_reading.h"

namespace {

constexpr size_t kMaskedSize = 72;  // the longest secret is 35 characters

// The rows' formats are checked against their values by FormatTakes where the rows are defined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

void LogText(DeviceContext* device, const char* format, const char* value, int32_t ms) {
  LogMessage(device->log, vexa_log_level::kTrace, DeviceTag(device), format, value, ms);
}

void LogNumber(DeviceContext* device, const char* format, int32_t value, int32_t ms) {
  LogMessage(device->log, vexa_log_level::kTrace, DeviceTag(device), format, value, ms);
}

void LogElapsed(DeviceContext* device, const char* format, int32_t ms) {
  LogMessage(device->log, vexa_log_level::kTrace, DeviceTag(device), format, ms);
}

void FormatText(char* command, const char* format, const char* value) {
  std::snprintf(command, kSettingCommandBytes, format, value);
}

void FormatNumber(char* command, const char* format, int32_t value) {
  std::snprintf(command, kSettingCommandBytes, format, value);
}

#pragma GCC diagnostic pop

// The value as the log may show it.
const char* Shown(const SettingRow& row, const char* value, char* masked) {
  if (!row.secret) return value;
  MaskSecret(value, masked, kMaskedSize);
  return masked;
}

int32_t ReadText(const SettingRow& row, const char* answer, char* value) {
  return row.rule == ValueRule::kLine ? ReadLineValue(answer, value, row.limit, true)
                                      : ReadTextValue(answer, value, row.limit);
}

}  // namespace

bool CarriesNetworkSettings(const DeviceContext* device) {
  const SettingsRecord& record = device->settings;
  return (record.trait & trait::kKnown) && record.deviceType == device_type::kQd40 &&
         (record.trait & trait::kNetwork);
}

bool SettingAllowed(const DeviceContext* device, const SettingRow& row) {
  if (row.gate == Gate::kNetwork) return CarriesNetworkSettings(device);
  return (device->settings.capabilityMask & row.capabilities) == row.capabilities;
}

int32_t SettingExchange(DeviceContext* device, const char* command, char* answer,
                        uint32_t answerBytes) {
  uint32_t size = answerBytes < kLongestSettingAnswer ? answerBytes : kLongestSettingAnswer;
  uint32_t elapsed = 0;
  return DeviceCommand(device, command, '>', kSettingTimeoutMs, answer, &size, &elapsed);
}

bool SetAccepted(const DeviceContext* device, const char* answer, bool promptByOldest) {
  if (promptByOldest && !device->settings.newFirmware) return std::strstr(answer, "\r>") != nullptr;
  return std::strstr(answer, "OK") != nullptr;
}

int32_t SendSet(DeviceContext* device, const char* name, const char* command, bool promptByOldest,
                uint32_t start, uint32_t answerBytes) {
  char answer[kLongestSettingAnswer];
  const int32_t result = SettingExchange(device, command, answer, answerBytes);
  if (result < 0) return SettingFailed(device, name, result, start);
  if (!SetAccepted(device, answer, promptByOldest)) {
    return SettingFailed(device, name, kErrUnreadableAnswer, start);
  }
  return kResultOk;
}

int32_t SettingFailed(DeviceContext* device, const char* name, int32_t result, uint32_t start) {
  LogMessage(device->log, vexa_log_level::kError, DeviceTag(device),
             "%s failed with error %d (%d ms)", name, result, MsSince(start));
  return result;
}

void MaskSecret(const char* value, char* masked, size_t size) {
  size_t length = std::strlen(value);
  if (length >= size) length = size - 1;
  std::memset(masked, '*', length);
  masked[length] = 0;
}

bool SendableText(const char* value, uint32_t limit) {
  uint32_t length = 0;
  for (; value[length]; ++length) {
    if (length >= limit || static_cast<unsigned char>(value[length]) < ' ' ||
        value[length] == 0x7F) {
      return false;
    }
  }
  return true;
}

int32_t TextSetting(DeviceContext* device, const SettingRow& row, char* value,
                    SettingDirection direction, bool logFailure) {
  if (!device || !value) return kErrMissingArgument;
  if (!SettingAllowed(device, row)) return kErrNoCapability;
  const uint32_t start = MsClock();
  char answer[kLongestSettingAnswer];
  char masked[kMaskedSize];
  int32_t result;

  if (direction == SettingDirection::kWrite) {
    if (!SendableText(value, row.limit)) {
      return SettingFailed(device, row.name, kErrBadArgument, start);
    }
    char command[kSettingCommandBytes];
    FormatText(command, row.setFormat, value);
    result = SendSet(device, row.name, command, row.promptByOldest, start, row.answerBytes);
    if (result < 0) return result;
    LogText(device, row.setLine, Shown(row, value, masked), MsSince(start));
    return kResultOk;
  }

  result = SettingExchange(device, row.getCommand, answer, row.answerBytes);
  char read[kSettingCommandBytes];
  if (result >= 0) result = ReadText(row, answer, read);
  if (result < 0) return logFailure ? SettingFailed(device, row.name, result, start) : result;
  std::memcpy(value, read, std::strlen(read) + 1);
  LogText(device, row.foundLine, Shown(row, value, masked), MsSince(start));
  return kResultOk;
}

int32_t NumberSetting(DeviceContext* device, const SettingRow& row, int32_t* value,
                      SettingDirection direction) {
  if (!device || !value) return kErrMissingArgument;
  if (!SettingAllowed(device, row)) return kErrNoCapability;
  const uint32_t start = MsClock();
  char answer[kLongestSettingAnswer];
  int32_t result;

  if (direction == SettingDirection::kWrite) {
    char command[kSettingCommandBytes];
    FormatNumber(command, row.setFormat, *value);
    result = SendSet(device, row.name, command, row.promptByOldest, start, row.answerBytes);
    if (result < 0) return result;
    LogNumber(device, row.setLine, *value, MsSince(start));
    return kResultOk;
  }

  result = SettingExchange(device, row.getCommand, answer, row.answerBytes);
  if (result < 0) return SettingFailed(device, row.name, result, start);
  int32_t read = 0;
  if (ReadNumberValue(answer, row.rule == ValueRule::kNumberAfterReturn, &read) < 0) {
    LogElapsed(device, row.notFoundLine, MsSince(start));
    return SettingFailed(device, row.name, row.unparsable, start);
  }
  *value = read;
  LogNumber(device, row.foundLine, *value, MsSince(start));
  return kResultOk;
}
