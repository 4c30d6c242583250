// Another program that holds a port: a child process, under a name of our choosing, that opens a
// device (with or without an exclusive lock) and keeps it open until the object is destroyed.
// For tests of the busy mark and of the advice that names the program to close.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

class HoldingProcess {
 public:
  enum class Lock { kNone, kExclusive };

  // Starts the child named `name` (at most 15 characters) and waits until it holds `path`.
  HoldingProcess(const std::string& path, const char* name, Lock lock = Lock::kNone) {
    int ready[2], release[2];
    if (pipe(ready) != 0 || pipe(release) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(release[1]);
      prctl(PR_SET_NAME, name);
      const int fd = path.empty() ? -1 : open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      const bool locked = fd >= 0 && (lock == Lock::kNone || flock(fd, LOCK_EX | LOCK_NB) == 0);
      const char status = (path.empty() || locked) ? '1' : '0';
      if (write(ready[1], &status, 1) != 1) _exit(1);
      char byte;
      while (read(release[0], &byte, 1) > 0) {
      }
      _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char status = '0';
    holding_ = read(ready[0], &status, 1) == 1 && status == '1';
    close(ready[0]);
  }
  ~HoldingProcess() {
    if (release_ >= 0) close(release_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  HoldingProcess(const HoldingProcess&) = delete;
  HoldingProcess& operator=(const HoldingProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Holding() const { return holding_; }  // the child opened (and locked) the device

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool holding_ = false;
};
