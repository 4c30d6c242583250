// The counters behind --stats: what went over the line, how long it took on the wire at 10 bits
// per byte of the rate it went at, and how long the instrument worked, by kind of work.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "sim/instrument.h"

struct LineStats {
  uint64_t bytesReceived = 0;
  uint64_t bytesSent = 0;
  double wireUsReceived = 0;
  double wireUsSent = 0;
  std::array<double, kDeviceWorkKinds> deviceUs = {};
  uint64_t answers = 0;
  uint64_t silencedAnswers = 0;
  uint64_t lostBytes = 0;  // replies written to a line nobody drained
  int64_t servedUs = 0;

  // The statistics in milliseconds, with the simulator's own CPU time so far.
  nlohmann::ordered_json ToJson(bool realtime) const;
};
