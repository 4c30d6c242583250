// A radio modem of the Digi (MaxStream) PKG-U kind on the computer's port, with a logger
// asleep behind its partner modem.
//
// Transparent mode passes the computer's bytes over the air; they reach the logger only while
// the modem's channel (ATHP, 0 to 6) and sub-channel (ATDT, 0 to FFFF) equal the logger's
// radio. The AT command mode ("+++", ATHP, ATDT, ATVR, ATWR, ATCN) is modem_commands.h.
#pragma once

#include <cstdint>
#include <string>

#include "sim/instrument.h"
#include "sim/logger.h"
#include "sim/modem_commands.h"

struct RadioModemConfig {
  int channel = 3;  // the modem's own channel and sub-channel at the start
  int subChannel = 0x1234;
  std::string version = "1085";  // ATVR
  ModemTiming timing;
};

class RadioModem : public Instrument {
 public:
  RadioModem(RadioModemConfig config, LoggerConfig logger);

  uint32_t Baud() const override { return 9600; }
  std::string StateName() const override;
  void Receive(const UartByte& byte, InstrumentIo& io) override;
  void Wake(int token, InstrumentIo& io) override { commands_.Wake(token, io); }
  nlohmann::json SaveState() const override;
  bool LoadState(const nlohmann::json& state, std::string* error) override;
  void AddStats(nlohmann::json& stats) const override;
  bool DumpFlash(const std::string& path, std::string* error) const override;

 private:
  bool OnLoggersChannel() const;

  RadioModemConfig config_;
  Logger logger_;
  ModemCommands commands_;
  uint32_t lostBytes_ = 0;  // sent on another channel than the logger's
};
