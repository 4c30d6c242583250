#include "sim/logger.h"

#include <charconv>
#include <cstdio>

namespace {

constexpr uint32_t kCommandLineBaud = 9600;
constexpr int kStateFormat = 1;
}  // namespace

Logger::Logger(LoggerConfig config) : config_(std::move(config)) {
  if (config_.behindRadio) radio_ = config_.awake ? Radio::kListening : Radio::kAsleep;
}

bool Logger::IdleAtFastRate() const {
  if (commandBaud_ == kCommandLineBaud) return false;
  const double idle = std::chrono::duration<double, std::milli>(Clock::now() - lastByte_).count();
  return idle > config_.idleMs;
}

uint32_t Logger::Baud() const {
  return IdleAtFastRate() ? kCommandLineBaud : commandBaud_;
}

std::string Logger::StateName() const {
  switch (radio_) {
    case Radio::kAsleep:
      return "asleep";
    case Radio::kListening:
      return "listening";
    case Radio::kLoggedIn:
      break;
  }
  return "firmware";
}

void Logger::Receive(const UartByte& byte, InstrumentIo& io) {
  if (IdleAtFastRate()) {
    commandBaud_ = kCommandLineBaud;  // the server already heard this byte at 9600
    ++idleReturns_;
  }
  lastByte_ = Clock::now();
  if (radio_ == Radio::kAsleep) {
    // Asleep, the radio wakes for a moment now and then and hears only the wake packets.
    if (!byte.framingError && byte.value == '\r' && ++wakeCount_ >= config_.wakePackets) {
      radio_ = Radio::kListening;
      ++wakes_;
      reader_.Clear();
    }
    return;
  }
  std::string line;
  switch (reader_.Take(byte, io.NowMs(), &line)) {
    case CommandLineReader::Result::kNothing:
      return;
    case CommandLineReader::Result::kNoise:
    case CommandLineReader::Result::kTooLong:
      if (radio_ == Radio::kLoggedIn) Refuse(io);
      return;
    case CommandLineReader::Result::kLine:
      RunCommand(line, io);
      return;
  }
}

void Logger::Say(InstrumentIo& io, std::string_view text) {
  io.Reply(AnswerText(text), DeviceWork::kAnswer, config_.answerMs);
}

void Logger::Refuse(InstrumentIo& io) {
  ++refusals_;
  Say(io, kRefusal);
}

bool Logger::RadioLogin(const Command& command, InstrumentIo& io) {
  if (command.verb == "query" && command.option.empty() && command.value.empty()) {
    ++queries_;
    io.Reply(config_.name + "\r", DeviceWork::kAnswer, config_.answerMs);
    return true;
  }
  if (command.verb == "login") {
    if (command.option.empty() && command.value == config_.name) {
      ++logins_;
      radio_ = Radio::kLoggedIn;
      Say(io, "OK");
    }
    return true;  // a login for another instrument is none of its business
  }
  return radio_ == Radio::kListening;  // listening but not logged in: everything else is ignored
}

void Logger::RunCommand(const std::string& line, InstrumentIo& io) {
  const Command command = ParseCommand(line);
  if (config_.behindRadio && RadioLogin(command, io)) return;
  if (command.verb.empty()) {
    io.Reply("\r>", DeviceWork::kAnswer, config_.answerMs);
    return;
  }
  ++commands_;
  const std::string& verb = command.verb;
  if (verb == "get") {
    Get(command, io);
  } else if (verb == "set") {
    Set(command, io);
  } else if (verb == "show" && command.option.empty() && config_.oldFirmware) {
    Say(io, ShowText());
  } else if (verb == "query" && command.option.empty()) {
    io.Reply(config_.name + "\r", DeviceWork::kAnswer, config_.answerMs);
  } else if (verb == "login") {
    Say(io, "OK");
  } else if (verb == "logout" && command.option.empty()) {
    if (config_.behindRadio) {
      // Over the radio the logger simply drops off the air and goes back to sleep.
      radio_ = Radio::kAsleep;
      wakeCount_ = 0;
    } else {
      Say(io, "OK");
    }
  } else {
    Refuse(io);
  }
}

std::string Logger::ShowText() const {
  return "ID: " + config_.name + "\rVersion: " + config_.version +
         "\rRadio: " + std::to_string(config_.radioMode) +
         "\rWake: " + std::to_string(config_.wakeInterval) +
         "\rResets: " + std::to_string(config_.resets);
}

void Logger::Get(const Command& command, InstrumentIo& io) {
  const std::string& option = command.option;
  if (!command.value.empty()) {
    Refuse(io);
  } else if (option == "-ver" && !config_.oldFirmware) {
    Say(io, config_.typeWord + " " + config_.version);
  } else if (option == "-i") {
    Say(io, config_.name);
  } else if ((option == "-rch" || option == "-rsch" || option == "-rver") && !config_.oldFirmware) {
    if (!config_.hasRadio) {
      Say(io, "No Radio");
    } else if (option == "-rch") {
      Say(io, "OK\r" + Hex(config_.radioChannel));
    } else if (option == "-rsch") {
      Say(io, "OK\r" + Hex(config_.radioSubChannel));
    } else {
      Say(io, "OK\r" + config_.radioVersion);
    }
  } else {
    Refuse(io);
  }
}

void Logger::Set(const Command& command, InstrumentIo& io) {
  const std::string& option = command.option;
  long number = 0;
  if (option == "-i" && command.words.size() == 1 && command.value.size() <= 8) {
    config_.name = command.value;
  } else if (config_.oldFirmware) {
    Refuse(io);  // the oldest firmware's settings are beyond these virtual loggers
    return;
  } else if (option == "-baud" && ParseNumber(command.value, &number) && number >= 0 &&
             number < static_cast<long>(std::size(kBaudCodes))) {
    // The OK leaves at the old rate; the next command is heard at the new one.
    Say(io, "OK");
    if (commandBaud_ != kBaudCodes[number]) ++baudChanges_;
    commandBaud_ = kBaudCodes[number];
    return;
  } else if (option == "-rch" && config_.hasRadio && ParseNumber(command.value, &number, 16) &&
             number >= 0 && number <= 6) {
    config_.radioChannel = static_cast<int>(number);
  } else if (option == "-rsch" && config_.hasRadio && ParseNumber(command.value, &number, 16) &&
             number >= 0 && number <= 0xFFFF) {
    config_.radioSubChannel = static_cast<int>(number);
  } else if ((option == "-rch" || option == "-rsch") && !config_.hasRadio) {
    Say(io, "No Radio");
    return;
  } else {
    Refuse(io);
    return;
  }
  Say(io, "OK");
}

nlohmann::json Logger::SaveState() const {
  nlohmann::json state;
  state["family"] = "logger";
  state["format"] = kStateFormat;
  state["name"] = config_.name;
  state["radio_channel"] = config_.radioChannel;
  state["radio_subchannel"] = config_.radioSubChannel;
  return state;
}

bool Logger::LoadState(const nlohmann::json& state, std::string* error) {
  if (!state.is_object() || state.value("family", "") != "logger" ||
      state.value("format", 0) != kStateFormat || !state.contains("name") ||
      !state["name"].is_string() || !state.contains("radio_channel") ||
      !state["radio_channel"].is_number_integer() || !state.contains("radio_subchannel") ||
      !state["radio_subchannel"].is_number_integer()) {
    *error = "not the state of a logger";
    return false;
  }
  config_.name = state["name"].get<std::string>();
  config_.radioChannel = state["radio_channel"].get<int>();
  config_.radioSubChannel = state["radio_subchannel"].get<int>();
  return true;
}

void Logger::AddStats(nlohmann::json& stats) const {
  stats["commands"] = commands_;
  stats["refusals"] = refusals_;
  stats["baud_changes"] = baudChanges_;
  stats["idle_returns"] = idleReturns_;
  stats["wakes"] = wakes_;
  stats["queries"] = queries_;
  stats["logins"] = logins_;
  stats["baud"] = Baud();
  stats["state"] = StateName();
}

bool Logger::DumpFlash(const std::string&, std::string* error) const {
  *error = "the loggers have no flash model";
  return false;
}
