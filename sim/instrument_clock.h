// An instrument's real-time clock. Instruments count local wall time in seconds since
// 2000-01-01 00:00:00 ("VexaSeconds"); the simulated clock runs with the computer's clock at a
// fixed offset that the clock commands change.
#pragma once

#include <cstdint>
#include <string>

class InstrumentClock {
 public:
  // The instrument's time now.
  int64_t Now() const;
  void Set(int64_t seconds);
  // Changes the time of day and keeps the date, or the reverse; false for impossible values.
  bool SetTimeOfDay(int hour, int minute, int second);
  bool SetDate(int year, int month, int day);
  // "2024-02-29 13:05:09"
  std::string Text() const;

  // Instrument time minus the computer's local time, for the state file.
  int64_t Offset() const { return offset_; }
  void SetOffset(int64_t offset) { offset_ = offset; }

 private:
  int64_t offset_ = 0;
};

// The computer's local wall time in seconds since 2000-01-01 00:00:00.
int64_t ComputerLocalSeconds();
