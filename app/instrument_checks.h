// The checks an update makes of the instrument before its firmware is replaced, beyond its type:
// the hardware revision the image runs on, and the firmware versions a family's image may replace.
// Each shows its own box when the instrument fails it.
#pragma once

#include "app/update_context.h"

// "get -hver": true for the image's revision, else a "Wrong Hardware Revision" box and false.
bool CheckHardwareRevision(UpdateContext& context);

// True when the descriptor has no version window or its version is inside it; outside, a "Wrong
// Firmware Version" box and false, or with a service switch a question whose OK gives true.
bool CheckFirmwareRange(UpdateContext& context);
