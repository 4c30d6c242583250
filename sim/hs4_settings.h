// The Hydrella 4's settings store: serial number, configuration number, user values, the
// temperature and humidity adjustments, the time constant, and two record sets, the users and
// the equations. An update reads them all before the firmware upload and writes them back
// afterwards, item by item and record by record.
//
// The configuration number is a decimal text that includes the sum of the serial number's
// character codes (the updater adjusts it when it gives an instrument a new serial number); the
// instrument only stores it. A "user" record is base64 of a tab-separated row whose fourth
// field is the user's name; an "eqn" record is text whose first word is the equation's name,
// with '_' for blanks and '`' for commas. The updater writes a record set back sorted by name,
// so the records of an instrument in use are kept in that order.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "sim/command_line.h"

struct Hs4Settings {
  static constexpr size_t kSerialSize = 15;
  static constexpr size_t kConfigSize = 64;
  static constexpr size_t kTextSize = 256;  // user values, adjustments, a record
  static constexpr size_t kMaxUsers = 25;
  static constexpr size_t kMaxEquations = 100;

  std::string serial;
  std::string config;  // decimal digits
  std::string pvuser;  // the user values
  std::string tadj;
  std::string hadj;
  long tau = 0;
  std::vector<std::string> users;
  std::vector<std::string> equations;

  // What new firmware or a reset leaves: no serial number, configuration 0, the neutral
  // adjustments, a time constant of 10 and no records.
  static Hs4Settings Factory();
  // An instrument in use: a value in every item, three users and three equations.
  static Hs4Settings InUse();

  // "get OPTION [N]": the answer text (an empty text is the bare prompt), or nothing when the
  // command is not the store's or is malformed. "get -user" is the count of the set, "get
  // -user N" record N, empty beyond the count.
  std::optional<std::string> Answer(const Command& command) const;
  // "set OPTION VALUE" and "set -user N TEXT": true when stored. A record goes at an index up
  // to the count (the count appends) while the set has room; false changes nothing.
  bool Set(const Command& command);
  // "reset -users", "reset -eqn": empties the set; false for any other option.
  bool Reset(const Command& command);

  // Every item under its key: serial, config, pvuser, tadj, hadj, tau, user, eqn (lists).
  nlohmann::json ToJson() const;
  // False with a reason when an item is missing or breaks its limits.
  static bool FromJson(const nlohmann::json& json, Hs4Settings* settings, std::string* error);

  bool operator==(const Hs4Settings&) const = default;
};
