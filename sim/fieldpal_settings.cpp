#include "sim/fieldpal_settings.h"

FieldPalSettings FieldPalSettings::Factory() {
  FieldPalSettings settings;
  settings.name = "FieldPal";
  settings.contrast = 50;
  settings.adc15 = "1.0000 0.0000";
  settings.adc30 = "1.0000 0.0000";
  return settings;
}

FieldPalSettings FieldPalSettings::InUse() {
  FieldPalSettings settings;
  settings.name = "FP0042";
  settings.serial = "FP14-2291047";
  settings.contrast = 37;
  settings.adc15 = "0.9987 0.0012";
  settings.adc30 = "1.0021 -0.0008";
  settings.cal[0] = "pH 4.01 7.00 10.01 slope 0.9912";
  settings.cal[1] = "EC 1413 12880 cell 1.012";
  settings.cal[2] = "T offset -0.15";
  return settings;
}

nlohmann::json FieldPalSettings::ToJson() const {
  nlohmann::json json;
  json["name"] = name;
  json["serial"] = serial;
  json["contrast"] = contrast;
  json["adc15"] = adc15;
  json["adc30"] = adc30;
  json["cal"] = cal;
  return json;
}

namespace {

bool Text(const nlohmann::json& json, const char* key, size_t limit, std::string* value,
          std::string* error) {
  if (!json.contains(key) || !json[key].is_string() ||
      json[key].get_ref<const std::string&>().size() > limit) {
    *error = std::string("settings: \"") + key + "\" must be a text of at most " +
             std::to_string(limit) + " characters";
    return false;
  }
  *value = json[key].get<std::string>();
  return true;
}

}  // namespace

bool FieldPalSettings::FromJson(const nlohmann::json& json, FieldPalSettings* settings,
                                std::string* error) {
  FieldPalSettings read;
  if (!json.is_object()) {
    *error = "settings: expected an object";
    return false;
  }
  if (!Text(json, "name", kNameSize, &read.name, error) ||
      !Text(json, "serial", kSerialSize, &read.serial, error) ||
      !Text(json, "adc15", kTextSize, &read.adc15, error) ||
      !Text(json, "adc30", kTextSize, &read.adc30, error)) {
    return false;
  }
  if (!json.contains("contrast") || !json["contrast"].is_number_integer()) {
    *error = "settings: \"contrast\" must be a number";
    return false;
  }
  read.contrast = json["contrast"].get<long>();
  if (!json.contains("cal") || !json["cal"].is_array() || json["cal"].size() > kCalEntries) {
    *error = "settings: \"cal\" must be a list of at most 20 texts";
    return false;
  }
  for (size_t i = 0; i < json["cal"].size(); ++i) {
    const nlohmann::json& entry = json["cal"][i];
    if (!entry.is_string() || entry.get_ref<const std::string&>().size() > kTextSize) {
      *error = "settings: calibration entry " + std::to_string(i) + " is not a short text";
      return false;
    }
    read.cal[i] = entry.get<std::string>();
  }
  *settings = read;
  return true;
}
