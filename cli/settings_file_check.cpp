#include "cli/settings_file_check.h"

#include <map>
#include <set>
#include <string_view>

#include "session/settings_file.h"

namespace {

// What a restore would lose of `value`, held as `held` (none: not held at all); empty when
// nothing. A number written in another form ("+45.1" held as "+45.10000") loses nothing.
std::string Loss(std::string_view value, const std::string* held) {
  const std::string length = std::to_string(value.size()) + " characters";
  if (value.find('\0') != std::string_view::npos) return length + " with a NUL byte among them";
  if (!held || held->empty()) return length + ", none of which would be written";
  if (held->size() < value.size() && value.substr(0, held->size()) == *held) {
    return length + ", only the first " + std::to_string(held->size()) + " would be written";
  }
  return "";
}

}  // namespace

std::vector<std::string> ValuesNotHeldWhole(SessionContext* session, const std::string& text) {
  std::map<std::string, std::string> held;
  ForEachSettingsLine(session, [&held](const char* key, const char* value) {
    held.emplace(key, value);
    return true;
  });
  std::vector<std::string> differing;
  std::set<std::string> seen;  // the reader takes the first line of a key
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t equals = line.find('=');
    const size_t open = line.find('"', equals);
    if (equals == std::string_view::npos || open == std::string_view::npos) continue;
    std::string_view key = line.substr(0, equals);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    std::string_view value = line.substr(open + 1);
    const size_t close = value.find('"');
    if (close != std::string_view::npos) value = value.substr(0, close);
    if (key.empty() || key == "type" || !seen.emplace(key).second || value.empty()) continue;
    const auto found = held.find(std::string(key));
    const std::string* kept = found == held.end() ? nullptr : &found->second;
    const std::string loss = Loss(value, kept);
    if (!loss.empty()) differing.push_back(std::string(key) + ": " + loss);
  }
  return differing;
}
