// The settings a data logger keeps behind its command line: its name and identifiers, site and
// position, time zone, measurement interval, sensor ports and depths, ADC calibrations, the
// network modem's settings and its radio mode. An update reads them all before the firmware
// upload and writes them back afterwards, so each keeps the limits of the firmware that stores
// it: a set that breaks them is refused and changes nothing.
//
// The trait is kept as the firmware keeps it, with its low byte inverted (255 - T): "get -trait"
// answers the stored byte and "set -trait N" stores N as it comes; Trait() is T as the updater
// sees it.
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "sim/command_line.h"

// Five slopes and five offsets of one ADC range; "get -adc30" lists them as pairs with a check
// value, the sum of the ten modulo 256.
struct AdcCalibration {
  std::array<uint8_t, 5> slopes = {};
  std::array<uint8_t, 5> offsets = {};
  bool operator==(const AdcCalibration&) const = default;
};

struct LoggerSettings {
  std::string name;
  std::string deviceId;
  int32_t reportMode = 0;
  std::array<uint8_t, 5> depths = {};
  std::string site;
  std::optional<double> latitude;  // empty: the position was cleared
  std::optional<double> longitude;
  int32_t timeZone = 0;  // quarter hours
  std::string serialNumber;
  int32_t wakeInterval = 0;  // the measurement interval in seconds
  int32_t padc = 0;          // hertz
  std::array<uint8_t, 5> ports = {};
  uint8_t storedTrait = 255;  // 255 - T
  AdcCalibration adc30;
  AdcCalibration adc15;
  int32_t dataParameter = 0;
  std::string build;
  std::string apn;
  std::string apnUser;
  std::string apnPassword;
  std::string authKey;  // 32 hexadecimal digits or empty
  std::string remoteHost;
  int32_t ipPort = 0;
  int32_t radioMode = 0;

  // A logger in use, with a value in every item.
  static LoggerSettings InUse();
  // What a reset to factory settings leaves: the name "LOGGER", a 60 s interval at 2000 Hz,
  // neutral ADC calibrations (slope 128, offset 0) and every other item cleared. The trait and
  // the serial number are the caller's: they tell which hardware the logger is, which no reset
  // changes (an updater never writes back the serial number of a logger with a device ID).
  static LoggerSettings Factory(int trait, const std::string& serialNumber);

  int Trait() const { return 255 - storedTrait; }
  void SetTrait(int trait) { storedTrait = static_cast<uint8_t>(255 - trait); }

  // The answer text of "get OPTION" ("-i", "-depth", "-teakey", ...); nothing for an option
  // that is not a stored setting. An empty value is an empty text (the bare prompt).
  std::optional<std::string> Answer(std::string_view option) const;

  enum class SetResult { kStored, kRefused, kUnknown };
  // "set OPTION VALUE": kStored when the value keeps the item's rules, kRefused (nothing
  // changed) when it breaks them, kUnknown for an option that is not a stored setting.
  SetResult Set(const Command& command);

  // Every item under its snake_case key (the trait as T, a cleared position as null).
  nlohmann::json ToJson() const;
  // False with a reason when an item is missing or breaks its rules.
  static bool FromJson(const nlohmann::json& json, LoggerSettings* settings, std::string* error);

  bool operator==(const LoggerSettings&) const = default;
};
