#include "sim/faults.h"

#include <charconv>

bool FaultList::Add(std::string_view text, std::string* error) {
  Entry entry;
  const size_t equals = text.find('=');
  entry.name = std::string(text.substr(0, equals));
  if (entry.name.empty()) {
    *error = "a fault needs a name: --fault NAME or --fault NAME=N";
    return false;
  }
  if (equals != std::string_view::npos) {
    const std::string_view number = text.substr(equals + 1);
    const auto [end, code] =
        std::from_chars(number.data(), number.data() + number.size(), entry.value);
    if (number.empty() || code != std::errc() || end != number.data() + number.size()) {
      *error = "fault " + entry.name + ": \"" + std::string(number) + "\" is not a number";
      return false;
    }
    entry.hasValue = true;
  }
  entries_.push_back(entry);
  return true;
}

bool FaultList::TakeFlag(std::string_view name) {
  bool found = false;
  for (Entry& entry : entries_) {
    if (entry.name == name && !entry.hasValue) {
      entry.taken = true;
      found = true;
    }
  }
  return found;
}

bool FaultList::TakeCount(std::string_view name, uint32_t* value, std::string* error) {
  bool found = false;
  for (Entry& entry : entries_) {
    if (entry.name != name) continue;
    entry.taken = true;
    found = true;
    if (!entry.hasValue || entry.value == 0 || entry.value > UINT32_MAX) {
      *error = "fault " + entry.name + " needs a count: --fault " + entry.name + "=N (N >= 1)";
      return true;
    }
    *value = static_cast<uint32_t>(entry.value);
  }
  return found;
}

std::vector<std::string> FaultList::Untaken() const {
  std::vector<std::string> names;
  for (const Entry& entry : entries_) {
    if (!entry.taken) {
      names.push_back(entry.hasValue ? entry.name + "=" + std::to_string(entry.value) : entry.name);
    }
  }
  return names;
}
