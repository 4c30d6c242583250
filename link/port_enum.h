// Port discovery: the table of serial ports the window's drop-down list offers. Each entry names
// the port as DSOpen takes it (ttyUSB0) and describes it in words the user recognises: the
// adapter's own name, the maker's USB cable adapter as "KALTO USB Adapter", the USB radio modem
// as "Norvane USB Mx2", and " (busy)" when another program holds the port. Beyond the list's
// text each entry keeps what the tool tip and `vexabsl ports` show: the stable path under
// /dev/serial/by-id, the USB ids and serial number, and the program that holds a busy port.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "link/log.h"
#include "link/result.h"

constexpr uint32_t kPortEntryNameSize = 24;         // 23 characters and the terminator
constexpr uint32_t kPortEntryDescriptionSize = 64;  // 63 characters and the terminator
constexpr uint32_t kPortTableCapacity = 16;         // the window's table

struct CommPortEntry {
  char name[kPortEntryNameSize] = {};                // ttyUSB0
  char description[kPortEntryDescriptionSize] = {};  // the text shown in the list
  uint32_t number = 0;                               // the digits that end the name

  char byIdPath[160] = {};   // /dev/serial/by-id/..., empty when the port has none
  char usbVendorId[5] = {};  // four hex digits; empty for a port that is not on USB
  char usbProductId[5] = {};
  char usbSerial[64] = {};  // the USB serial number, may be empty
  bool busy = false;        // another program holds the port
  int32_t openResult = 0;   // TryPortOpen: 1 free, kErrPortBusy, kErrPermission, ...
  pid_t holderPid = 0;      // the program holding a busy port, 0 when it cannot be seen
  char holderName[16] = {};
};

// The enumerator has no state beyond the log (null: silent).
struct CommPortEnumerator {
  VexaLog* log = nullptr;
};

// Fills `table` with the computer's serial ports. `count` is in and out: the table's capacity
// on entry, the entries filled on return.
//
// The ports the system lists come first, ordered by name group and then number (ttyACM0 ...
// ttyS0 ... ttyUSB0 ... ttyUSB10). With `forceFindAll` (the window's Force Find All Comm Ports),
// or when the system's device list cannot be read, ttyS0 to ttyS15 that exist and that the UART
// driver reports as real ports, and that the list did not give, are appended after them while
// the table has room, described as "ttyS%d Communications Port".
//
// Returns the number of entries filled (0 when there are no ports), kErrMissingArgument when
// `table` or `count` is missing, kErrBadArgument when the capacity is 0 (the table is left
// untouched), kErrOutOfMemory when memory runs out.
int32_t CommPortEnum(CommPortEnumerator* enumerator, CommPortEntry* table, uint32_t* count,
                     bool forceFindAll);
