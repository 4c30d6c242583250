// The advice for ports that cannot be opened, and the trial open and /proc look-up behind the
// busy mark, on real pseudo-terminals and real files.
#include "link/port_advice.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "link/port_use.h"
#include "link/serial_port.h"
#include "tests/support/holding_process.h"
#include "tests/support/pty_device.h"

namespace fs = std::filesystem;

namespace {

std::string UserName() {
  return getpwuid(getuid())->pw_name;
}

// A file whose group this user is not in, with read and write for the group like a serial
// port: as root a scratch file given to dialout; otherwise /etc/shadow (group shadow) serves.
class FileOfAnotherGroup {
 public:
  FileOfAnotherGroup() {
    const group* dialout = getgrnam("dialout");
    path_ = fs::temp_directory_path() / ("vexa_port_" + std::to_string(getpid()));
    std::ofstream(path_).put('x');
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::group_write);
    if (dialout && chown(path_.c_str(), 0, dialout->gr_gid) == 0) {
      group_ = "dialout";
    } else {
      fs::remove(path_);
      path_ = "/etc/shadow";
      group_ = "shadow";
    }
  }
  ~FileOfAnotherGroup() {
    if (path_ != "/etc/shadow") fs::remove(path_);
  }
  const fs::path& Path() const { return path_; }
  const std::string& Group() const { return group_; }

 private:
  fs::path path_;
  std::string group_;
};

TEST(PermissionAdvice, NamesTheOwningGroupAndTheCommandThatAddsTheUser) {
  FileOfAnotherGroup device;
  if (device.Group() == "shadow" && access("/etc/shadow", F_OK) != 0) GTEST_SKIP();
  const std::string advice = PermissionAdvice(device.Path().c_str());
  EXPECT_NE(advice.find(device.Path().string() + " belongs to the group " + device.Group()),
            std::string::npos)
      << advice;
  EXPECT_NE(advice.find("sudo usermod -aG " + device.Group() + " " + UserName() + "\n"),
            std::string::npos)
      << advice;
  EXPECT_NE(advice.find("then log out and in again"), std::string::npos) << advice;
}

TEST(PermissionAdvice, ADeviceNoGroupMayUseNeedsAnAdministrator) {
  const fs::path path = fs::temp_directory_path() / ("vexa_root_" + std::to_string(getpid()));
  std::ofstream(path).put('x');
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  const std::string advice = PermissionAdvice(path.c_str());
  fs::remove(path);
  EXPECT_NE(advice.find("Only an administrator can open"), std::string::npos) << advice;
  EXPECT_EQ(PermissionAdvice("/dev/vexa-no-such-port"), "");
}

TEST(PortOpenAdvice, NamesTheProgramThatHoldsThePort) {
  PtyDevice device;
  const std::string generic = "Another program holds " + device.Path();
  EXPECT_NE(PortOpenAdvice(device.Path().c_str(), kErrPortBusy).find(generic), std::string::npos);

  HoldingProcess holder(device.Path(), "minicom");
  ASSERT_TRUE(holder.Holding());
  const std::string advice = PortOpenAdvice(device.Path().c_str(), kErrPortBusy);
  EXPECT_NE(advice.find(device.Path() + " is held by minicom (process " +
                        std::to_string(holder.Pid()) + "): close that program and try again."),
            std::string::npos)
      << advice;
}

TEST(PortOpenAdvice, AMinusThirteenFromAnOpenablePortIsNotAPermissionProblem) {
  PtyDevice device;
  EXPECT_EQ(PortOpenAdvice(device.Path().c_str(), kErrPermission).find("belongs to the group"),
            std::string::npos);
  EXPECT_NE(PortOpenAdvice("ttyVexaMissing", kErrPortMissing).find("vexabsl ports"),
            std::string::npos);
}

TEST(TryPortOpen, TellsAFreePortFromOneThatIsHeldOrMissing) {
  PtyDevice device;
  EXPECT_EQ(TryPortOpen(device.Path().c_str()), kResultOk);
  SerialPort port;
  ASSERT_EQ(DSOpen(&port, device.Path().c_str(), 9600), kResultOk);
  EXPECT_EQ(TryPortOpen(device.Path().c_str()), kErrPortBusy);
  EXPECT_EQ(FindPortHolder(device.Path().c_str()).pid, 0) << "only other programs are named";
  DSClose(&port);
  EXPECT_EQ(TryPortOpen(device.Path().c_str()), kResultOk);
  EXPECT_EQ(TryPortOpen("/dev/vexa-no-such-port"), kErrPortMissing);
}

}  // namespace
