// Time for the protocol layers: a millisecond clock, the responsive wait that every layer uses for
// its pauses, and the local offset from UTC for the instrument clock commands.
#pragma once

#include <cstdint>

// Milliseconds from an arbitrary origin (a monotonic clock, truncated to 32 bits: compare by
// unsigned difference).
uint32_t MsClock();

// Milliseconds from `start` (an MsClock value) to now, for the "(%d ms)" of the log lines.
int32_t MsSince(uint32_t start);

// The application's message pump: waits at most `maxWaitMs` for window events and dispatches what
// is pending. It should block while idle; PumpingWait calls it until its time is up.
using MessagePump = void (*)(uint32_t maxWaitMs);

// Installs the pump (null removes it). Without one PumpingWait just sleeps.
void SetMessagePump(MessagePump pump);

// Returns after at least `ms` milliseconds. Waits of 170 ms and more keep the window alive
// through the message pump; shorter waits are plain sleeps. Returns 0.
int32_t PumpingWait(uint32_t ms);

// Local time minus universal time in seconds, daylight saving included.
int32_t UtcOffset();
