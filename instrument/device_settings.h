// The settings snapshot: reads or writes any selection of an instrument's settings in one call,
// keeping them in the settings record (settings_record.h), which the session layer saves before
// a firmware update and writes back afterwards.
#pragma once

#include <cstdint>

#include "instrument/device_context.h"
#include "instrument/setting_direction.h"

constexpr uint32_t kAllSettings = 0x0FFFFFFF;  // setting bits 0 to 27

// `wanted` (setting bits) in, the bits done out; kRead reads into `record` (the present mask
// gains what was read), kWrite writes `record`. A read also identifies the instrument when it is
// not yet, and reads the trait before any radio value. A serial instrument that stops answering
// is logged in again and the setting tried once more. With the options' progress flag the
// progress hook hears (total, done, 1) before each setting and can cancel.
// 1; kErrNothingDone (nothing could be done); kErrMissingArgument; kErrBadArgument (a bad
// direction); kErrNotForThisType (the oldest "show" is unreadable); kErrNoAnswer (the instrument
// is gone); kErrEchoed or kErrRelayEchoes (something echoes); kErrPartlyDone (some settings
// failed, the others were done); kErrNameOnlyPrompt (the name came back empty); kErrCancelled.
int32_t DeviceSettings(DeviceContext* device, SettingsRecord* record, uint32_t* wanted,
                       SettingDirection direction);
