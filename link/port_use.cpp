#include "link/port_use.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "link/port_lock.h"
#include "link/serial_port.h"

namespace {

// Process ids in /proc, lowest first as the kernel lists them; calls `visit` until it says stop.
template <typename Visit>
void ForEachProcess(Visit visit) {
  DIR* proc = opendir("/proc");
  if (!proc) return;
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != 0) continue;
    if (!visit(static_cast<pid_t>(pid))) break;
  }
  closedir(proc);
}

std::string ProgramName(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Marks in `holders` the devices among `devices` that process `pid` has open.
void NoteOpenFiles(pid_t pid, const std::vector<struct stat>& devices,
                   std::vector<PortHolder>* holders) {
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  DIR* fds = opendir(folder.c_str());
  if (!fds) return;  // another user's process, or it ended
  while (const dirent* entry = readdir(fds)) {
    if (entry->d_name[0] == '.') continue;
    struct stat open_file;
    if (stat((folder + "/" + entry->d_name).c_str(), &open_file) != 0) continue;
    for (size_t i = 0; i < devices.size(); ++i) {
      PortHolder& holder = (*holders)[i];
      if (holder.pid == 0 && devices[i].st_ino != 0 && SameFile(open_file, devices[i])) {
        holder.pid = pid;
        holder.name = ProgramName(pid);
      }
    }
  }
  closedir(fds);
}

}  // namespace

int32_t TryPortOpen(const char* path) {
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return PortOpenResult(errno);
  int32_t result = kResultOk;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) result = PortOpenResult(errno);
  close(fd);  // also drops the lock
  // A program may keep a port by its lock file alone, also while it has the port closed.
  if (result == kResultOk && PortLockOwner(path) != 0) result = kErrPortBusy;
  return result;
}

std::vector<PortHolder> FindPortHolders(const std::vector<std::string>& paths) {
  std::vector<PortHolder> holders(paths.size());
  std::vector<struct stat> devices(paths.size());
  bool any = false;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (stat(paths[i].c_str(), &devices[i]) == 0) {
      any = true;
    } else {
      devices[i] = {};  // inode 0: nothing to look for
    }
  }
  if (!any) return holders;
  const pid_t self = getpid();
  ForEachProcess([&](pid_t pid) {
    if (pid != self) NoteOpenFiles(pid, devices, &holders);
    return true;
  });
  return holders;
}

PortHolder FindPortHolder(const char* path) {
  PortHolder holder = FindPortHolders({path}).front();
  // A program between two opens of the port holds it by its lock file alone.
  if (holder.pid == 0) {
    if (const pid_t owner = PortLockOwner(path)) holder = {owner, ProgramName(owner)};
  }
  return holder;
}

bool IsProgramRunning(const char* name) {
  bool running = false;
  ForEachProcess([&](pid_t pid) {
    running = ProgramName(pid) == name;
    return !running;
  });
  return running;
}
