#include "sim/instrument_clock.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr int64_t kUnixTo2000 = 946684800;

// Instrument seconds as the wall time they stand for (taken as UTC, so no zone applies twice).
struct tm WallTime(int64_t seconds) {
  const time_t unix = static_cast<time_t>(seconds + kUnixTo2000);
  struct tm wall = {};
  gmtime_r(&unix, &wall);
  return wall;
}

int64_t FromWallTime(struct tm wall) {
  return static_cast<int64_t>(timegm(&wall)) - kUnixTo2000;
}

}  // namespace

int64_t ComputerLocalSeconds() {
  const time_t now = time(nullptr);
  struct tm local = {};
  localtime_r(&now, &local);
  return static_cast<int64_t>(now) + local.tm_gmtoff - kUnixTo2000;
}

int64_t InstrumentClock::Now() const {
  return ComputerLocalSeconds() + offset_;
}

void InstrumentClock::Set(int64_t seconds) {
  offset_ = seconds - ComputerLocalSeconds();
}

bool InstrumentClock::SetTimeOfDay(int hour, int minute, int second) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return false;
  }
  struct tm wall = WallTime(Now());
  wall.tm_hour = hour;
  wall.tm_min = minute;
  wall.tm_sec = second;
  Set(FromWallTime(wall));
  return true;
}

bool InstrumentClock::SetDate(int year, int month, int day) {
  if (year < 2000 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  struct tm wall = WallTime(Now());
  wall.tm_year = year - 1900;
  wall.tm_mon = month - 1;
  wall.tm_mday = day;
  const int64_t seconds = FromWallTime(wall);
  if (WallTime(seconds).tm_mday != day) return false;  // 31 April and the like
  Set(seconds);
  return true;
}

std::string InstrumentClock::Text() const {
  const struct tm wall = WallTime(Now());
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", wall.tm_year + 1900,
                wall.tm_mon + 1, wall.tm_mday, wall.tm_hour, wall.tm_min, wall.tm_sec);
  return text;
}
