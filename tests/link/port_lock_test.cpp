// The port's locks: DSOpen takes them and DSClose lets them go, HoldPort keeps them across a close
// and a reopen, the lock files of live programs are honoured and stale ones removed.
#include "link/port_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/port_use.h"
#include "link/serial_port.h"
#include "tests/support/holding_process.h"
#include "tests/support/pty_device.h"

namespace fs = std::filesystem;

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string LockText(pid_t pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
  return text;
}

// The id of a process that has ended.
pid_t EndedProcess() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

class PortLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kPortLockFolder, W_OK) != 0) GTEST_SKIP() << kPortLockFolder << " is not writable";
    logPath_ = (fs::temp_directory_path() / ("vexa_port_lock_" + std::to_string(getpid()) + ".txt"))
                   .string();
    log_ = std::make_unique<VexaLog>(logPath_.c_str(), 40);
    port_.log = log_.get();
    lockFile_ = PortLockFile(device_.Path().c_str());
  }
  void TearDown() override {
    DSClose(&port_);
    if (!lockFile_.empty()) fs::remove(lockFile_);
    if (!logPath_.empty()) fs::remove(logPath_);
  }

  PtyDevice device_;
  SerialPort port_;
  std::unique_ptr<VexaLog> log_;
  std::string logPath_;
  std::string lockFile_;
};

TEST(PortLockFile, IsNamedAfterTheDeviceBelowDev) {
  EXPECT_EQ(PortLockFile("/dev/ttyUSB0"), std::string(kPortLockFolder) + "/LCK..ttyUSB0");
  const std::string pty = PtyDevice().Path();  // /dev/pts/N
  const std::string lockFile =
      std::string(kPortLockFolder) + "/LCK..pts_" + pty.substr(pty.rfind('/') + 1);
  EXPECT_EQ(PortLockFile(pty.c_str()), lockFile);

  // A link to the device (as vexa-sim's --link, or udev's by-id links, relative) names the same
  // lock file as the device itself.
  const fs::path folder =
      fs::temp_directory_path() / ("vexa_lock_links_" + std::to_string(getpid()));
  fs::create_directories(folder);
  fs::create_symlink(pty, folder / "absolute");
  std::string up;  // from the folder up to /
  for (auto part = ++folder.begin(); part != folder.end(); ++part) up += "../";
  fs::create_symlink(up + pty.substr(1), folder / "relative");
  EXPECT_EQ(PortLockFile((folder / "absolute").c_str()), lockFile);
  EXPECT_EQ(PortLockFile((folder / "relative").c_str()), lockFile);
  fs::remove_all(folder);
}

TEST_F(PortLockTest, AnOpenPortHasALockFileWithOurProcessIdUntilItIsClosed) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  EXPECT_EQ(Contents(lockFile_), LockText(getpid()));
  EXPECT_EQ(DSClose(&port_), 1);
  EXPECT_FALSE(fs::exists(lockFile_));
}

TEST_F(PortLockTest, ALiveProgramsLockFileMakesThePortInUse) {
  HoldingProcess other("", "minicom");
  ASSERT_TRUE(other.Holding());
  std::ofstream(lockFile_) << LockText(other.Pid());

  EXPECT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), kErrPortBusy);
  EXPECT_EQ(TryPortOpen(device_.Path().c_str()), kErrPortBusy);
  EXPECT_EQ(HoldPort(device_.Path().c_str(), log_.get()), kErrPortBusy);
  const std::string log = Contents(logPath_);
  EXPECT_NE(log.find("DSOpen failed to open comm port (error 5)"), std::string::npos) << log;
  EXPECT_NE(log.find("The port is locked by process " + std::to_string(other.Pid())),
            std::string::npos)
      << log;
  EXPECT_EQ(Contents(lockFile_), LockText(other.Pid())) << "left alone";
  // The advice can name the program although it has the port closed.
  const PortHolder holder = FindPortHolder(device_.Path().c_str());
  EXPECT_EQ(holder.pid, other.Pid());
  EXPECT_EQ(holder.name, "minicom");
}

TEST_F(PortLockTest, AStaleLockFileIsRemoved) {
  struct Stale {
    const char* what;
    std::string text;
  };
  const Stale files[] = {
      {"a process that has ended", LockText(EndedProcess())},
      {"no process id", "\n"},
  };
  for (const Stale& stale : files) {
    SCOPED_TRACE(stale.what);
    std::ofstream(lockFile_) << stale.text;
    EXPECT_EQ(TryPortOpen(device_.Path().c_str()), 1);
    ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
    EXPECT_EQ(Contents(lockFile_), LockText(getpid()));
    EXPECT_NE(Contents(logPath_).find("Removed the stale lock file " + lockFile_),
              std::string::npos);
    DSClose(&port_);
  }
}

TEST_F(PortLockTest, AHeldPortStaysOursWhileItIsClosedAndIsReopenedUnderTheHold) {
  ASSERT_EQ(HoldPort(device_.Path().c_str(), log_.get()), 1);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
    SerialPort second;
    EXPECT_EQ(DSOpen(&second, device_.Path().c_str(), 9600), kErrPortBusy)
        << "one open at a time within the program";
    EXPECT_EQ(DSClose(&port_), 1);

    // Closed, but held: another program is refused by the flock and by the lock file.
    HoldingProcess flocking(device_.Path(), "flocker", HoldingProcess::Lock::kExclusive);
    EXPECT_FALSE(flocking.Holding());
    EXPECT_EQ(Contents(lockFile_), LockText(getpid()));
  }
  LetGoPort(device_.Path().c_str());
  EXPECT_FALSE(fs::exists(lockFile_));
  HoldingProcess flocking(device_.Path(), "flocker", HoldingProcess::Lock::kExclusive);
  EXPECT_TRUE(flocking.Holding()) << "free after the hold";
}

}  // namespace
