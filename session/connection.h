// Connecting to an instrument for an update and the checks around the firmware upload: identify
// it (DPConnect), log in and out, the new firmware's self-test, the battery, the clock and the
// data erase. Every exchange goes through the command transaction with the prompt ">", and every
// outcome is logged with the tag "Vexa_protocol".
#pragma once

#include <cstdint>

#include "session/session_context.h"

constexpr uint32_t kUpdateSerialTries = 3;

// Opens `portName` at the baud code's rate (2: 9600), identifies the instrument from "get -ver"
// and fills `descriptor`; the context keeps its type, a copy of the descriptor and the
// identification in its settings record. 1 (or the identification's positive result);
// kErrMissingArgument without a port name or descriptor; kErrNothingListening (nothing
// answered); kErrLoaderRunning or kErrLoaderWaiting (the bootstrap loader is listening instead);
// kErrNotSupported (too old, or no catalogue key matched); or the command layer's code
// (kErrPortMissing, kErrPortBusy, kErrPermission, ...).
int32_t DPConnect(SessionContext* session, const char* portName, uint8_t baudCode,
                  uint32_t serialTries, DeviceDescriptor* descriptor);

// The same over a connection the caller describes (a radio link, another rate) with its own
// options. `request` and `options` are required.
int32_t DPConnectWith(SessionContext* session, ConnectionRequest* request,
                      const ConnectionOptions* options, DeviceDescriptor* descriptor);

// Identifies the instrument on a connection already made (ConnectDevice) and judges it as
// DPConnect does; the descriptor is filled also when the result is kErrNotSupported.
int32_t DPIdentify(SessionContext* session, DeviceDescriptor* descriptor);

// Logs into the instruments that need it ("login *5927" typed a character at a time, 1 s before
// and after). 1, kErrLoginFailed, or a positive transaction result without "OK" after three
// tries.
int32_t DPLogin(SessionContext* session);

// Sends "logout" first when `sendLogout` and the instrument needs a login, then lets the
// instrument go (9600 baud, port closed). The disconnect's result: 1, 0 when nothing was
// connected, or its failure.
int32_t DPLogout(SessionContext* session, bool sendLogout);

// The new firmware's self-test ("post -init" when `postInit`, else "post"). 1 "Code Good!",
// kErrCodeCorrupt "Code Corrupt!", kErrUnreadableAnswer (another answer), or the transaction's
// failure.
int32_t DPCheckFirmware(SessionContext* session, bool postInit);

// "get -batt" into *percent (-1 when the exchange failed). 1, kErrMissingArgument without
// `percent`, kErrUnreadableAnswer for an answer that is no number, or the transaction's failure.
int32_t DPCheckBattery(SessionContext* session, int32_t* percent);

// Sets the instrument's clock to the computer's local time. The transaction's (or clock set's)
// own result; kErrNotForThisType for an instrument without a clock to set; kErrUnreadableAnswer
// when the computer has no time.
int32_t DPSetTime(SessionContext* session);

// Erases the stored measurements. 1; kErrDataMemoryBroken; kErrUnreadableAnswer (another
// answer); kErrNotForThisType (a type without a data erase); or the transaction's failure (loggers:
// the erase's own codes).
int32_t DPEraseData(SessionContext* session);
