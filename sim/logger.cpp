#include "sim/logger.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr uint32_t kCommandLineBaud = 9600;
// Format 2 keeps every setting and the clock; format 1 (the name and the radio's channels)
// is still read.
constexpr int kStateFormat = 2;
constexpr int kFirstStateFormat = 1;
constexpr int kOldestWithHertz = 165;  // the oldest firmware's "hertz" and "set -p"
// The wake-up of a power cut's end; the modem's guard-time wake-ups count up from 1.
constexpr int kPowerBack = -1;

const char* ModelName(LoggerModel model) {
  switch (model) {
    case LoggerModel::kQd40:
      return "qd40";
    case LoggerModel::kRq7:
      return "rq7";
    case LoggerModel::kQd4:
      break;
  }
  return "qd4";
}

}  // namespace

void LoggerConfig::TakeFaults(FaultList& faults) {
  dataFlashFail = faults.TakeFlag("dataflash-fail") || dataFlashFail;
}

Logger::Logger(LoggerConfig config)
    : config_(std::move(config)),
      firmware_{config_.model, LoggerVersionNumber(config_.version), config_.teaKey},
      settings_(config_.settings),
      modem_(config_.modem),
      login_(config_.typeWord) {
  if (config_.behindRadio) radio_ = config_.awake ? Radio::kListening : Radio::kAsleep;
  ResetToFactoryIfAsked();
}

void Logger::ResetToFactoryIfAsked() {
  if (config_.factoryReset)
    settings_ = LoggerSettings::Factory(settings_.Trait(), settings_.serialNumber);
}

void Logger::CutPower(InstrumentIo& io) {
  if (poweredOff_) return;
  ++powerLosses_;
  poweredOff_ = true;
  if (config_.powerOffMs > 0) io.WakeAfter(DeviceWork::kPoweredOff, config_.powerOffMs, kPowerBack);
}

void Logger::Wake(int token, InstrumentIo& io) {
  if (token != kPowerBack) {
    if (!poweredOff_) modem_.Wake(token, io);
    return;
  }
  // Powered up again: the command line at 9600 baud with the settings it keeps; a pass-through
  // or a half-typed line did not survive.
  poweredOff_ = false;
  commandBaud_ = kCommandLineBaud;
  passThrough_ = false;
  reader_.Clear();
  login_.Forget();
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
  if (poweredOff_) return "off";
  if (passThrough_) return modem_.InCommandMode() ? "modem-command" : "pass-through";
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
  if (poweredOff_) return;
  if (IdleAtFastRate()) {
    commandBaud_ = kCommandLineBaud;  // the server already heard this byte at 9600
    ++idleReturns_;
  }
  lastByte_ = Clock::now();
  if (passThrough_) {
    PassThrough(byte, io);
    return;
  }
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
    io.Reply(settings_.name + "\r", DeviceWork::kAnswer, config_.answerMs);
    return true;
  }
  if (command.verb == "login") {
    if (command.option.empty() && command.value == settings_.name) {
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
  const bool bare = command.option.empty() && command.value.empty();
  if ((verb == "get" || verb == "set") && command.option == "-r") ++rmodeCommands_;
  if (const std::optional<std::string_view> answer = login_.Take(command)) {
    if (*answer == kRefusal) ++refusals_;
    Say(io, *answer);
  } else if (!login_.Admits(command)) {
    Refuse(io);  // --type-word of a family that needs a login, not logged in
  } else if (verb == "query" && command.option.empty()) {
    io.Reply(settings_.name + "\r", DeviceWork::kAnswer, config_.answerMs);
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
  } else if (verb == "time" && bare) {
    Say(io, "Date\\Time: " + clock_.Text());
  } else if (verb == "yes" && bare) {
    EraseData(io);
  } else if (Oldest()) {
    OldestCommand(command, io);
  } else if (verb == "get") {
    Get(command, io);
  } else if (verb == "set") {
    Set(command, io);
  } else {
    Refuse(io);
  }
}

void Logger::StartPassThrough(InstrumentIo& io) {
  if (!config_.hasRadio) {
    Say(io, "No Radio");
    return;
  }
  // Nothing is answered: from now on the modem answers.
  ++passThroughs_;
  passThrough_ = true;
  termReader_.Clear();
  termLineBytes_ = 0;
}

void Logger::PassThrough(const UartByte& byte, InstrumentIo& io) {
  std::vector<UartByte> air;
  modem_.Receive(byte, io,
                 ModemValues{config_.radioChannel, config_.radioSubChannel, config_.radioVersion},
                 &air);
  if (modem_.InCommandMode()) {
    // The modem's commands are not watched; a line begun before them is over.
    droppedBytes_ += termLineBytes_;
    termLineBytes_ = 0;
    termReader_.Clear();
  }
  for (const UartByte& sent : air) WatchForTerm(sent, io);
}

void Logger::WatchForTerm(const UartByte& byte, InstrumentIo& io) {
  ++termLineBytes_;
  std::string line;
  const CommandLineReader::Result result = termReader_.Take(byte, io.NowMs(), &line);
  if (result == CommandLineReader::Result::kNothing) return;
  const Command command = ParseCommand(line);
  if (result == CommandLineReader::Result::kLine && command.verb == "term" &&
      command.option.empty() && command.value.empty()) {
    passThrough_ = false;
    termLineBytes_ = 0;
    io.Reply("\r>", DeviceWork::kAnswer, config_.answerMs);
    return;
  }
  droppedBytes_ += termLineBytes_;
  termLineBytes_ = 0;
}

void Logger::EraseData(InstrumentIo& io) {
  // The oldest firmware ends its confirmations with "!", which is what the updater waits for.
  std::string answer;
  if (config_.dataFlashFail) {
    answer = Oldest() ? "DataFlash FAIL!" : "DataFlash FAIL";
  } else {
    ++dataErases_;
    answer = Oldest() ? "OK - data erased!" : "OK";
  }
  io.Reply(AnswerText(answer), DeviceWork::kDataErase, config_.dataEraseMs);
}

std::string Logger::ShowText() const {
  return "ID: " + settings_.name + "\rVersion: " + config_.version +
         "\rRadio: " + std::to_string(settings_.radioMode) +
         "\rWake: " + std::to_string(settings_.wakeInterval) +
         "\rResets: " + std::to_string(config_.resets);
}

void Logger::OldestCommand(const Command& command, InstrumentIo& io) {
  const std::string& verb = command.verb;
  const bool bare = command.option.empty() && command.value.empty();
  if (verb == "show" && bare) {
    Say(io, ShowText());
  } else if (verb == "term" && bare) {
    StartPassThrough(io);
  } else if (verb == "hertz" && bare && firmware_.version >= kOldestWithHertz) {
    Say(io, std::to_string(settings_.padc));
  } else if (verb == "get" && command.option == "-i" && command.value.empty()) {
    Say(io, settings_.name);
  } else if (verb == "set") {
    OldestSet(command, io);
  } else {
    Refuse(io);  // "get -ver", "set -baud" and the other settings are beyond this firmware
  }
}

void Logger::OldestSet(const Command& command, InstrumentIo& io) {
  // The oldest firmware confirms a set by repeating what it now holds.
  const std::string& option = command.option;
  std::string echo;
  if (option == "-i" || option == "-w" || option == "-r") {
    if (settings_.Set(command) == LoggerSettings::SetResult::kStored) {
      echo = option == "-i"   ? "ID: " + settings_.name
             : option == "-w" ? "Wake: " + std::to_string(settings_.wakeInterval)
                              : "Radio: " + std::to_string(settings_.radioMode);
    }
  } else if (option == "-p" && firmware_.version >= kOldestWithHertz) {
    Command padc = command;
    padc.option = "-padc";
    if (settings_.Set(padc) == LoggerSettings::SetResult::kStored) {
      echo = "Hertz: " + std::to_string(settings_.padc);
    }
  } else if (option == "-t" || option == "-d") {
    SetClock(command, &echo);
  }
  if (echo.empty()) {
    Refuse(io);
  } else {
    Say(io, echo);
  }
}

bool Logger::SetClock(const Command& command, std::string* echo) {
  const std::string& value = command.value;
  char text[48];
  int used = 0;
  if (command.option == "-t") {
    int hour, minute, second;
    if (std::sscanf(value.c_str(), "%d:%d:%d%n", &hour, &minute, &second, &used) != 3 ||
        used != static_cast<int>(value.size()) || !clock_.SetTimeOfDay(hour, minute, second)) {
      return false;
    }
    std::snprintf(text, sizeof text, "Time: %02d:%02d:%02d", hour, minute, second);
  } else if (command.option == "-d") {
    int year, month, day;
    if (std::sscanf(value.c_str(), "%d-%d-%d%n", &year, &month, &day, &used) != 3 ||
        used != static_cast<int>(value.size()) || !clock_.SetDate(year, month, day)) {
      return false;
    }
    std::snprintf(text, sizeof text, "Date: %04d-%02d-%02d", year, month, day);
  } else {
    long seconds = 0;
    if (!ParseNumber(value, &seconds) || seconds < 0 || seconds > INT32_MAX) return false;
    clock_.Set(seconds);
    std::snprintf(text, sizeof text, "Seconds: %ld", seconds);
  }
  *echo = text;
  return true;
}

void Logger::Get(const Command& command, InstrumentIo& io) {
  const std::string& option = command.option;
  const bool rq7 = config_.model == LoggerModel::kRq7;
  if (!command.value.empty()) {
    Refuse(io);
  } else if (option == "-ver") {
    Say(io, config_.typeWord + " " + config_.version);
  } else if (option == "-rch" || option == "-rsch" || option == "-rver") {
    if (!config_.hasRadio) {
      Say(io, "No Radio");
    } else if (option == "-rch") {
      Say(io, "OK\r" + Hex(config_.radioChannel));
    } else if (option == "-rsch") {
      Say(io, "OK\r" + Hex(config_.radioSubChannel));
    } else {
      Say(io, "OK\r" + config_.radioVersion);
    }
  } else if (option == "-t") {
    Say(io, clock_.Text());
  } else if (option == "-sec" && !rq7) {
    Say(io, std::to_string(clock_.Now()));
  } else if (KnowsSetting(firmware_, option, false, settings_.Trait())) {
    const std::optional<std::string> answer = settings_.Answer(option);
    if (answer) {
      Say(io, *answer);  // an empty value: the bare prompt
    } else {
      Refuse(io);
    }
  } else {
    Refuse(io);
  }
}

void Logger::Set(const Command& command, InstrumentIo& io) {
  const std::string& option = command.option;
  const bool rq7 = config_.model == LoggerModel::kRq7;
  long number = 0;
  std::string echo;
  if (option == "-baud") {
    if (!ParseNumber(command.value, &number) || number < 0 ||
        number >= static_cast<long>(std::size(kBaudCodes))) {
      Refuse(io);
      return;
    }
    // The OK leaves at the old rate; the next command is heard at the new one.
    Say(io, "OK");
    if (commandBaud_ != kBaudCodes[number]) ++baudChanges_;
    commandBaud_ = kBaudCodes[number];
    return;
  }
  if ((option == "-rch" || option == "-rsch") && !config_.hasRadio) {
    Say(io, "No Radio");
    return;
  }
  bool stored = false;
  if (option == "-rch" || option == "-rsch") {
    const long limit = option == "-rch" ? 6 : 0xFFFF;
    stored = ParseNumber(command.value, &number, 16) && number >= 0 && number <= limit;
    if (stored) {
      (option == "-rch" ? config_.radioChannel : config_.radioSubChannel) =
          static_cast<int>(number);
    }
  } else if (option == "-t" || option == "-d" || (option == "-sec" && !rq7)) {
    stored = SetClock(command, &echo);
  } else if (KnowsSetting(firmware_, option, true, settings_.Trait())) {
    stored = settings_.Set(command) == LoggerSettings::SetResult::kStored;
  }
  if (stored) {
    Say(io, "OK");
  } else {
    Refuse(io);
  }
}

nlohmann::json Logger::SaveState() const {
  nlohmann::json state;
  state["family"] = "logger";
  state["format"] = kStateFormat;
  state["model"] = ModelName(config_.model);
  state["settings"] = settings_.ToJson();
  state["radio_channel"] = config_.radioChannel;
  state["radio_subchannel"] = config_.radioSubChannel;
  state["clock_offset"] = clock_.Offset();
  return state;
}

bool Logger::LoadState(const nlohmann::json& state, std::string* error) {
  if (!state.is_object() || state.value("family", "") != "logger") {
    *error = "not the state of a logger";
    return false;
  }
  const int format = state.value("format", 0);
  if (format != kStateFormat && format != kFirstStateFormat) {
    *error = "unknown state format " + std::to_string(format);
    return false;
  }
  if (!state.contains("radio_channel") || !state["radio_channel"].is_number_integer() ||
      !state.contains("radio_subchannel") || !state["radio_subchannel"].is_number_integer()) {
    *error = "the radio's channels are missing";
    return false;
  }
  LoggerSettings settings;
  if (format == kFirstStateFormat) {
    // The first format kept only the name: the other settings keep their first-start values.
    nlohmann::json items = settings_.ToJson();
    items["name"] = state.contains("name") ? state["name"] : nlohmann::json();
    if (!LoggerSettings::FromJson(items, &settings, error)) return false;
  } else {
    const std::string model = state.value("model", "");
    if (model != ModelName(config_.model)) {
      *error = "the state of a " + model + " logger, not of a " + ModelName(config_.model);
      return false;
    }
    if (!state.contains("clock_offset") || !state["clock_offset"].is_number_integer()) {
      *error = "the clock offset is missing";
      return false;
    }
    if (!state.contains("settings") ||
        !LoggerSettings::FromJson(state["settings"], &settings, error)) {
      if (error->empty()) *error = "the settings are missing";
      return false;
    }
    clock_.SetOffset(state["clock_offset"].get<int64_t>());
  }
  settings_ = settings;
  ResetToFactoryIfAsked();
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
  stats["data_erases"] = dataErases_;
  stats["rmode_commands"] = rmodeCommands_;
  stats["power_losses"] = powerLosses_;
  if (Oldest()) {
    stats["pass_throughs"] = passThroughs_;
    stats["escapes"] = modem_.Escapes();
    stats["at_commands"] = modem_.AtCommands();
    stats["dropped_bytes"] = droppedBytes_;
  }
  nlohmann::json settings = settings_.ToJson();
  settings["radio_channel"] = config_.radioChannel;
  settings["radio_subchannel"] = config_.radioSubChannel;
  settings["radio_version"] = config_.radioVersion;
  settings["clock"] = clock_.Now();
  stats["settings"] = settings;
}

bool Logger::DumpFlash(const std::string&, std::string* error) const {
  *error = "the loggers have no flash model";
  return false;
}
