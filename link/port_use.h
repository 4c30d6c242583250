// Who uses a serial port: the trial open that tells a free port from one another program holds,
// and the look through /proc for the program that holds it (or for a running ModemManager, which
// opens modem-like ports to probe them with AT commands).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Opens the device at `path` as DSOpen does (read and write, exclusive, with DSOpen's flock, and
// looking at its lock file) and closes it at once, without touching the line settings. Returns 1
// when the port could be taken, kErrPortMissing (no such device), kErrPortBusy (another program
// holds it, also by a live lock file alone), kErrPermission, or another code of PortOpenResult.
int32_t TryPortOpen(const char* path);

// A process that has a port open.
struct PortHolder {
  pid_t pid = 0;     // 0: nobody found
  std::string name;  // the program's name as the kernel keeps it (/proc/PID/comm)
};

// For each of `paths`, the first other process found with that device open (PortHolder{} when
// none: this process's own use shows in TryPortOpen instead). One pass over the open files of
// every process we may look at, compared with the device itself, so a path through a symbolic
// link finds the same holders. Without root only our own user's processes can be seen.
std::vector<PortHolder> FindPortHolders(const std::vector<std::string>& paths);
// The same for one port, and failing that the process of a live lock file of the port.
PortHolder FindPortHolder(const char* path);

// True when a process whose name is `name` (as in /proc/PID/comm, at most 15 characters) runs.
bool IsProgramRunning(const char* name);
