// Radio channel and sub-channel of the radio modems (Digi PKG-U kind) that carry an instrument's
// command line: Mx2Config speaks AT commands to the modem on the computer's port, MSRadioCommand
// reads or sets an instrument's radio through the path its link and firmware allow. Both report
// what they did as a mask of the radio setting bits: 0x400 channel, 0x800 sub-channel, 0x1000
// radio version.
#pragma once

#include <cstdint>

#include "instrument/device_context.h"
#include "instrument/setting_direction.h"

constexpr uint32_t kRadioBits = 0x1C00;
// kWrite writes `channel` and `subChannel`, kRead reads them (and the radio version
// into `version`, 9 bytes) as *mask asks; *mask returns the bits done. 1, kErrModemCommandMode
// (the modem took no AT command mode), kErrPartlyDone, kErrUnreadableAnswer (nothing done),
// kErrMissingArgument (no mask), or a transaction code.
int32_t Mx2Config(DeviceContext* device, int32_t* channel, int32_t* subChannel, char* version,
                  SettingDirection direction, uint32_t* mask);

// The instrument's radio values: over the radio link from the request or the local modem, through
// an old "Qd4"'s pass-through, or with "get/set -rch", "-rsch", "-rver". 1, 0 no radio answered,
// kErrNoCapability (no radio capability), kErrMissingArgument, kErrRadioWriteOverRadio (writing
// over the radio), kErrNoAnswer, kErrUnreadableAnswer, kErrPartlyDone, kErrNoRadio ("No Radio"),
// or a transaction code.
int32_t MSRadioCommand(DeviceContext* device, int32_t* channel, int32_t* subChannel, char* version,
                       SettingDirection direction, uint32_t* mask);
