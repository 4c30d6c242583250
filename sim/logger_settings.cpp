#include "sim/logger_settings.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

using Bytes = std::array<uint8_t, 5>;

// Texts: the name and identifiers, the site, the build and the network modem's settings.
struct TextItem {
  const char* option;
  const char* key;
  std::string LoggerSettings::*field;
  size_t minSize;
  size_t maxSize;
  bool blanks;  // the whole rest of the line, blanks included
};

const TextItem kTexts[] = {
    {"-i", "name", &LoggerSettings::name, 1, 8, false},
    {"-devid", "device_id", &LoggerSettings::deviceId, 0, 8, false},
    {"-site", "site", &LoggerSettings::site, 0, 25, true},
    {"-sn", "serial_number", &LoggerSettings::serialNumber, 0, 15, true},
    {"-build", "build", &LoggerSettings::build, 0, 16, true},
    {"-apn", "apn", &LoggerSettings::apn, 0, 35, false},
    {"-user", "apn_user", &LoggerSettings::apnUser, 0, 35, false},
    {"-passwd", "apn_password", &LoggerSettings::apnPassword, 0, 35, false},
    {"-host", "remote_host", &LoggerSettings::remoteHost, 0, 63, false},
};

struct NumberItem {
  const char* option;
  const char* key;
  int32_t LoggerSettings::*field;
  int64_t min;
  int64_t max;
};

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

const NumberItem kNumbers[] = {
    {"-report", "report_mode", &LoggerSettings::reportMode, kInt32Min, kInt32Max},
    {"-tz", "time_zone", &LoggerSettings::timeZone, -48, 56},
    {"-w", "wake_interval", &LoggerSettings::wakeInterval, 0, 86400},
    {"-padc", "padc", &LoggerSettings::padc, 0, 1000000},
    {"-data", "data_parameter", &LoggerSettings::dataParameter, kInt32Min, kInt32Max},
    {"-ipport", "ip_port", &LoggerSettings::ipPort, 0, 65535},
    {"-r", "radio_mode", &LoggerSettings::radioMode, 0, 255},
};

// Five bytes, one per sensor port.
struct BytesItem {
  const char* option;
  const char* key;
  Bytes LoggerSettings::*field;
};

const BytesItem kBytes[] = {
    {"-depth", "depths", &LoggerSettings::depths},
    {"-ports", "ports", &LoggerSettings::ports},
};

struct PositionItem {
  const char* option;
  const char* key;
  std::optional<double> LoggerSettings::*field;
  double limit;  // degrees either way
};

const PositionItem kPositions[] = {
    {"-lat", "latitude", &LoggerSettings::latitude, 90},
    {"-long", "longitude", &LoggerSettings::longitude, 180},
};

struct AdcItem {
  const char* option;
  const char* slopesKey;
  const char* offsetsKey;
  AdcCalibration LoggerSettings::*field;
};

const AdcItem kAdcs[] = {
    {"-adc30", "adc30_slopes", "adc30_offsets", &LoggerSettings::adc30},
    {"-adc15", "adc15_slopes", "adc15_offsets", &LoggerSettings::adc15},
};

constexpr size_t kAuthKeyDigits = 32;

template <typename Item, size_t N>
const Item* Find(const Item (&items)[N], std::string_view option) {
  for (const Item& item : items) {
    if (option == item.option) return &item;
  }
  return nullptr;
}

bool TextFits(const TextItem& item, std::string_view text) {
  return text.size() >= item.minSize && text.size() <= item.maxSize &&
         (item.blanks || text.find(' ') == std::string_view::npos);
}

bool IsAuthKey(std::string_view text) {
  if (text.size() != kAuthKeyDigits) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool ReadByte(std::string_view text, uint8_t* value) {
  long number = 0;
  if (!ParseNumber(text, &number) || number < 0 || number > 255) return false;
  *value = static_cast<uint8_t>(number);
  return true;
}

std::string JoinBytes(const Bytes& bytes) {
  std::string text;
  for (uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += std::to_string(byte);
  }
  return text;
}

// "s0 o0 s1 o1 ... s4 o4 C", C the sum of the ten modulo 256.
std::string AdcText(const AdcCalibration& adc) {
  std::string text;
  unsigned sum = 0;
  for (size_t i = 0; i < adc.slopes.size(); ++i) {
    text += std::to_string(adc.slopes[i]) + ' ' + std::to_string(adc.offsets[i]) + ' ';
    sum += adc.slopes[i] + adc.offsets[i];
  }
  return text + std::to_string(sum % 256);
}

bool ReadAdc(const std::vector<std::string>& words, AdcCalibration* adc) {
  if (words.size() != 11) return false;
  AdcCalibration read;
  unsigned sum = 0;
  for (size_t i = 0; i < read.slopes.size(); ++i) {
    if (!ReadByte(words[2 * i], &read.slopes[i]) || !ReadByte(words[2 * i + 1], &read.offsets[i])) {
      return false;
    }
    sum += read.slopes[i] + read.offsets[i];
  }
  uint8_t check = 0;
  if (!ReadByte(words[10], &check) || check != sum % 256) return false;
  *adc = read;
  return true;
}

std::string PositionText(double degrees) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.5f", degrees);
  return text;
}

// A plain decimal ("+45.12345", "-122.5", "45"), kept to the five decimals the firmware answers
// with, so that what is read back and written again is the same position.
bool ReadPosition(const std::string& text, double limit, double* degrees) {
  if (text.empty() || text.find_first_not_of("+-.0123456789") != std::string::npos) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value) || std::fabs(value) > limit) {
    return false;
  }
  *degrees = std::strtod(PositionText(value).c_str(), nullptr);
  return true;
}

// JSON reading: each item present, of its kind and within its rules.
bool Fail(std::string* error, const std::string& key, const std::string& rule) {
  *error = "settings: \"" + key + "\" must be " + rule;
  return false;
}

bool JsonBytes(const nlohmann::json& json, const char* key, Bytes* bytes, std::string* error) {
  const auto it = json.find(key);
  if (it == json.end() || !it->is_array() || it->size() != bytes->size()) {
    return Fail(error, key, "a list of 5 numbers 0 to 255");
  }
  for (size_t i = 0; i < bytes->size(); ++i) {
    const nlohmann::json& entry = (*it)[i];
    if (!entry.is_number_integer() || entry.get<int64_t>() < 0 || entry.get<int64_t>() > 255) {
      return Fail(error, key, "a list of 5 numbers 0 to 255");
    }
    (*bytes)[i] = entry.get<uint8_t>();
  }
  return true;
}

bool JsonNumber(const nlohmann::json& json, const char* key, int64_t min, int64_t max,
                int64_t* value, std::string* error) {
  const auto it = json.find(key);
  if (it == json.end() || !it->is_number_integer() || it->get<int64_t>() < min ||
      it->get<int64_t>() > max) {
    return Fail(error, key, "a number " + std::to_string(min) + " to " + std::to_string(max));
  }
  *value = it->get<int64_t>();
  return true;
}

}  // namespace

LoggerSettings LoggerSettings::InUse() {
  LoggerSettings settings;
  settings.name = "LOGGER1";
  settings.deviceId = "D0012345";
  settings.reportMode = 2;
  settings.depths = {10, 20, 30, 40, 50};
  settings.site = "North Creek weir";
  settings.latitude = 45.12345;
  settings.longitude = -122.54321;
  settings.timeZone = -32;
  settings.serialNumber = "Q40-0012345";
  settings.wakeInterval = 60;
  settings.padc = 2000;
  settings.ports = {1, 2, 3, 0, 0};
  settings.SetTrait(9);  // a radio and the network modem
  settings.adc30 = {{120, 121, 122, 123, 124}, {3, 4, 5, 6, 7}};
  settings.adc15 = {{130, 131, 132, 133, 134}, {9, 10, 11, 12, 13}};
  settings.dataParameter = 1;
  settings.build = "B1234-5";
  settings.apn = "internet.example";
  settings.apnUser = "vexa";
  settings.apnPassword = "s3cret";
  settings.authKey = "00112233445566778899AABBCCDDEEFF";
  settings.remoteHost = "data.example.com";
  settings.ipPort = 5000;
  settings.radioMode = 1;
  return settings;
}

LoggerSettings LoggerSettings::Factory(int trait, const std::string& serialNumber) {
  LoggerSettings settings;
  settings.name = "LOGGER";
  settings.serialNumber = serialNumber;
  settings.wakeInterval = 60;
  settings.padc = 2000;
  settings.SetTrait(trait);
  settings.adc30.slopes = {128, 128, 128, 128, 128};
  settings.adc15.slopes = {128, 128, 128, 128, 128};
  return settings;
}

std::optional<std::string> LoggerSettings::Answer(std::string_view option) const {
  if (const TextItem* item = Find(kTexts, option)) return this->*item->field;
  if (const NumberItem* item = Find(kNumbers, option)) return std::to_string(this->*item->field);
  if (const BytesItem* item = Find(kBytes, option)) return JoinBytes(this->*item->field);
  if (const PositionItem* item = Find(kPositions, option)) {
    const std::optional<double>& degrees = this->*item->field;
    return degrees ? PositionText(*degrees) : std::string();
  }
  if (const AdcItem* item = Find(kAdcs, option)) return AdcText(this->*item->field);
  if (option == "-trait") return std::to_string(storedTrait);
  if (option == "-authkey" || option == "-teakey") return authKey;
  return std::nullopt;
}

LoggerSettings::SetResult LoggerSettings::Set(const Command& command) {
  const std::string_view option = command.option;
  const std::string& value = command.value;
  if (const TextItem* text = Find(kTexts, option)) {
    if (!TextFits(*text, value)) return SetResult::kRefused;
    this->*text->field = value;
    return SetResult::kStored;
  }
  if (const NumberItem* item = Find(kNumbers, option)) {
    long number = 0;
    if (!ParseNumber(value, &number) || number < item->min || number > item->max) {
      return SetResult::kRefused;
    }
    this->*item->field = static_cast<int32_t>(number);
    return SetResult::kStored;
  }
  if (const BytesItem* list = Find(kBytes, option)) {
    Bytes bytes = {};
    if (command.words.size() != bytes.size()) return SetResult::kRefused;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (!ReadByte(command.words[i], &bytes[i])) return SetResult::kRefused;
    }
    this->*list->field = bytes;
    return SetResult::kStored;
  }
  if (const PositionItem* position = Find(kPositions, option)) {
    // "set -lat" with no value clears the position.
    double degrees = 0;
    if (value.empty()) {
      (this->*position->field).reset();
    } else if (ReadPosition(value, position->limit, &degrees)) {
      this->*position->field = degrees;
    } else {
      return SetResult::kRefused;
    }
    return SetResult::kStored;
  }
  if (const AdcItem* adc = Find(kAdcs, option)) {
    return ReadAdc(command.words, &(this->*adc->field)) ? SetResult::kStored : SetResult::kRefused;
  }
  if (option == "-trait") {
    // The updater sends the trait inverted already.
    return ReadByte(value, &storedTrait) ? SetResult::kStored : SetResult::kRefused;
  }
  if (option == "-authkey") {
    if (!IsAuthKey(value)) return SetResult::kRefused;
    authKey = value;
    return SetResult::kStored;
  }
  return SetResult::kUnknown;
}

nlohmann::json LoggerSettings::ToJson() const {
  nlohmann::json json;
  for (const TextItem& item : kTexts) json[item.key] = this->*item.field;
  for (const NumberItem& item : kNumbers) json[item.key] = this->*item.field;
  for (const BytesItem& item : kBytes) json[item.key] = this->*item.field;
  for (const PositionItem& item : kPositions) {
    const std::optional<double>& degrees = this->*item.field;
    json[item.key] = degrees ? nlohmann::json(*degrees) : nlohmann::json(nullptr);
  }
  for (const AdcItem& item : kAdcs) {
    json[item.slopesKey] = (this->*item.field).slopes;
    json[item.offsetsKey] = (this->*item.field).offsets;
  }
  json["trait"] = Trait();
  json["auth_key"] = authKey;
  return json;
}

bool LoggerSettings::FromJson(const nlohmann::json& json, LoggerSettings* settings,
                              std::string* error) {
  if (!json.is_object()) {
    *error = "settings: expected an object";
    return false;
  }
  LoggerSettings read;
  for (const TextItem& item : kTexts) {
    const auto it = json.find(item.key);
    if (it == json.end() || !it->is_string() ||
        !TextFits(item, it->get_ref<const std::string&>())) {
      return Fail(error, item.key,
                  "a text of " + std::to_string(item.minSize) + " to " +
                      std::to_string(item.maxSize) + " characters" +
                      (item.blanks ? "" : " without blanks"));
    }
    read.*item.field = it->get<std::string>();
  }
  int64_t number = 0;
  for (const NumberItem& item : kNumbers) {
    if (!JsonNumber(json, item.key, item.min, item.max, &number, error)) return false;
    read.*item.field = static_cast<int32_t>(number);
  }
  for (const BytesItem& item : kBytes) {
    if (!JsonBytes(json, item.key, &(read.*item.field), error)) return false;
  }
  for (const PositionItem& item : kPositions) {
    const auto it = json.find(item.key);
    if (it == json.end() ||
        !(it->is_null() || (it->is_number() && std::fabs(it->get<double>()) <= item.limit))) {
      return Fail(error, item.key,
                  "null or a number of degrees up to " + PositionText(item.limit) + " either way");
    }
    read.*item.field = it->is_null() ? std::nullopt : std::optional<double>(it->get<double>());
  }
  for (const AdcItem& item : kAdcs) {
    if (!JsonBytes(json, item.slopesKey, &(read.*item.field).slopes, error) ||
        !JsonBytes(json, item.offsetsKey, &(read.*item.field).offsets, error)) {
      return false;
    }
  }
  if (!JsonNumber(json, "trait", 0, 255, &number, error)) return false;
  read.SetTrait(static_cast<int>(number));
  const auto key = json.find("auth_key");
  if (key == json.end() || !key->is_string() ||
      !(key->get_ref<const std::string&>().empty() || IsAuthKey(key->get<std::string>()))) {
    return Fail(error, "auth_key", "empty or 32 hexadecimal digits");
  }
  read.authKey = key->get<std::string>();
  *settings = read;
  return true;
}
