// Identification: what the instrument is, from its "get -ver" answer, or from "show" for the
// oldest "Qd4" firmware that refuses "get -ver".
#pragma once

#include <cstdint>

#include "instrument/device_context.h"

// Fills the identification of the settings record and the capability mask. With skipShow the
// oldest firmware is recognised without reading "show". 1, kErrNoAnswer, kErrUnreadableAnswer,
// kErrEchoed, kErrLoaderRunning (the loader runs instead of the firmware), kErrLoaderWaiting (the
// loader waits for a connection), or another transaction code.
int32_t VerCommand(DeviceContext* device, bool skipShow);

// Reads "show" of the oldest "Qd4" firmware: name, version, radio mode, wake interval, resets.
// With `name` (9 bytes) only the name is read into it. 1, kErrBadArgument on newer firmware,
// kErrNotForThisType below version 1.10, kErrUnreadableAnswer.
int32_t ParseShowCommand(DeviceContext* device, char* name);
