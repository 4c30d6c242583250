// Which commands a logger's firmware knows. The Qd40 gained its settings commands over its
// versions; the rQ7 has its own fixed set; the Qd4 with the oldest firmware has only "show" and
// a few sets of its own (logger.h).
#pragma once

#include <string_view>

enum class LoggerModel { kQd40, kRq7, kQd4 };

// "2.03" -> 203, "1.15" -> 115: major * 100 + minor digit * 10 + third digit; -1 when the text
// does not start with a version.
int LoggerVersionNumber(std::string_view version);

struct LoggerFirmware {
  LoggerModel model = LoggerModel::kQd40;
  int version = 0;      // LoggerVersionNumber of the firmware version
  bool teaKey = false;  // the older firmware that answers the key to "get -teakey" only
};

// Whether the firmware has "get OPTION" (`set` false) or "set OPTION" (`set` true) for a
// stored setting. `trait` is the trait as the updater sees it: bit 3 carries the network
// modem's settings.
bool KnowsSetting(const LoggerFirmware& firmware, std::string_view option, bool set, int trait);
