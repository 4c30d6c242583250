// A radio modem of the Digi (MaxStream) PKG-U kind on the computer's port, with a logger
// asleep behind its partner modem.
//
// Transparent mode passes the computer's bytes over the air; they reach the logger only while
// the modem's channel (ATHP, 0 to 6) and sub-channel (ATDT, 0 to FFFF) equal the logger's
// radio. "+++" with the guard time of silence before and after it enters AT command mode
// ("OK\r"); there ATHP, ATDT (read, or set with a hexadecimal value), ATVR, ATWR and ATCN are
// answered, each ended by a carriage return. ATCN, or the command mode time-out, returns to
// transparent mode.
#pragma once

#include <cstdint>
#include <string>

#include "sim/instrument.h"
#include "sim/logger.h"

struct RadioModemConfig {
  int channel = 3;  // the modem's own channel and sub-channel at the start
  int subChannel = 0x1234;
  std::string version = "1085";  // ATVR
  double guardMs = 50;           // silence before and after "+++"
  double commandModeMs = 10000;  // AT command mode ends by itself after this long unused
  double answerMs = 5;
};

class RadioModem : public Instrument {
 public:
  RadioModem(RadioModemConfig config, LoggerConfig logger);

  uint32_t Baud() const override { return 9600; }
  std::string StateName() const override;
  void Receive(const UartByte& byte, InstrumentIo& io) override;
  void Wake(int token, InstrumentIo& io) override;
  nlohmann::json SaveState() const override;
  bool LoadState(const nlohmann::json& state, std::string* error) override;
  void AddStats(nlohmann::json& stats) const override;
  bool DumpFlash(const std::string& path, std::string* error) const override;

 private:
  void OverTheAir(const UartByte& byte, InstrumentIo& io);
  void ReleaseHeldPluses(InstrumentIo& io);
  void RunAtCommand(const std::string& line, InstrumentIo& io);
  void Answer(InstrumentIo& io, const std::string& text);
  bool OnLoggersChannel() const;

  RadioModemConfig config_;
  Logger logger_;
  bool commandMode_ = false;
  double lastByteMs_ = -1e12;
  double lastCommandMs_ = 0;
  int heldPluses_ = 0;      // "+" bytes that may be the start of "+++"
  int escapeToken_ = 1000;  // the escape awaiting its trailing guard time
  bool escapePending_ = false;
  std::string atLine_;

  uint32_t escapes_ = 0;
  uint32_t atCommands_ = 0;
  uint32_t lostBytes_ = 0;  // sent on another channel than the logger's
};
