#include "instrument/device_time.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "instrument/device_command.h"
#include "instrument/device_types.h"
#include "instrument/setting_exchange.h"

namespace {

constexpr uint32_t kClockAnswerBytes = 48;
constexpr uint32_t kClockReadTimeoutMs = 3000;
constexpr const char* kDateLabel = "Date\\Time:";

int32_t Failed(DeviceContext* device, int32_t* seconds, SettingDirection direction, int32_t result,
               uint32_t start) {
  if (direction != SettingDirection::kWrite && seconds) *seconds = -1;
  LogMessage(device->log, vexa_log_level::kError, DeviceTag(device),
             "DeviceTime failed with error %d (%d ms)", result, MsSince(start));
  return result;
}

int32_t ClockExchange(DeviceContext* device, const char* command, uint32_t timeoutMs,
                      char* answer) {
  uint32_t size = kClockAnswerBytes;
  uint32_t elapsed = 0;
  return DeviceCommand(device, command, '>', timeoutMs, answer, &size, &elapsed);
}

bool WallTimeMakesSense(const struct tm& wall) {
  return wall.tm_year >= 100 && wall.tm_year < 300 && wall.tm_mon >= 0 && wall.tm_mon < 12 &&
         wall.tm_mday >= 1 && wall.tm_mday <= 31 && wall.tm_hour >= 0 && wall.tm_hour < 24 &&
         wall.tm_min >= 0 && wall.tm_min < 60 && wall.tm_sec >= 0 && wall.tm_sec <= 60;
}

int32_t WriteClock(DeviceContext* device, int32_t* seconds, uint32_t start) {
  const SettingsRecord& record = device->settings;
  const char* tag = DeviceTag(device);
  int32_t value = seconds ? *seconds : 0;
  struct tm wall = {};
  if (value < 0) return Failed(device, seconds, SettingDirection::kWrite, kErrBadArgument, start);
  if (value != 0) {
    // The instrument's count read as UTC gives back the wall time it stands for.
    const time_t asUtc = static_cast<time_t>(value) + kUnixTo2000;
    gmtime_r(&asUtc, &wall);
  } else {
    const time_t now = time(nullptr);
    if (now == static_cast<time_t>(-1)) {
      LogMessage(device->log, vexa_log_level::kError, tag,
                 "DeviceTime failed to get system time with error %d", errno);
      return kErrUnreadableAnswer;
    }
    localtime_r(&now, &wall);
    value = static_cast<int32_t>(static_cast<int64_t>(now) + UtcOffset() - kUnixTo2000);
    if (seconds) *seconds = value;
  }

  char command[kSettingCommandBytes];
  char answer[kClockAnswerBytes];
  const bool countsSeconds = record.capabilityMask & capability::kClockSeconds;
  if (!countsSeconds) {
    std::snprintf(command, sizeof command, "set -t %d:%d:%d\r", wall.tm_hour, wall.tm_min,
                  wall.tm_sec);
    const int32_t result = ClockExchange(device, command, kSettingTimeoutMs, answer);
    if (result < 0) return Failed(device, seconds, SettingDirection::kWrite, result, start);
    // A clock set to the right date but the wrong time of day would be reported as set.
    if (!SetAccepted(device, answer, true)) {
      return Failed(device, seconds, SettingDirection::kWrite, kErrUnreadableAnswer, start);
    }
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceTime set device time to %d:%02d:%02d (%d ms)", wall.tm_hour, wall.tm_min,
               wall.tm_sec, MsSince(start));
  }

  if (countsSeconds) {
    std::snprintf(command, sizeof command, "set -sec %lu\r", static_cast<unsigned long>(value));
  } else {
    std::snprintf(command, sizeof command, "set -d %d-%d-%d\r", wall.tm_year + 1900,
                  wall.tm_mon + 1, wall.tm_mday);
  }
  const int32_t result = ClockExchange(device, command, kSettingTimeoutMs, answer);
  if (result < 0) return Failed(device, seconds, SettingDirection::kWrite, result, start);
  const bool accepted =
      std::strstr(answer, "OK") || (!record.newFirmware && std::strchr(answer, '>'));
  if (!accepted)
    return Failed(device, seconds, SettingDirection::kWrite, kErrUnreadableAnswer, start);
  if (countsSeconds) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceTime set device vexaseconds to %d (%d ms)", value, MsSince(start));
  } else {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceTime set device date to %d-%d-%d (%d ms)", wall.tm_year + 1900,
               wall.tm_mon + 1, wall.tm_mday, MsSince(start));
  }
  return kResultOk;
}

int32_t ReadClock(DeviceContext* device, int32_t* seconds, uint32_t start) {
  const SettingsRecord& record = device->settings;
  const char* tag = DeviceTag(device);
  const bool countsSeconds = record.capabilityMask & capability::kClockSeconds;
  const char* command = countsSeconds ? "get -sec\r" : record.newFirmware ? "get -t\r" : "time\r";
  char answer[kClockAnswerBytes];
  if (ClockExchange(device, command, kClockReadTimeoutMs, answer) < 0) {
    return Failed(device, seconds, SettingDirection::kRead, kErrUnreadableAnswer, start);
  }

  if (countsSeconds) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long count = std::strtoull(answer, &end, 10);
    if (end == answer) {
      return Failed(device, seconds, SettingDirection::kRead, kErrUnreadableAnswer, start);
    }
    // The count is signed on the instrument: a negative one (or one past 2068) is a clock gone
    // wrong.
    const bool plausible = errno != ERANGE && count <= static_cast<unsigned long long>(INT32_MAX);
    *seconds = plausible ? static_cast<int32_t>(count) : 0;
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceTime found device date/timr %ld VexaSeconds (%d ms)",
               static_cast<long>(*seconds), MsSince(start));
    if (!plausible)
      return Failed(device, seconds, SettingDirection::kRead, kErrUnreadableAnswer, start);
    return kResultOk;
  }

  const char* from = std::strstr(answer, kDateLabel);
  from = from ? from + std::strlen(kDateLabel) : answer;
  struct tm wall = {};
  int year = 0;
  int month = 0;
  if (std::sscanf(from, "%d-%d-%d %d:%d:%d", &year, &month, &wall.tm_mday, &wall.tm_hour,
                  &wall.tm_min, &wall.tm_sec) < 6) {
    return Failed(device, seconds, SettingDirection::kRead, kErrUnreadableAnswer, start);
  }
  wall.tm_year = year - 1900;
  wall.tm_mon = month - 1;
  const struct tm read = wall;
  // The wall time with today's daylight-saving state; adding today's offset back gives the wall
  // time as a count whatever the season of the date read.
  const time_t now = time(nullptr);
  struct tm today = {};
  localtime_r(&now, &today);
  wall.tm_isdst = today.tm_isdst > 0 ? 1 : 0;
  const time_t calendar = WallTimeMakesSense(wall) ? mktime(&wall) : static_cast<time_t>(-1);
  if (calendar == static_cast<time_t>(-1)) {
    *seconds = 0;
    return Failed(device, seconds, SettingDirection::kRead, kErrUnreadableAnswer, start);
  }
  *seconds = static_cast<int32_t>(static_cast<int64_t>(calendar) + UtcOffset() - kUnixTo2000);
  LogMessage(device->log, vexa_log_level::kTrace, tag,
             "DeviceTime found device date/time %d-%d-%d %d:%02d:%02d or %ld (%d ms)",
             read.tm_year + 1900, read.tm_mon + 1, read.tm_mday, read.tm_hour, read.tm_min,
             read.tm_sec, static_cast<long>(*seconds), MsSince(start));
  return kResultOk;
}

}  // namespace

int32_t LocalInstrumentSeconds() {
  return static_cast<int32_t>(static_cast<int64_t>(time(nullptr)) + UtcOffset() - kUnixTo2000);
}

int32_t DeviceTime(DeviceContext* device, int32_t* seconds, SettingDirection direction) {
  if (!device) return kErrMissingArgument;
  if (!(device->settings.capabilityMask & capability::kClock)) {
    if (seconds) *seconds = -1;
    return kErrNoCapability;
  }
  const uint32_t start = MsClock();
  if (direction == SettingDirection::kWrite) return WriteClock(device, seconds, start);
  if (!seconds) return kErrMissingArgument;
  return ReadClock(device, seconds, start);
}
