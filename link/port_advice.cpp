#include "link/port_advice.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "link/port_listing.h"
#include "link/port_use.h"
#include "link/result.h"

namespace {

std::string DevicePathOf(const char* port) {
  if (port[0] == '/') return port;
  return std::string("/dev/") + port;
}

// The tty's name in the device list: the name itself, or what a device path leads to.
std::string DeviceNameOf(const char* port) {
  if (port[0] != '/') return port;
  char resolved[PATH_MAX];
  if (!realpath(port, resolved)) return {};
  const std::string path = resolved;
  return path.substr(path.rfind('/') + 1);
}

std::string UserName() {
  if (const passwd* user = getpwuid(getuid())) return user->pw_name;
  return std::to_string(getuid());
}

// Whether the group database lists `user` in `group` (joined, perhaps after this login began).
bool UserIsListedIn(const std::string& user, gid_t group) {
  const passwd* entry = getpwnam(user.c_str());
  if (!entry) return false;
  int count = 0;
  getgrouplist(user.c_str(), entry->pw_gid, nullptr, &count);
  std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 1)));
  if (getgrouplist(user.c_str(), entry->pw_gid, groups.data(), &count) < 0) return false;
  return std::find(groups.begin(), groups.begin() + count, group) != groups.begin() + count;
}

// Whether this process runs with `group` (its login session had it when it began).
bool SessionHasGroup(gid_t group) {
  if (getegid() == group) return true;
  const int count = getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 1)));
  const int got = getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

}  // namespace

std::string PermissionAdvice(const char* path) {
  struct stat device;
  if (stat(path, &device) != 0) return {};
  const group* owner = getgrgid(device.st_gid);
  const bool groupMayUse = (device.st_mode & S_IRGRP) && (device.st_mode & S_IWGRP);
  if (!owner || device.st_gid == 0 || !groupMayUse) {
    return std::string("Only an administrator can open ") + path +
           " (no group may use it). For the maker's adapter and radio modem, install the udev "
           "rules of vexabsl so the logged-in user may open them.\n";
  }
  const std::string groupName = owner->gr_name;
  const std::string user = UserName();
  if (UserIsListedIn(user, device.st_gid) && !SessionHasGroup(device.st_gid)) {
    return std::string(path) + " belongs to the group " + groupName + ", which " + user +
           " has joined since logging in: log out and in again (or start a shell with `newgrp " +
           groupName + "`).\n";
  }
  return std::string(path) + " belongs to the group " + groupName + ", which " + user +
         " is not in. Add yourself to it:\n  sudo usermod -aG " + groupName + " " + user +
         "\nthen log out and in again.\n";
}

std::string ModemManagerWarning(const char* port) {
  if (!IsProgramRunning("ModemManager")) return {};
  const std::string name = DeviceNameOf(port);
  if (!name.empty() && ModemManagerIgnores(name.c_str())) return {};
  return std::string("ModemManager is running and may open ") + port +
         " to try modem commands on it, which disturbs the instrument. To stop that, install "
         "the udev rules of vexabsl (they tell ModemManager to leave the maker's adapter and "
         "radio modem alone), or stop it while you work: sudo systemctl stop ModemManager\n";
}

std::string PortOpenAdvice(const char* port, int32_t code) {
  if (!port || !port[0]) return {};
  const std::string path = DevicePathOf(port);
  std::string advice;
  if (code == kErrPortMissing) {
    return std::string("There is no port ") + port + "; `vexabsl ports` lists the ports.\n";
  }
  if (code == kErrPermission && access(path.c_str(), R_OK | W_OK) != 0) {
    advice += PermissionAdvice(path.c_str());
  } else if (code == kErrPortBusy) {
    const PortHolder holder = FindPortHolder(path.c_str());
    if (holder.pid != 0) {
      advice += std::string(port) + " is held by " + holder.name + " (process " +
                std::to_string(holder.pid) + "): close that program and try again.\n";
    } else {
      advice += std::string("Another program holds ") + port +
                " (a terminal program, a modem manager): close it and try again.\n";
    }
  }
  return advice + ModemManagerWarning(port);
}
