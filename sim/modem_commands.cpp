#include "sim/modem_commands.h"

#include <cctype>

#include "sim/command_line.h"

namespace {

constexpr size_t kMaxAtLine = 32;
constexpr long kMaxChannel = 6;
constexpr long kMaxSubChannel = 0xFFFF;

}  // namespace

void ModemCommands::Answer(InstrumentIo& io, const std::string& text) {
  io.Reply(text + "\r", DeviceWork::kAnswer, timing_.answerMs);
}

void ModemCommands::ReleaseHeldPluses(std::vector<UartByte>* air) {
  for (; heldPluses_ > 0; --heldPluses_) air->push_back(UartByte{'+', false});
}

void ModemCommands::Receive(const UartByte& byte, InstrumentIo& io, ModemValues values,
                            std::vector<UartByte>* air) {
  const double now = io.NowMs();
  const double silence = now - lastByteMs_;
  lastByteMs_ = now;
  if (commandMode_ && now - lastCommandMs_ > timing_.commandModeMs) commandMode_ = false;

  if (commandMode_) {
    lastCommandMs_ = now;
    if (byte.framingError) return;
    const char c = static_cast<char>(byte.value);
    if (c == '\r') {
      RunAtCommand(atLine_, io, values);
      atLine_.clear();
    } else if (atLine_.size() < kMaxAtLine) {
      atLine_.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return;
  }

  // "+++" counts only with the guard time of silence before its first "+"; the modem answers
  // after the guard time has passed without another byte. Without --realtime the server's
  // work takes no time, so the trailing guard time passes at once.
  if (escapePending_) {
    escapePending_ = false;  // a byte within the trailing guard time: no escape after all
    heldPluses_ = 3;
    ReleaseHeldPluses(air);
  }
  if (!byte.framingError && byte.value == '+' && (heldPluses_ > 0 || silence >= timing_.guardMs)) {
    if (++heldPluses_ == 3) {
      escapePending_ = true;
      io.WakeAfter(DeviceWork::kAnswer, timing_.guardMs, ++escapeToken_);
    }
    return;
  }
  ReleaseHeldPluses(air);
  air->push_back(byte);
}

void ModemCommands::Wake(int token, InstrumentIo& io) {
  if (token != escapeToken_ || !escapePending_) return;  // a byte came within the guard time
  escapePending_ = false;
  heldPluses_ = 0;
  ++escapes_;
  commandMode_ = true;
  lastCommandMs_ = io.NowMs();
  atLine_.clear();
  Answer(io, "OK");
}

void ModemCommands::RunAtCommand(const std::string& line, InstrumentIo& io, ModemValues values) {
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
    int& field = command == "HP" ? values.channel : values.subChannel;
    const long limit = command == "HP" ? kMaxChannel : kMaxSubChannel;
    if (value.empty()) {
      Answer(io, Hex(field));
    } else if (ParseNumber(value, &number, 16) && number >= 0 && number <= limit) {
      field = static_cast<int>(number);
      Answer(io, "OK");
    } else {
      Answer(io, "ERROR");
    }
  } else if (command == "VR" && value.empty()) {
    Answer(io, values.version);
  } else if (command == "WR" && value.empty()) {
    Answer(io, "OK");  // the values hold from their set on (and --state keeps them)
  } else if (command == "CN" && value.empty()) {
    commandMode_ = false;
    Answer(io, "OK");
  } else {
    Answer(io, "ERROR");
  }
}
