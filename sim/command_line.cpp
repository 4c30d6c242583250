#include "sim/command_line.h"

#include <cctype>
#include <charconv>
#include <cstdio>

Command ParseCommand(std::string_view line) {
  Command command;
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  size_t blank = line.find(' ');
  command.verb = std::string(line.substr(0, blank));
  std::string_view rest = blank == std::string_view::npos ? "" : line.substr(blank + 1);
  if (!rest.empty() && rest.front() == '-') {
    blank = rest.find(' ');
    command.option = std::string(rest.substr(0, blank));
    rest = blank == std::string_view::npos ? "" : rest.substr(blank + 1);
  }
  command.value = std::string(rest);
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find(' ', start);
    if (end == std::string_view::npos) end = rest.size();
    if (end > start) command.words.emplace_back(rest.substr(start, end - start));
    start = end + 1;
  }
  return command;
}

std::string AnswerText(std::string_view text) {
  std::string answer = "\r";
  answer += text;
  answer += "\r>";
  return answer;
}

AccessCodeLogin::AccessCodeLogin(std::string_view typeWord) {
  std::string word;
  for (char c : typeWord)
    word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  required_ = word == "HLITE" || word == "H3B" || word == "HS4" || word == "PX3C" || word == "PRE";
}

bool AccessCodeLogin::Admits(const Command& command) const {
  if (!required_ || loggedIn_ || command.verb.empty()) return true;
  // What the updater asks before it logs in: the identification and the hardware revision.
  return command.verb == "get" && (command.option == "-ver" || command.option == "-hver") &&
         command.value.empty();
}

std::optional<std::string_view> AccessCodeLogin::Take(const Command& command) {
  if (!required_) return std::nullopt;
  if (command.verb == "login") {
    if (!command.option.empty() || command.value != kAccessCode) return kRefusal;
    loggedIn_ = true;
    return "OK";
  }
  if (command.verb == "logout" && command.option.empty()) {
    loggedIn_ = false;
    return "OK";
  }
  return std::nullopt;
}

void CommandLineReader::Clear() {
  line_.clear();
  overflow_ = false;
  inNoise_ = false;
}

CommandLineReader::Result CommandLineReader::Take(const UartByte& byte, double nowMs,
                                                  std::string* line) {
  if (byte.framingError || byte.value == 0 || byte.value >= 0x80) {
    line_.clear();
    overflow_ = false;
    const bool sameBurst = inNoise_ && nowMs - lastNoiseMs_ < kNoiseGapMs;
    inNoise_ = true;
    lastNoiseMs_ = nowMs;
    return sameBurst ? Result::kNothing : Result::kNoise;
  }
  inNoise_ = false;
  const char c = static_cast<char>(byte.value);
  if (c == '\r') {
    const bool tooLong = overflow_;
    *line = line_;
    line_.clear();
    overflow_ = false;
    return tooLong ? Result::kTooLong : Result::kLine;
  }
  if (c < 0x20 || c == 0x7F) return Result::kNothing;  // line feeds and other controls
  if (line_.size() < kMaxLine) {
    line_.push_back(c);
  } else {
    overflow_ = true;
  }
  return Result::kNothing;
}

bool ParseNumber(std::string_view text, long* value, int base) {
  const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return !text.empty() && code == std::errc() && end == text.data() + text.size();
}

std::string Hex(long value) {
  char text[16];
  std::snprintf(text, sizeof text, "%lX", value);
  return text;
}
