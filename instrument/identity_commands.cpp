// The settings that say who an instrument is: its name, which the radio login and the data erase
// check, and its serial number.
#include <cstdio>
#include <cstring>

#include "instrument/radio_login.h"
#include "instrument/setting_commands.h"
#include "instrument/setting_exchange.h"
#include "instrument/value_reading.h"

namespace {

constexpr const char* kName = "NameCommand";
constexpr const char* kSerial = "SNCommand";

}  // namespace

int32_t NameCommand(DeviceContext* device, char* name, SettingDirection direction) {
  if (!device || !name) return kErrMissingArgument;
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();

  if (direction == SettingDirection::kWrite) {
    const int32_t legal = CheckDeviceName(name);
    if (legal != kResultOk) {
      LogMessage(device->log, vexa_log_level::kError, tag,
                 "NameCommand: \"%s\" is an illegal device name (error %d)", name, legal);
      return SettingFailed(device, kName, legal, start);
    }
    char command[kSettingCommandBytes];
    std::snprintf(command, sizeof command, "set -i %s\r", name);
    const int32_t result = SendSet(device, kName, command, true, start);
    if (result < 0) return result;
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "NameCommand set device name to \"%s\" (%d ms)", name, MsSince(start));
    return kResultOk;
  }

  char answer[kSettingAnswerBytes];
  const int32_t result = SettingExchange(device, "get -i\r", answer, sizeof answer);
  if (result == kErrBarePrompt) return kErrNameOnlyPrompt;
  if (result < 0) return SettingFailed(device, kName, result, start);
  char read[kInstrumentNameLength + 1];
  if (ReadWordValue(answer, read, kInstrumentNameLength) < 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "NameCommand couldn't find device name (%d ms)", MsSince(start));
    return SettingFailed(device, kName, kErrUnreadableAnswer, start);
  }
  std::memcpy(name, read, sizeof read);
  LogMessage(device->log, vexa_log_level::kTrace, tag,
             "NameCommand found device named \"%s\" (%d ms)", name, MsSince(start));
  return kResultOk;
}

int32_t SNCommand(DeviceContext* device, char* serial, SettingDirection direction) {
  if (!device || !serial) return kErrMissingArgument;
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();

  if (direction == SettingDirection::kWrite) {
    if (!device->settings.newFirmware) return kErrNoCapability;
    if (!SendableText(serial, kSerialNumberLength)) {
      return SettingFailed(device, kSerial, kErrBadArgument, start);
    }
    char command[kSettingCommandBytes];
    std::snprintf(command, sizeof command, "set -sn %s\r", serial);
    const int32_t result = SendSet(device, kSerial, command, false, start);
    if (result < 0) return result;
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "SNCommand set device serial number to \"%s\" (%d ms)", serial, MsSince(start));
    return kResultOk;
  }

  // An empty answer is asked again, each time a whole exchange, until the number arrives.
  char answer[kSettingAnswerBytes];
  const uint32_t attempts = device->tries ? device->tries : 1;
  int32_t result = kErrUnreadableAnswer;
  char read[kSerialNumberLength + 1] = {};
  for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
    result = SettingExchange(device, "get -sn\r", answer, sizeof answer);
    if (result < 0) continue;
    result = ReadLineValue(answer, read, kSerialNumberLength, false);
    if (result == kResultOk) break;
  }
  if (result < 0) return SettingFailed(device, kSerial, result, start);
  std::memcpy(serial, read, sizeof read);
  LogMessage(device->log, vexa_log_level::kTrace, tag,
             "SNCommand found device serial number \"%s\" (%d ms)", serial, MsSince(start));
  return kResultOk;
}
