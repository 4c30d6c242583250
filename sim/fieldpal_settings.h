// The FieldPal's own settings: the items an update saves before the firmware upload and writes
// back afterwards (name, serial number, display contrast, the two ADC calibrations and the
// calibration entries).
#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <string>

struct FieldPalSettings {
  static constexpr size_t kNameSize = 8;
  static constexpr size_t kSerialSize = 15;
  static constexpr size_t kTextSize = 256;
  static constexpr size_t kCalEntries = 20;

  std::string name;
  std::string serial;
  long contrast = 0;
  std::string adc15;
  std::string adc30;
  std::array<std::string, kCalEntries> cal;

  // What new firmware starts with: the settings a firmware upload leaves.
  static FieldPalSettings Factory();
  // A reader in use, with its own name, serial number and calibrations.
  static FieldPalSettings InUse();

  nlohmann::json ToJson() const;
  // False with a reason when an item is missing, of the wrong kind or too long.
  static bool FromJson(const nlohmann::json& json, FieldPalSettings* settings, std::string* error);

  bool operator==(const FieldPalSettings&) const = default;
};
