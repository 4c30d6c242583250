#include "link/port_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "link/serial_port.h"

namespace {

// One port this process has: the descriptor that carries the flock, the lock file written for it,
// and who keeps it (HoldPort nesting, and whether a DSOpen has it open).
struct Claim {
  std::string path;  // as the first claimant gave it
  dev_t device = 0;  // the device node, so a symbolic link finds the same claim
  ino_t inode = 0;
  int fd = -1;
  std::string lockFile;  // empty when none could be written
  int holds = 0;
  bool open = false;
};

// The list of this program's claims. The window's port list may look at ports while a run works
// on another thread, so every public operation takes the mutex.
std::mutex& ClaimsMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<Claim>& Claims() {
  static std::vector<Claim> claims;
  return claims;
}

Claim* FindDevice(const struct stat& st) {
  for (Claim& claim : Claims()) {
    if (claim.device == st.st_dev && claim.inode == st.st_ino) return &claim;
  }
  return nullptr;
}

Claim* Find(const std::string& path) {
  for (Claim& claim : Claims()) {
    if (claim.path == path) return &claim;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? FindDevice(st) : nullptr;
}

void EndClaim(Claim* claim);

bool Alive(pid_t pid) {
  return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

// The process id in a lock file: ten ASCII characters (the usual form), or four binary bytes
// (the oldest form). 0 when the file cannot be read or holds no number.
pid_t ReadLockPid(const std::string& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  char text[32] = {};
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  if (got == static_cast<ssize_t>(sizeof(int))) {
    int binary;
    std::memcpy(&binary, text, sizeof binary);
    if (binary > 0 && text[0] != ' ' && (text[0] < '0' || text[0] > '9')) return binary;
  }
  if (got <= 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(text, &end, 10);
  return end != text && pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

enum class LockFileOutcome { kWritten, kNoFolder, kHeld };

// Writes our lock file for `file` unless a live process holds it: written into a temporary file
// first and linked into place, so no other program ever reads a half-written one. A stale file
// (its process ended) is removed. *owner gets the holder of a held port.
LockFileOutcome WriteLockFile(const std::string& file, VexaLog* log, const char* tag,
                              pid_t* owner) {
  char content[16];
  std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(getpid()));
  const std::string temporary =
      std::string(kPortLockFolder) + "/LTMP.vexabsl." + std::to_string(getpid());
  int error = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      error = errno;
      break;
    }
    const size_t length = std::strlen(content);
    const bool complete = write(fd, content, length) == static_cast<ssize_t>(length);
    close(fd);
    const int linked = complete ? link(temporary.c_str(), file.c_str()) : -1;
    error = complete ? errno : EIO;
    unlink(temporary.c_str());
    if (linked == 0) return LockFileOutcome::kWritten;
    if (error != EEXIST) break;

    const pid_t pid = ReadLockPid(file);
    if (pid != getpid() && Alive(pid)) {
      *owner = pid;
      return LockFileOutcome::kHeld;
    }
    // Stale: its process ended (or it is an old one of ours under a reused id).
    if (unlink(file.c_str()) == 0) {
      LogMessage(log, vexa_log_level::kMilestone, tag,
                 "Removed the stale lock file %s of process %d", file.c_str(),
                 static_cast<int>(pid));
    }
  }
  LogMessage(log, vexa_log_level::kMilestone, tag,
             "Cannot write the lock file %s (error %d); the port is kept by its flock alone",
             file.c_str(), error);
  return LockFileOutcome::kNoFolder;
}

// Takes the port's locks into `claim`. 0, or the errno of the refusal (EBUSY for a lock of
// another program).
int TakeLocks(const std::string& path, VexaLog* log, const char* tag, Claim* claim) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    const int error = errno;
    close(fd);
    return error;
  }
  claim->path = path;
  claim->device = st.st_dev;
  claim->inode = st.st_ino;
  // Something that is no serial port gets no locks (and no lock file): DSOpen refuses it when it
  // sets the line up.
  if (!isatty(fd)) {
    close(fd);
    return 0;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    return error;
  }
  const std::string lockFile = PortLockFile(path.c_str());
  pid_t owner = 0;
  const LockFileOutcome outcome = WriteLockFile(lockFile, log, tag, &owner);
  if (outcome == LockFileOutcome::kHeld) {
    close(fd);
    LogMessage(log, vexa_log_level::kMilestone, tag, "The port is locked by process %d (%s)",
               static_cast<int>(owner), lockFile.c_str());
    return EBUSY;
  }
  claim->fd = fd;
  claim->lockFile = outcome == LockFileOutcome::kWritten ? lockFile : std::string();
  return 0;
}

void Release(const Claim& claim) {
  // Only our own lock file goes; a file another program wrote after a stale removal stays.
  if (!claim.lockFile.empty() && ReadLockPid(claim.lockFile) == getpid()) {
    unlink(claim.lockFile.c_str());
  }
  if (claim.fd >= 0) close(claim.fd);  // drops the flock
}

void Forget(Claim* claim) {
  Release(*claim);
  std::vector<Claim>& claims = Claims();
  claims.erase(claims.begin() + (claim - claims.data()));
}

// The device a port name's symbolic links lead to (/tmp/fieldpal -> /dev/pts/3, a udev by-id
// link -> ../../ttyUSB0). Followed by hand: umockdev's wrapper of realpath, under which the port
// discovery tests run, breaks the stack.
std::string FollowLinks(const char* path) {
  std::string current = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char target[PATH_MAX];
    const ssize_t length = readlink(current.c_str(), target, sizeof target - 1);
    if (length <= 0) break;
    target[length] = '\0';
    if (target[0] == '/') {
      current = target;
    } else {
      current = current.substr(0, current.rfind('/') + 1) + target;
    }
  }
  // "/dev/serial/by-id/../../ttyUSB0": drop each folder that a ".." leaves again.
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= current.size()) {
    const size_t end = std::min(current.find('/', start), current.size());
    const std::string part = current.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string normal;
  for (const std::string& part : parts) normal += "/" + part;
  return normal;
}

}  // namespace

std::string PortLockFile(const char* path) {
  std::string device = FollowLinks(path);
  if (device.rfind("/dev/", 0) == 0) {
    device.erase(0, 5);
  } else {
    while (!device.empty() && device.front() == '/') device.erase(0, 1);
  }
  for (char& c : device) {
    if (c == '/') c = '_';
  }
  return std::string(kPortLockFolder) + "/LCK.." + device;
}

pid_t PortLockOwner(const char* path) {
  const pid_t pid = ReadLockPid(PortLockFile(path));
  return pid != getpid() && Alive(pid) ? pid : 0;
}

int ClaimPortForOpen(const char* path, VexaLog* log, const char* tag) {
  const std::lock_guard<std::mutex> lock(ClaimsMutex());
  if (Claim* claim = Find(path)) {
    if (claim->open) return EBUSY;  // another SerialPort of this program has it
    claim->open = true;
    return 0;
  }
  Claim claim;
  const int error = TakeLocks(path, log, tag, &claim);
  if (error != 0) return error;
  claim.open = true;
  Claims().push_back(claim);
  return 0;
}

void EndPortClaim(const char* path) {
  const std::lock_guard<std::mutex> lock(ClaimsMutex());
  if (Claim* claim = Find(path)) EndClaim(claim);
}

void EndPortClaimOf(int fd) {
  const std::lock_guard<std::mutex> lock(ClaimsMutex());
  struct stat st;
  if (fstat(fd, &st) != 0) return;
  if (Claim* claim = FindDevice(st)) EndClaim(claim);
}

namespace {

void EndClaim(Claim* claim) {
  claim->open = false;
  if (claim->holds == 0) Forget(claim);
}

}  // namespace

int32_t HoldPort(const char* name, VexaLog* log) {
  const std::lock_guard<std::mutex> lock(ClaimsMutex());
  const std::string path = PortDevicePath(name ? name : "");
  if (Claim* claim = Find(path)) {
    ++claim->holds;
    return kResultOk;
  }
  Claim claim;
  const int error = TakeLocks(path, log, name, &claim);
  if (error != 0) {
    LogMessage(log, vexa_log_level::kMilestone, name, "HoldPort could not take the port (error %d)",
               PortOpenError(error));
    return PortOpenResult(error);
  }
  claim.holds = 1;
  Claims().push_back(claim);
  LogMessage(log, vexa_log_level::kTrace, name, "HoldPort holds the port until the run ends");
  return kResultOk;
}

void LetGoPort(const char* name) {
  const std::lock_guard<std::mutex> lock(ClaimsMutex());
  Claim* claim = Find(PortDevicePath(name ? name : ""));
  if (!claim || claim->holds == 0) return;
  if (--claim->holds == 0 && !claim->open) Forget(claim);
}
