// The instrument's position: latitude and longitude in degrees with five decimals. Zero stands
// for "no position": it is written as an empty value, which clears the instrument's position.
#include <cmath>
#include <cstdio>

#include "instrument/setting_commands.h"
#include "instrument/setting_exchange.h"
#include "instrument/value_reading.h"

namespace {

struct Coordinate {
  const char* name;
  const char* option;  // "-lat"
  const char* getCommand;
  const char* what;  // "latitude"
};

constexpr Coordinate kLatitude{"LatitudeCommand", "-lat", "get -lat\r", "latitude"};
constexpr Coordinate kLongitude{"LongitudeCommand", "-long", "get -long\r", "longitude"};

int32_t CoordinateCommand(DeviceContext* device, const Coordinate& coordinate, double* value,
                          SettingDirection direction) {
  if (!device || !value) return kErrMissingArgument;
  if (!(device->settings.capabilityMask & capability::kPosition)) return kErrNoCapability;
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();

  if (direction == SettingDirection::kWrite) {
    if (!std::isfinite(*value)) {
      return SettingFailed(device, coordinate.name, kErrBadArgument, start);
    }
    char command[kSettingCommandBytes];
    if (*value == 0) {
      std::snprintf(command, sizeof command, "set %s \r", coordinate.option);
    } else {
      std::snprintf(command, sizeof command, "set %s %+.5f\r", coordinate.option, *value);
    }
    const int32_t result = SendSet(device, coordinate.name, command, false, start);
    if (result < 0) return result;
    LogMessage(device->log, vexa_log_level::kTrace, tag, "%s set %s to %+.5f (%d ms)",
               coordinate.name, coordinate.what, *value, MsSince(start));
    return kResultOk;
  }

  char answer[kSettingAnswerBytes];
  const int32_t result = SettingExchange(device, coordinate.getCommand, answer, sizeof answer);
  if (result < 0) return SettingFailed(device, coordinate.name, result, start);
  double read = 0;
  if (ReadDoubleValue(answer, &read) < 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag, "%s could not find device %s (%d ms)",
               coordinate.name, coordinate.what, MsSince(start));
    return SettingFailed(device, coordinate.name, kErrBarePrompt, start);
  }
  *value = read;
  LogMessage(device->log, vexa_log_level::kTrace, tag, "%s found device %s %+.5f (%d ms)",
             coordinate.name, coordinate.what, *value, MsSince(start));
  return kResultOk;
}

}  // namespace

int32_t LatitudeCommand(DeviceContext* device, double* latitude, SettingDirection direction) {
  return CoordinateCommand(device, kLatitude, latitude, direction);
}

int32_t LongitudeCommand(DeviceContext* device, double* longitude, SettingDirection direction) {
  return CoordinateCommand(device, kLongitude, longitude, direction);
}
