#include "instrument/erase_data.h"

#include <cstring>

#include "instrument/device_command.h"
#include "instrument/identify.h"
#include "instrument/setting_commands.h"
#include "instrument/setting_exchange.h"

namespace {

constexpr uint32_t kEraseTimeoutMs = 17000;
constexpr uint32_t kEraseAnswerBytes = 32;

}  // namespace

int32_t EraseData(DeviceContext* device) {
  if (!device) return kErrMissingArgument;
  const char* tag = DeviceTag(device);
  const SettingsRecord& record = device->settings;

  // The oldest firmware ends its confirmation with "!" instead of the prompt.
  char name[kInstrumentNameLength + 1] = {};
  char confirmation = '>';
  int32_t result;
  if (record.newFirmware) {
    result = NameCommand(device, name, SettingDirection::kRead);
  } else {
    result = ParseShowCommand(device, name);
    confirmation = '!';
  }
  if (result < 0) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "EraseData failed checking the identity of device (error %d)", result);
    return kErrIdentityChanged;
  }
  if (!record.deviceName[0] || std::strncmp(name, record.deviceName, kInstrumentNameLength) != 0) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "EraseData: Identity mismatch. Class: %s, Device: %s", record.deviceName, name);
    return kErrIdentityChanged;
  }

  const uint32_t start = MsClock();
  char answer[kEraseAnswerBytes];
  uint32_t size = sizeof answer;
  uint32_t elapsed = 0;
  result = DeviceCommand(device, "yes\r", confirmation, kEraseTimeoutMs, answer, &size, &elapsed);
  if (result > 0) {
    if (std::strstr(answer, "OK")) {
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "InitializeDevice erased device data (%d ms)", MsSince(start));
      return kResultOk;
    }
    result = std::strstr(answer, "DataFlash FAIL") ? kErrDataMemoryBroken : kErrUnreadableAnswer;
  } else if (result == kErrRefused || result == kErrNoAnswer || result == kErrLastTrySilent) {
    result = kErrDataMemoryBroken;
  }
  if (result == kErrDataMemoryBroken) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "EraseData failed due to a broken DataFlash (%d ms)", MsSince(start));
  } else {
    LogMessage(device->log, vexa_log_level::kError, tag, "EraseData failed with error %d (%d ms)",
               result, MsSince(start));
  }
  return result;
}
