#include "link/clock.h"

#include <time.h>

namespace {

// The calling thread's pump: a thread's pauses never run another thread's events.
thread_local MessagePump t_pump = nullptr;

// Waits shorter than this never pump: the protocol layers' short pauses (100 ms, 175 ms between
// loader attempts) stay exact and a window handler cannot run in the middle of them.
constexpr uint32_t kPumpThresholdMs = 170;

void SleepMs(uint32_t ms) {
  struct timespec request = {static_cast<time_t>(ms / 1000),
                             static_cast<long>(ms % 1000) * 1000000L};
  struct timespec remaining;
  while (nanosleep(&request, &remaining) != 0) request = remaining;
}

}  // namespace

uint32_t MsClock() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + now.tv_nsec / 1000000;
  return static_cast<uint32_t>(ms);
}

int32_t MsSince(uint32_t start) {
  return static_cast<int32_t>(MsClock() - start);
}

MessagePumpScope::MessagePumpScope(MessagePump pump) : previous_(t_pump) {
  t_pump = pump;
}

MessagePumpScope::~MessagePumpScope() {
  t_pump = previous_;
}

int32_t PumpingWait(uint32_t ms) {
  const MessagePump pump = t_pump;
  if (ms < kPumpThresholdMs || !pump) {
    SleepMs(ms);
    return 0;
  }
  uint32_t start = MsClock();
  uint32_t remaining = ms;
  for (;;) {
    pump(remaining);
    const uint32_t now = MsClock();
    // A clock that went backwards (it cannot with CLOCK_MONOTONIC, but the arithmetic is
    // unsigned) restarts the count rather than ending the wait early.
    if (static_cast<int32_t>(now - start) < 0) start = now;
    const uint32_t elapsed = now - start;
    if (elapsed >= ms) break;
    remaining = ms - elapsed;
  }
  return 0;
}

int32_t UtcOffset() {
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  struct tm universal;
  gmtime_r(&now, &universal);
  // The UTC broken-down time read back as local standard time lies one offset away from now;
  // daylight saving is added separately because that reading ignores it.
  universal.tm_isdst = 0;
  const time_t as_local = mktime(&universal);
  return static_cast<int32_t>(now + (local.tm_isdst > 0 ? 3600 : 0) - as_local);
}
