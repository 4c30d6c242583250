#include "sim/logger_model.h"

#include <cstdio>
#include <initializer_list>
#include <string>

namespace {

constexpr int kTraitNetwork = 0x8;

bool IsOneOf(std::string_view option, std::initializer_list<std::string_view> options) {
  for (std::string_view candidate : options) {
    if (option == candidate) return true;
  }
  return false;
}

bool IsNetworkItem(std::string_view option) {
  return IsOneOf(option, {"-apn", "-user", "-passwd", "-authkey", "-teakey", "-host", "-ipport"});
}

bool Qd40Knows(const LoggerFirmware& firmware, std::string_view option, bool set, int trait) {
  const int version = firmware.version;
  if (IsOneOf(option, {"-i", "-sn", "-w", "-padc", "-ports", "-r"})) return true;
  if (option == "-trait") return set ? version >= 200 : version > 107;
  if (IsOneOf(option, {"-adc30", "-adc15", "-data", "-build"})) return version > 113;
  if (IsOneOf(option, {"-devid", "-report", "-depth", "-site", "-tz"})) return version >= 200;
  if (IsOneOf(option, {"-lat", "-long"})) return version > 201;
  if (IsNetworkItem(option)) {
    if ((trait & kTraitNetwork) == 0) return false;
    // The older firmware names the key "teakey" when asked for it; it is set as "-authkey".
    if (option == "-teakey") return !set && firmware.teaKey;
    if (option == "-authkey" && !set) return !firmware.teaKey;
    return true;
  }
  return false;
}

bool Rq7Knows(std::string_view option) {
  // No radio mode (it is always in the same one), no build text, no network modem.
  return IsOneOf(option, {"-i", "-sn", "-devid", "-report", "-depth", "-site", "-lat", "-long",
                          "-tz", "-w", "-padc", "-ports", "-trait", "-adc30", "-adc15", "-data"});
}

}  // namespace

int LoggerVersionNumber(std::string_view version) {
  const std::string text(version);
  int major = 0, minor = 0, third = 0;
  const int fields = std::sscanf(text.c_str(), "%d.%1d%1d", &major, &minor, &third);
  if (fields < 2) return -1;
  return major * 100 + minor * 10 + (fields >= 3 ? third : 0);
}

bool KnowsSetting(const LoggerFirmware& firmware, std::string_view option, bool set, int trait) {
  switch (firmware.model) {
    case LoggerModel::kQd40:
      return Qd40Knows(firmware, option, set, trait);
    case LoggerModel::kRq7:
      return Rq7Knows(option);
    case LoggerModel::kQd4:
      break;
  }
  return false;
}
