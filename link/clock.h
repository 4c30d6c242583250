// Time for the protocol layers: a millisecond clock, the pause that every layer waits with, and the
// local offset from UTC for the instrument clock commands.
#pragma once

#include <cstdint>

// Milliseconds from an arbitrary origin (a monotonic clock, truncated to 32 bits: compare by
// unsigned difference).
uint32_t MsClock();

// Milliseconds from `start` (an MsClock value) to now, for the "(%d ms)" of the log lines.
int32_t MsSince(uint32_t start);

// A program's message pump: waits at most `maxWaitMs` for its window's events and dispatches what
// is pending. It should block while idle; PumpingWait calls it until its time is up.
using MessagePump = void (*)(uint32_t maxWaitMs);

// Gives the calling thread's long pauses to `pump` while the object lives, and puts back the pump
// it replaced when it ends. Each thread has its own (none at first), so that several runs, each
// on a thread of its own, each keep theirs.
class MessagePumpScope {
 public:
  explicit MessagePumpScope(MessagePump pump);
  ~MessagePumpScope();
  MessagePumpScope(const MessagePumpScope&) = delete;
  MessagePumpScope& operator=(const MessagePumpScope&) = delete;

 private:
  MessagePump previous_;
};

// Returns after at least `ms` milliseconds: the pauses of every layer. Pauses of 170 ms and more
// on a thread with a message pump (MessagePumpScope) call it until the time is up; all others are
// plain sleeps. Returns 0.
int32_t PumpingWait(uint32_t ms);

// Local time minus universal time in seconds, daylight saving included.
int32_t UtcOffset();
