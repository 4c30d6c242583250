// Keeping a serial port this program's, the way Linux serial programs agree on it: an exclusive
// flock on the device and a UUCP lock file, /run/lock/LCK..ttyUSB0, holding the owner's process
// id as ten ASCII characters and a line feed. The locks of other programs are honoured in turn; a
// lock file whose process has ended is stale and removed.
//
// DSOpen takes the port's locks and DSClose lets them go. An update closes and reopens the port
// several times (before the loader, after the restart) and must not lose the port in between:
// HoldPort keeps the locks from the start of the run to its end, and DSOpen and DSClose then work
// under them. Within this program one SerialPort at a time has the port open.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "link/log.h"

// Where lock files live. Without write access there, the flock alone keeps the port (logged at
// level 10).
constexpr const char* kPortLockFolder = "/run/lock";

// Claims the port for one DSOpen: under a HoldPort at once, otherwise by taking its locks.
// `path` is the device path. Returns 0, or the errno of the refusal for DSOpen to log and map
// (PortOpenError, PortOpenResult): EBUSY or EWOULDBLOCK when another program, or another open
// in this program, holds the port. A refusal through a lock file is logged at level 10 with `tag`.
int ClaimPortForOpen(const char* path, VexaLog* log, const char* tag);
// Ends the claim of the DSOpen that got it, by the device path or by the open descriptor of the
// device; the locks go unless a HoldPort keeps them.
void EndPortClaim(const char* path);
void EndPortClaimOf(int fd);

// Keeps the port's locks until LetGoPort, across every DSClose and DSOpen in between (nesting).
// `name` is a port name as DSOpen takes it. Returns 1, or ClaimPortForOpen's codes.
int32_t HoldPort(const char* name, VexaLog* log);
void LetGoPort(const char* name);

// The lock file of a device: /run/lock/LCK.. + the path below /dev with '/' made '_'
// (/dev/ttyUSB0 -> LCK..ttyUSB0, /dev/pts/3 -> LCK..pts_3), after symbolic links are followed.
std::string PortLockFile(const char* path);

// The process whose live lock file holds the device at `path`, 0 when there is none (or the lock
// file is stale, or names this process).
pid_t PortLockOwner(const char* path);
