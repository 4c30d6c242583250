// The connection life of an instrument's command line: open the port, reach the instrument over
// a cable or through a radio modem (wake, query, login), identify it from its version text,
// agree on a baud rate, and let it go again.
//
//   ConnectDevice(&device, &request)  ... device.settings holds the identification ...
//   DisconnectDevice(&device, false)
#pragma once

#include <cstdint>

#include "instrument/device_context.h"

constexpr uint8_t kBaudCodeCount = 9;
constexpr uint8_t kBaudCode9600 = 2;

// The baud table: code 0 to 8 gives 0, 1200, 9600, 19200, 38400, 57600, 115200, 230400,
// 460800; 0 for any other code.
uint32_t BaudOfCode(uint8_t code);

// Opens the request's port at 9600 (unless the link is kept open), configures the radio modem
// when asked, and logs in. `request` is copied into the context; its baud code returns the code
// in use. 1, or kErrMissingArgument, kErrBadArgument, kErrNotForThisType (a link kind this
// build does not have), kErrNothingListening, kErrModemNotConfigured, kErrRelayEchoes,
// kErrCancelled, kErrOutOfMemory or a code from below.
int32_t ConnectDevice(DeviceContext* device, ConnectionRequest* request);

// Reaches the instrument on the open port: over the radio by query, wake and login (name in/out,
// 9 bytes); over a cable by identification and the baud change the code asks for (code in/out).
// 1, kErrMissingArgument, kErrNothingListening, kErrRelayEchoes, kErrCancelled or another
// negative code.
int32_t DeviceLogin(DeviceContext* device, char* name, uint8_t* baudCode);

// Asks the instrument to change its baud rate (the host's own rate is the caller's). 1,
// kErrCannotChangeBaud (the oldest firmware cannot), kErrNoAnswer, kErrUnreadableAnswer, or
// another transaction code.
int32_t SetBaudCommand(DeviceContext* device, uint32_t baud);

// Returns the instrument to 9600 (cable) or logs it out (radio, unless skipLogout), clears the
// settings record and closes the port (or keeps it open at 9600 when the options say so).
// 1, 0 when nothing was connected, kErrLastTrySilent when a radio instrument did not log out.
int32_t DisconnectDevice(DeviceContext* device, bool skipLogout);

// Lets the instrument go at the end of its owner's use: a link that is up is disconnected as
// DisconnectDevice(device, false) does, never keeping the port open. Nothing when not connected.
void ReleaseDevice(DeviceContext* device);

// Releases a device context when it goes out of scope. Declared after the context it guards, so
// that it ends first.
class DeviceRelease {
 public:
  explicit DeviceRelease(DeviceContext* device) : device_(device) {}
  ~DeviceRelease() { ReleaseDevice(device_); }
  DeviceRelease(const DeviceRelease&) = delete;
  DeviceRelease& operator=(const DeviceRelease&) = delete;

 private:
  DeviceContext* device_;
};
