#include "sim/radio_modem.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "sim/command_line.h"

namespace {}  // namespace

RadioModem::RadioModem(RadioModemConfig config, LoggerConfig logger)
    : config_(std::move(config)), logger_([&logger] {
        logger.behindRadio = true;
        return logger;
      }()) {}

std::string RadioModem::StateName() const {
  return commandMode_ ? "modem-command" : "modem-" + logger_.StateName();
}

bool RadioModem::OnLoggersChannel() const {
  return config_.channel == logger_.Config().radioChannel &&
         config_.subChannel == logger_.Config().radioSubChannel;
}

void RadioModem::Answer(InstrumentIo& io, const std::string& text) {
  io.Reply(text + "\r", DeviceWork::kAnswer, config_.answerMs);
}

void RadioModem::OverTheAir(const UartByte& byte, InstrumentIo& io) {
  if (OnLoggersChannel()) {
    logger_.Receive(byte, io);
  } else {
    ++lostBytes_;
  }
}

void RadioModem::ReleaseHeldPluses(InstrumentIo& io) {
  for (; heldPluses_ > 0; --heldPluses_) OverTheAir(UartByte{'+', false}, io);
}

void RadioModem::Receive(const UartByte& byte, InstrumentIo& io) {
  const double now = io.NowMs();
  const double silence = now - lastByteMs_;
  lastByteMs_ = now;
  if (commandMode_ && now - lastCommandMs_ > config_.commandModeMs) commandMode_ = false;

  if (commandMode_) {
    lastCommandMs_ = now;
    if (byte.framingError) return;
    const char c = static_cast<char>(byte.value);
    if (c == '\r') {
      RunAtCommand(atLine_, io);
      atLine_.clear();
    } else if (atLine_.size() < 32) {
      atLine_.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return;
  }

  // "+++" counts only with the guard time of silence before its first "+"; the modem answers
  // after the guard time has passed without another byte.
  if (escapePending_) {
    escapePending_ = false;  // a byte within the trailing guard time: no escape after all
    heldPluses_ = 3;
    ReleaseHeldPluses(io);
  }
  if (!byte.framingError && byte.value == '+' && (heldPluses_ > 0 || silence >= config_.guardMs)) {
    if (++heldPluses_ == 3) {
      escapePending_ = true;
      io.WakeAfter(DeviceWork::kAnswer, config_.guardMs, ++escapeToken_);
    }
    return;
  }
  ReleaseHeldPluses(io);
  OverTheAir(byte, io);
}

void RadioModem::Wake(int token, InstrumentIo& io) {
  if (token != escapeToken_ || !escapePending_) return;
  escapePending_ = false;
  heldPluses_ = 0;
  ++escapes_;
  commandMode_ = true;
  lastCommandMs_ = io.NowMs();
  atLine_.clear();
  Answer(io, "OK");
}

void RadioModem::RunAtCommand(const std::string& line, InstrumentIo& io) {
  ++atCommands_;
  if (line.rfind("AT", 0) != 0) {
    Answer(io, "ERROR");
    return;
  }
  const std::string command = line.substr(2, 2);
  const std::string value = line.size() > 4 ? line.substr(4) : "";
  long number = 0;
  if (command.empty()) {
    Answer(io, "OK");
  } else if (command == "HP" || command == "DT") {
    int& field = command == "HP" ? config_.channel : config_.subChannel;
    const long limit = command == "HP" ? 6 : 0xFFFF;
    if (value.empty()) {
      Answer(io, Hex(field));
    } else if (ParseNumber(value, &number, 16) && number >= 0 && number <= limit) {
      field = static_cast<int>(number);
      Answer(io, "OK");
    } else {
      Answer(io, "ERROR");
    }
  } else if (command == "VR" && value.empty()) {
    Answer(io, config_.version);
  } else if (command == "WR" && value.empty()) {
    Answer(io, "OK");  // the values are kept for the run (and in --state)
  } else if (command == "CN" && value.empty()) {
    commandMode_ = false;
    Answer(io, "OK");
  } else {
    Answer(io, "ERROR");
  }
}

nlohmann::json RadioModem::SaveState() const {
  nlohmann::json state;
  state["family"] = "radio";
  state["channel"] = config_.channel;
  state["subchannel"] = config_.subChannel;
  state["logger"] = logger_.SaveState();
  return state;
}

bool RadioModem::LoadState(const nlohmann::json& state, std::string* error) {
  if (!state.is_object() || state.value("family", "") != "radio" || !state.contains("channel") ||
      !state["channel"].is_number_integer() || !state.contains("subchannel") ||
      !state["subchannel"].is_number_integer() || !state.contains("logger")) {
    *error = "not the state of a radio modem";
    return false;
  }
  if (!logger_.LoadState(state["logger"], error)) return false;
  config_.channel = state["channel"].get<int>();
  config_.subChannel = state["subchannel"].get<int>();
  return true;
}

void RadioModem::AddStats(nlohmann::json& stats) const {
  logger_.AddStats(stats);
  stats["modem"] = {{"channel", config_.channel},
                    {"subchannel", config_.subChannel},
                    {"escapes", escapes_},
                    {"at_commands", atCommands_},
                    {"lost_bytes", lostBytes_}};
}

bool RadioModem::DumpFlash(const std::string& path, std::string* error) const {
  return logger_.DumpFlash(path, error);
}
