// Reaching an instrument asleep behind a radio modem: the wake packets, the query that makes any
// listening instrument say its name, the login by name, and the rules for instrument names.
#pragma once

#include <cstdint>

#include "instrument/device_context.h"

constexpr int32_t kQueryNameMode = 1;

// Sends "\rquery\r" up to the context's tries. Name mode (mode 1): `destination` (9 bytes) gets
// the name heard. Any other positive mode is the size of `destination` for the whole answer.
// 1, kErrMissingArgument, kErrBadArgument (a negative mode), kErrLastTrySilent (no answer),
// kErrRelayEchoes, kErrCancelled, or another transaction code.
int32_t QueryCommand(DeviceContext* device, char* destination, int mode);

// The wake sequence: a carriage return every 55 ms, 909 times (about 50 s). 1, kErrCancelled,
// or the write failure that stopped it.
int32_t SendWake(DeviceContext* device);

// "login NAME" (or "login" alone with no name). 1, kErrUnreadableAnswer (no prompt after it),
// kErrNameTooLong, or a transaction code.
int32_t LoginCommand(DeviceContext* device, const char* name);

// 1 for a valid instrument name; kErrNameMissing (missing or empty), kErrNameTooLong (longer than
// 8), kErrNameReserved (a command word), kErrNameBlank (a blank or control character),
// kErrNameForbidden (punctuation the command line takes apart), kErrNameNotAscii.
int32_t CheckDeviceName(const char* name);
