#include "sim/hs4.h"

#include <cstdint>

namespace {

constexpr int kStateFormat = 1;

}  // namespace

void Hs4Config::TakeFaults(FaultList& faults) {
  codeCorrupt = faults.TakeFlag("code-corrupt") || codeCorrupt;
  dataFlashFail = faults.TakeFlag("dataflash-fail") || dataFlashFail;
}

Hs4::Hs4(Hs4Config config)
    : config_(std::move(config)),
      settings_(config_.factoryReset ? Hs4Settings::Factory() : config_.settings),
      login_(config_.typeWord) {}

void Hs4::Receive(const UartByte& byte, InstrumentIo& io) {
  if (poweredOff_) return;
  std::string line;
  switch (reader_.Take(byte, io.NowMs(), &line)) {
    case CommandLineReader::Result::kNothing:
      return;
    case CommandLineReader::Result::kNoise:
    case CommandLineReader::Result::kTooLong:
      Refuse(io);
      return;
    case CommandLineReader::Result::kLine:
      RunCommand(line, io);
      return;
  }
}

void Hs4::CutPower(InstrumentIo& io) {
  if (poweredOff_) return;
  ++powerLosses_;
  poweredOff_ = true;
  if (config_.powerOffMs > 0) io.WakeAfter(DeviceWork::kPoweredOff, config_.powerOffMs, kPowerBack);
}

void Hs4::Wake(int token, InstrumentIo&) {
  if (token != kPowerBack) return;
  // Powered up again: its command line with the settings it keeps; a half-typed line is gone.
  poweredOff_ = false;
  reader_.Clear();
  login_.Forget();
}

void Hs4::Say(InstrumentIo& io, std::string_view text) {
  io.Reply(AnswerText(text), DeviceWork::kAnswer, config_.answerMs);
}

void Hs4::Refuse(InstrumentIo& io) {
  ++refusals_;
  Say(io, kRefusal);
}

void Hs4::RunCommand(const std::string& line, InstrumentIo& io) {
  const Command command = ParseCommand(line);
  if (command.verb.empty()) {
    io.Reply("\r>", DeviceWork::kAnswer, config_.answerMs);  // an empty line: the prompt again
    return;
  }
  ++commands_;
  const std::string& verb = command.verb;
  const bool bare = command.option.empty() && command.value.empty();
  if (const std::optional<std::string_view> answer = login_.Take(command)) {
    if (*answer == kRefusal) ++refusals_;
    Say(io, *answer);
  } else if (!login_.Admits(command)) {
    Refuse(io);  // not logged in
  } else if (verb == "get") {
    Get(command, io);
  } else if (verb == "set") {
    Set(command, io);
  } else if (verb == "reset") {
    if (settings_.Reset(command)) {
      Say(io, "OK");
    } else {
      Refuse(io);
    }
  } else if (verb == "post" && (command.option.empty() || command.option == "-init") &&
             command.value.empty()) {
    Say(io, config_.codeCorrupt ? "Code Corrupt!" : "Code Good!");
  } else if (verb == "yes" && bare) {
    EraseData(io);
  } else if (verb == "login" || (verb == "logout" && command.option.empty())) {
    Say(io, "OK");
  } else if (verb == "time" && bare) {
    Say(io, "Date\\Time: " + clock_.Text());
  } else {
    Refuse(io);
  }
}

void Hs4::EraseData(InstrumentIo& io) {
  if (config_.dataFlashFail) {
    io.Reply(AnswerText("DataFlash FAIL"), DeviceWork::kDataErase, config_.dataEraseMs);
    return;
  }
  ++dataErases_;
  io.Reply(AnswerText("OK"), DeviceWork::kDataErase, config_.dataEraseMs);
}

void Hs4::Get(const Command& command, InstrumentIo& io) {
  const std::string& option = command.option;
  const bool bare = command.value.empty();
  if (option == "-ver" && bare) {
    Say(io, config_.typeWord + " " + config_.version);
  } else if (option == "-hver" && bare) {
    Say(io, config_.hardwareRevision);
  } else if (option == "-sec" && bare) {
    Say(io, std::to_string(clock_.Now()));
  } else if (option == "-t" && bare) {
    Say(io, clock_.Text());
  } else if (const std::optional<std::string> answer = settings_.Answer(command)) {
    Say(io, *answer);  // an empty value or a record beyond the count: the bare prompt
  } else {
    Refuse(io);
  }
}

void Hs4::Set(const Command& command, InstrumentIo& io) {
  const std::string& option = command.option;
  long number = 0;
  bool stored = false;
  if (option == "-sensor") {
    // The probe's sensor type back to 0 before the settings are read: nothing to keep.
    stored = command.value == "0";
    if (stored) ++sensorResets_;
  } else if (option == "-sec") {
    stored = ParseNumber(command.value, &number) && number >= 0 && number <= INT32_MAX;
    if (stored) clock_.Set(number);
  } else {
    stored = settings_.Set(command);
  }
  if (stored) {
    Say(io, "OK");
  } else {
    Refuse(io);
  }
}

nlohmann::json Hs4::SaveState() const {
  nlohmann::json state;
  state["family"] = "hs4";
  state["format"] = kStateFormat;
  state["settings"] = settings_.ToJson();
  state["clock_offset"] = clock_.Offset();
  return state;
}

bool Hs4::LoadState(const nlohmann::json& state, std::string* error) {
  if (!state.is_object() || state.value("family", "") != "hs4") {
    *error = "not the state of a Hydrella 4";
    return false;
  }
  if (state.value("format", 0) != kStateFormat) {
    *error = "unknown state format";
    return false;
  }
  if (!state.contains("clock_offset") || !state["clock_offset"].is_number_integer()) {
    *error = "the clock offset is missing";
    return false;
  }
  Hs4Settings settings;
  if (!state.contains("settings") || !Hs4Settings::FromJson(state["settings"], &settings, error)) {
    if (error->empty()) *error = "the settings are missing";
    return false;
  }
  settings_ = config_.factoryReset ? Hs4Settings::Factory() : settings;
  clock_.SetOffset(state["clock_offset"].get<int64_t>());
  return true;
}

void Hs4::AddStats(nlohmann::json& stats) const {
  stats["commands"] = commands_;
  stats["refusals"] = refusals_;
  stats["data_erases"] = dataErases_;
  stats["sensor_resets"] = sensorResets_;
  stats["power_losses"] = powerLosses_;
  stats["state"] = StateName();
  stats["logged_in"] = login_.LoggedIn();
  nlohmann::json settings = settings_.ToJson();
  settings["clock"] = clock_.Now();
  stats["settings"] = settings;
}

bool Hs4::DumpFlash(const std::string&, std::string* error) const {
  *error = "the Hydrella 4 has no flash model";
  return false;
}
