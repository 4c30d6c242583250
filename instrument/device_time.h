// The instrument's clock. Instruments count local wall time: seconds since 2000-01-01 00:00:00 in
// the computer's local time ("VexaSeconds"). Some keep the count itself ("get -sec"), the others
// a date and a time of day.
#pragma once

#include <cstdint>

#include "instrument/device_context.h"
#include "instrument/setting_direction.h"

constexpr int64_t kUnixTo2000 = 946684800;  // 2000-01-01 00:00:00 in Unix time

// The computer's local wall time now in instrument seconds.
int32_t LocalInstrumentSeconds();

// kWrite sets the clock to *seconds, or with no value or 0 to the computer's local time now
// (stored back into *seconds); kRead reads it into *seconds (-1 on failure).
// 1; kErrNoCapability (no clock; the value becomes -1); kErrMissingArgument (no value to read
// into); kErrBadArgument (a time before 2000); kErrUnreadableAnswer (the clock answer was
// unreadable or refused); or the transaction's code of a failed set.
int32_t DeviceTime(DeviceContext* device, int32_t* seconds, SettingDirection direction);
