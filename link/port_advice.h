// What to tell a user whose port cannot be used, in words that say what to do: the group to join
// when the port refuses them, the program to close when another one holds it, and how to keep
// ModemManager away from the instrument. The command-line tool prints these texts after a failed
// connection and the window shows the same ones.
#pragma once

#include <cstdint>
#include <string>

// The advice after opening `port` (a name under /dev/ or a device path) failed with `code`:
// for kErrPermission (when the device really refuses this user) the permission advice, for
// kErrPortBusy the program that holds the port, for kErrPortMissing where to find the ports; then,
// for any failure but kErrPortMissing, the ModemManager warning when it applies. Each line ends in
// a newline; empty when there is nothing to add.
std::string PortOpenAdvice(const char* port, int32_t code);

// The permission advice for the device at `path`, from its owner group and this user's groups:
// the command that adds the user to the group ("sudo usermod -aG GROUP USER", then log in
// again), or that logging in again is enough when the user already joined it, or that only an
// administrator can help when no group may open it. Empty when `path` cannot be examined.
std::string PermissionAdvice(const char* path);

// A warning when ModemManager runs and has not been told to ignore `port`: it opens modem-like
// ports to try AT commands, which disturbs an instrument's command line or loader. Empty when
// it does not apply.
std::string ModemManagerWarning(const char* port);
