#include "sim/hs4_settings.h"

#include <cstdint>
#include <limits>

namespace {

// The texts, each under its own option.
struct TextItem {
  const char* option;
  const char* key;
  std::string Hs4Settings::*field;
  size_t maxSize;
  bool number;  // a decimal number of 1 to maxSize digits
};

const TextItem kTexts[] = {
    {"-sn", "serial", &Hs4Settings::serial, Hs4Settings::kSerialSize, false},
    {"-config", "config", &Hs4Settings::config, Hs4Settings::kConfigSize, true},
    {"-pvuser", "pvuser", &Hs4Settings::pvuser, Hs4Settings::kTextSize, false},
    {"-tadj", "tadj", &Hs4Settings::tadj, Hs4Settings::kTextSize, false},
    {"-hadj", "hadj", &Hs4Settings::hadj, Hs4Settings::kTextSize, false},
};

constexpr const char* kTauOption = "-tau";
constexpr long kTauMin = std::numeric_limits<int32_t>::min();
constexpr long kTauMax = std::numeric_limits<int32_t>::max();

// The record sets: "get -user", "get -user N", "set -user N TEXT", "reset -users".
struct RecordSet {
  const char* option;
  const char* resetOption;
  const char* key;
  std::vector<std::string> Hs4Settings::*records;
  size_t limit;
};

const RecordSet kRecordSets[] = {
    {"-user", "-users", "user", &Hs4Settings::users, Hs4Settings::kMaxUsers},
    {"-eqn", "-eqn", "eqn", &Hs4Settings::equations, Hs4Settings::kMaxEquations},
};

bool TextFits(const TextItem& item, const std::string& text) {
  if (text.size() > item.maxSize) return false;
  return !item.number ||
         (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos);
}

bool ReadIndex(const std::string& text, size_t* index) {
  long number = 0;
  if (!ParseNumber(text, &number) || number < 0) return false;
  *index = static_cast<size_t>(number);
  return true;
}

bool Fail(std::string* error, const std::string& key, const std::string& rule) {
  *error = "settings: \"" + key + "\" must be " + rule;
  return false;
}

}  // namespace

Hs4Settings Hs4Settings::Factory() {
  Hs4Settings settings;
  settings.config = "0";
  settings.tadj = "1.000 0.000";
  settings.hadj = "1.000 0.000";
  settings.tau = 10;
  return settings;
}

Hs4Settings Hs4Settings::InUse() {
  Hs4Settings settings;
  settings.serial = "HS4-2210318";
  settings.config = "104217";  // 103612 and the serial number's 605
  settings.pvuser = "12.5 0.98 3 1";
  settings.tadj = "1.002 -0.150";
  settings.hadj = "0.997 0.400";
  settings.tau = 30;
  // Rows "1\t20\t3\tAlice\t0.5\t1.2", "2\t21\t3\tBruno\t0.7\t1.1", "3\t22\t1\tCarmen\t0.4\t1.3",
  // in the order of their names.
  settings.users = {"MQkyMAkzCUFsaWNlCTAuNQkxLjI=", "MgkyMQkzCUJydW5vCTAuNwkxLjE=",
                    "MwkyMgkxCUNhcm1lbgkwLjQJMS4z"};
  // "Depth cm", "Flow,lps" and "Salinity", in that order.
  settings.equations = {"Depth_cm 0.1*x+0", "Flow`lps 2.5*x^1.5", "Salinity 0.64*x-0.2"};
  return settings;
}

std::optional<std::string> Hs4Settings::Answer(const Command& command) const {
  const std::string& option = command.option;
  for (const TextItem& item : kTexts) {
    if (option == item.option) {
      if (!command.value.empty()) return std::nullopt;
      return this->*item.field;
    }
  }
  if (option == kTauOption) {
    if (!command.value.empty()) return std::nullopt;
    return std::to_string(tau);
  }
  for (const RecordSet& set : kRecordSets) {
    if (option != set.option) continue;
    const std::vector<std::string>& records = this->*set.records;
    if (command.words.empty()) return std::to_string(records.size());
    size_t index = 0;
    if (command.words.size() != 1 || !ReadIndex(command.words[0], &index)) return std::nullopt;
    return index < records.size() ? records[index] : std::string();
  }
  return std::nullopt;
}

bool Hs4Settings::Set(const Command& command) {
  const std::string& option = command.option;
  const std::string& value = command.value;
  for (const TextItem& item : kTexts) {
    if (option != item.option) continue;
    if (!TextFits(item, value)) return false;
    this->*item.field = value;
    return true;
  }
  if (option == kTauOption) {
    long number = 0;
    if (!ParseNumber(value, &number) || number < kTauMin || number > kTauMax) return false;
    tau = number;
    return true;
  }
  for (const RecordSet& set : kRecordSets) {
    if (option != set.option) continue;
    std::vector<std::string>& records = this->*set.records;
    size_t index = 0;
    const size_t blank = value.find(' ');
    if (command.words.size() < 2 || !ReadIndex(command.words[0], &index)) return false;
    const std::string text = value.substr(blank + 1);
    if (text.size() > kTextSize || index > records.size()) return false;
    if (index == records.size()) {
      if (records.size() >= set.limit) return false;
      records.push_back(text);
    } else {
      records[index] = text;
    }
    return true;
  }
  return false;
}

bool Hs4Settings::Reset(const Command& command) {
  for (const RecordSet& set : kRecordSets) {
    if (command.option == set.resetOption && command.value.empty()) {
      (this->*set.records).clear();
      return true;
    }
  }
  return false;
}

nlohmann::json Hs4Settings::ToJson() const {
  nlohmann::json json;
  for (const TextItem& item : kTexts) json[item.key] = this->*item.field;
  json["tau"] = tau;
  for (const RecordSet& set : kRecordSets) json[set.key] = this->*set.records;
  return json;
}

bool Hs4Settings::FromJson(const nlohmann::json& json, Hs4Settings* settings, std::string* error) {
  if (!json.is_object()) {
    *error = "settings: expected an object";
    return false;
  }
  Hs4Settings read;
  for (const TextItem& item : kTexts) {
    const auto it = json.find(item.key);
    if (it == json.end() || !it->is_string() || !TextFits(item, it->get<std::string>())) {
      return Fail(error, item.key,
                  std::string(item.number ? "a decimal number" : "a text") + " of at most " +
                      std::to_string(item.maxSize) + " characters");
    }
    read.*item.field = it->get<std::string>();
  }
  const auto tau = json.find("tau");
  if (tau == json.end() || !tau->is_number_integer() || tau->get<int64_t>() < kTauMin ||
      tau->get<int64_t>() > kTauMax) {
    return Fail(error, "tau", "a 32-bit number");
  }
  read.tau = tau->get<long>();
  for (const RecordSet& set : kRecordSets) {
    const auto it = json.find(set.key);
    if (it == json.end() || !it->is_array() || it->size() > set.limit) {
      return Fail(error, set.key, "a list of at most " + std::to_string(set.limit) + " records");
    }
    for (const nlohmann::json& record : *it) {
      if (!record.is_string() || record.get_ref<const std::string&>().empty() ||
          record.get_ref<const std::string&>().size() > kTextSize) {
        return Fail(error, set.key, "a list of texts of 1 to 256 characters");
      }
      (read.*set.records).push_back(record.get<std::string>());
    }
  }
  *settings = read;
  return true;
}
