// The serial link: one port with fixed framing (8N1, raw, no flow control, DTR and RTS raised) and
// fixed time-outs, the only way the updater reaches an instrument, a radio modem or a sensor.
//
// The usual exchange: DSPurge(port, 1), DSWrite the request, DSWait for the answer's final
// character, then DSRead the collected answer into the caller's buffer.
#pragma once

#include <cstdint>
#include <string>

#include "link/clock.h"
#include "link/log.h"
#include "link/result.h"

constexpr int kNoHandle = -1;
constexpr uint32_t kReadBufferSize = 2048;
constexpr uint32_t kPortNameSize = 64;

// The head of every context that talks over a port (the instrument device context and the loader
// context). Both reuse these fields; the operations below take a pointer to this head.
struct SerialPort {
  VexaLog* log = nullptr;             // null: no logging
  int handle = kNoHandle;             // the open file descriptor
  uint32_t baud = 0;                  // the rate the port is set to
  char name[kPortNameSize + 1] = {};  // as given to DSOpen; also the tag of most lines
  char* gReadBuffer = nullptr;        // bytes collected by DSWait, zero-terminated
  bool dataReady = false;             // the next DSRead delivers the buffer only
  bool ownsBuffer = false;            // DSOpen allocated gReadBuffer and DSClose releases it
};

// Opens the port by name: a name starting with '/' is a device path used as is, any other name
// is taken under /dev/. `baud` 0 means 9600. Returns 1, kErrPortMissing, kErrPortBusy (in use),
// kErrPermission, kErrOutOfMemory (no read buffer), kErrNotSerialPort (a file, a folder, another
// device), kErrPortNoResponse (the device failed while opening), kErrPortSettingsRefused (the
// driver refused the rate or framing), kErrPortOpenFailed (any other failure; PortOpenResult).
int32_t DSOpen(SerialPort* port, const char* name, uint32_t baud);

// 1 when closed, 0 when it was not open, a negated errno when closing failed.
int32_t DSClose(SerialPort* port);

// Delivers what DSWait collected, or reads what the port has (waiting at most 100 ms for the
// first byte). Returns the bytes delivered, kErrNoAnswer on a closed or failed port,
// kErrOutOfMemory without a read buffer. The buffer is not terminated.
int32_t DSRead(SerialPort* port, char* buffer, uint32_t size, uint32_t* got);

// Returns the bytes written, kErrNoAnswer on a closed port or a failed write.
int32_t DSWrite(SerialPort* port, const char* bytes, uint32_t count, uint32_t* written);

// Mode 1 discards what the driver has received; every mode empties gReadBuffer. Returns 0.
int32_t DSPurge(SerialPort* port, int mode);

// Collects bytes until `character` arrives (returns it) or `timeoutMs` passes (returns 0).
// kErrNoAnswer on a closed or failed port, kErrOutOfMemory without a read buffer.
int32_t DSWait(SerialPort* port, uint32_t timeoutMs, char character);

// 0 when the port already runs at `baud`, 1 when changed, kErrNoPortName, or a negated
// errno. Bytes already written go out at the old rate first.
int32_t DSHostBaud(SerialPort* port, uint32_t baud);

// The error number DSOpen logs for an open that failed with `error` (an errno): 2 no such
// port, 5 held by another program, 13 no permission, any other errno unchanged.
int PortOpenError(int error);

// The result code for a system error met opening or setting up a port: kErrPortMissing,
// kErrPortBusy, kErrPermission for the causes above, kErrNotSerialPort (not a terminal, or a
// folder), kErrPortNoResponse (EIO), kErrPortSettingsRefused (EINVAL), kErrOutOfMemory (ENOMEM),
// otherwise kErrPortOpenFailed.
// Never the negated errno: those numbers mean other things in the result list.
int32_t PortOpenResult(int error);

// The device path of a port name: a name starting with '/' as it is, any other under /dev/.
std::string PortDevicePath(const char* name);

// True for the rates the link can set (1200 to 460800 baud).
bool IsStandardBaud(uint32_t baud);
