// The AT command set of a Digi (MaxStream) PKG-U radio modem, shared by the stand-alone modem on
// the computer's port (radio_modem.h) and the modem built into the oldest Qd4 (logger.h).
//
// In transparent mode every byte goes over the air. "+++" with the guard time of silence before
// and after it enters AT command mode ("OK\r"); the three "+" are held meanwhile and become
// ordinary data when a byte comes within the trailing guard time. In command mode each line
// ended by a carriage return is one command: ATHP and ATDT answer the channel and sub-channel in
// upper-case hexadecimal or set them (ATHP<hex> 0 to 6, ATDT<hex> 0 to FFFF), ATVR answers the
// radio's version, ATWR answers "OK" (the values already hold), ATCN answers "OK" and returns
// to transparent mode, anything else is "ERROR". Every answer ends with a carriage return and
// has no prompt. Command mode also ends after a time without a byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/instrument.h"

struct ModemTiming {
  double guardMs = 50;           // silence before and after "+++"
  double commandModeMs = 10000;  // AT command mode ends by itself after this long unused
  double answerMs = 5;
};

// The radio values the AT commands read and set; they belong to the modem's owner.
struct ModemValues {
  int& channel;                // ATHP
  int& subChannel;             // ATDT
  const std::string& version;  // ATVR
};

class ModemCommands {
 public:
  explicit ModemCommands(ModemTiming timing) : timing_(timing) {}

  bool InCommandMode() const { return commandMode_; }

  // One byte from the computer. In transparent mode the bytes that go over the air are
  // appended to `air` (held "+" that turned out to be data come first); in command mode the
  // modem answers itself.
  void Receive(const UartByte& byte, InstrumentIo& io, ModemValues values,
               std::vector<UartByte>* air);
  // A wake-up the modem asked for: the end of the trailing guard time.
  void Wake(int token, InstrumentIo& io);

  uint32_t Escapes() const { return escapes_; }
  uint32_t AtCommands() const { return atCommands_; }

 private:
  void RunAtCommand(const std::string& line, InstrumentIo& io, ModemValues values);
  void Answer(InstrumentIo& io, const std::string& text);
  void ReleaseHeldPluses(std::vector<UartByte>* air);

  ModemTiming timing_;
  bool commandMode_ = false;
  double lastByteMs_ = -1e12;
  double lastCommandMs_ = 0;
  int heldPluses_ = 0;      // "+" bytes that may be the start of "+++"
  int escapeToken_ = 1000;  // the escape awaiting its trailing guard time
  bool escapePending_ = false;
  std::string atLine_;

  uint32_t escapes_ = 0;
  uint32_t atCommands_ = 0;
};
