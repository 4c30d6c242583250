// The device context: one per program run, reused for every connection to an instrument's
// command line. It begins with the serial port, keeps the connection options and the request
// that opened the link, the settings record of the instrument met, and the buffers every
// command transaction uses.
#pragma once

#include <cstdint>

#include "instrument/settings_record.h"
#include "link/log.h"
#include "link/serial_port.h"

constexpr uint32_t kResponseSize = 2048;  // the response buffer holds this plus a terminator
constexpr uint32_t kMaxTries = 12;
constexpr uint32_t kMaxExtraWaitMs = 30000;

// Link kinds: how the computer reaches the instrument. 0 means the port is closed.
namespace link_kind {
constexpr uint8_t kNone = 0;
constexpr uint8_t kSerial = 10;  // cable or USB serial adapter
constexpr uint8_t kRadio = 30;   // through a radio modem
}  // namespace link_kind

// How transactions behave; copied in and out as one block.
struct ConnectionOptions {
  uint8_t keepPortOpen = 0;     // disconnects and failed connects leave the port open at 9600
  uint32_t serialTries = 3;     // attempts per transaction on a cable: 1..12, 0 means 3
  uint32_t radioTries = 5;      // the same over the radio: 1..12, 0 means 5
  uint8_t progressEnabled = 0;  // long operations call the progress hook
  int8_t traceLevel = 0;        // 0..3; kept for the instruments' trace tools, no effect here
  uint32_t extraWaitMs = 0;     // 0..30000, added to every transaction's time-out
};
static_assert(sizeof(ConnectionOptions) == 20);

// What the caller asks ConnectDevice for; kept in the context while the link is up.
struct ConnectionRequest {
  char portName[kPortNameSize + 1] = {};
  uint8_t linkKind = link_kind::kNone;
  uint8_t baudCode = 0;  // index into the baud table, 0 means 2 (9600); out: the code in use
  char deviceName[kInstrumentNameLength + 1] = {};  // radio: whom to log into, empty: anyone
  int32_t radioChannel = 0;
  int32_t radioSubChannel = 0;
  uint8_t configureRadioModem = 0;  // radio: set the modem to the channel values first
};

// Progress of long operations (the radio wake, the settings): called with (total, done, phase);
// returning false cancels the operation with kErrCancelled.
namespace progress_phase {
constexpr int kWorking = 1;
constexpr int kFinished = 2;
constexpr int kQueryTry = 4;
}  // namespace progress_phase
using DeviceProgressHook = bool (*)(void* context, uint32_t total, uint32_t done, int phase);

// The record of one instrument link. It knows nothing of the connection life built on it: its
// owner lets the instrument go (ReleaseDevice or a DeviceRelease, instrument/session.h) before
// the record ends; the destructor only closes the port and frees the buffers.
struct DeviceContext {
  explicit DeviceContext(VexaLog* log = nullptr);
  ~DeviceContext();
  DeviceContext(const DeviceContext&) = delete;
  DeviceContext& operator=(const DeviceContext&) = delete;

  SerialPort port;
  int32_t status = 0;  // 1 after construction, kErrOutOfMemory without its buffers
  ConnectionOptions options;
  SettingsRecord settings;
  ConnectionRequest request;    // its link kind is the current link kind
  uint32_t tries = 3;           // attempts of each transaction
  uint32_t resets = 0;          // reset counter of the oldest firmware ("show")
  char* response = nullptr;     // kResponseSize + 1 bytes: the last answer, terminated
  char* readStorage = nullptr;  // kReadBufferSize bytes lent to the port as its read buffer
  VexaLog* log = nullptr;
  DeviceProgressHook progressHook = nullptr;
  void* progressContext = nullptr;
  // The radio wake: packets and the time between them. Only tests and the simulator's fast
  // runs change them.
  uint32_t wakePackets = 909;
  uint32_t wakePacketMs = 55;
};

// Validates and takes `options`; sets the tries for the current link. 1, kErrMissingArgument
// without options, kErrBadArgument for a value out of range (nothing is changed then).
int32_t SetConnectionOptions(DeviceContext* device, const ConnectionOptions* options);
// Copies the options out; 1, or kErrMissingArgument without a destination.
int32_t GetConnectionOptions(const DeviceContext* device, ConnectionOptions* options);

// The tag of this layer's log lines: the port name.
const char* DeviceTag(const DeviceContext* device);
