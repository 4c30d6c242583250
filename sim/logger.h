// Data loggers: the "Qd40" with current firmware, the "rQ7", and the "Qd4" with the oldest
// firmware, on a cable or (the Qd40) asleep behind a radio modem (radio_modem.h).
//
// Current firmware (Qd40, rQ7) answers "get -ver", keeps its settings behind "get"/"set"
// (logger_settings.h; which of them a firmware knows: logger_model.h) and answers a good set
// with "OK". It changes its rate on "set -baud N" after its "OK" and goes back to 9600 when
// asked or when the computer has been silent for the idle time. The oldest firmware refuses
// "get -ver" and "set -baud", tells who it is through "show", and confirms a set by repeating
// what it now holds ("Wake: 60").
//
// Behind a radio the logger sleeps: its radio hears only the wake packets (carriage returns),
// and after enough of them it listens for "query" (answered with its name) and "login NAME".
// Logged in, it is an ordinary command line until "logout" sends it back to sleep.
//
// The oldest Qd4 carries a radio modem of its own (modem_commands.h). "term" starts a
// pass-through: from then on the computer talks to that modem as if it sat on the port, with
// the Qd4's radio channel and sub-channel as the modem's. In transparent mode the Qd4 watches
// the line: a line "term" ends the pass-through (answered with the prompt); everything else goes
// out over the air to nobody.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "sim/command_line.h"
#include "sim/faults.h"
#include "sim/instrument.h"
#include "sim/instrument_clock.h"
#include "sim/logger_model.h"
#include "sim/logger_settings.h"
#include "sim/modem_commands.h"

struct LoggerConfig {
  LoggerModel model = LoggerModel::kQd40;
  std::string typeWord = "Qd40";  // first word of the "get -ver" answer
  std::string version = "2.03";
  bool teaKey = false;  // "get -teakey" answers the key, "get -authkey" is refused
  LoggerSettings settings = LoggerSettings::InUse();  // on a first start
  // The settings were reset to factory values before this run (--factory-reset): whatever the
  // state file holds, the logger starts with LoggerSettings::Factory(), keeping its trait and
  // serial number.
  bool factoryReset = false;
  double powerOffMs = 0;  // a power cut lasts this long (0: until the end)
  double answerMs = 20;
  double idleMs = 5000;        // back to 9600 after this long without a byte at another rate
  double dataEraseMs = 2500;   // "yes": erasing the stored measurements
  bool dataFlashFail = false;  // "yes" is answered "DataFlash FAIL"

  // Its radio module ("get -rch", "-rsch", "-rver"); the channels are the live values, which
  // the radio modem in front of the logger compares with its own.
  bool hasRadio = true;
  int radioChannel = 3;
  int radioSubChannel = 0x1234;
  std::string radioVersion = "1085";
  int resets = 3;  // "Resets:" of "show"

  // The oldest Qd4's own radio modem, reached through "term".
  ModemTiming modem;

  // Behind a radio modem.
  bool behindRadio = false;
  bool awake = false;          // starts listening instead of asleep
  uint32_t wakePackets = 500;  // carriage returns that wake it

  // Takes the loggers' own fault (dataflash-fail).
  void TakeFaults(FaultList& faults);
};

class Logger : public Instrument {
 public:
  explicit Logger(LoggerConfig config);

  uint32_t Baud() const override;
  std::string StateName() const override;
  void Receive(const UartByte& byte, InstrumentIo& io) override;
  void Wake(int token, InstrumentIo& io) override;
  nlohmann::json SaveState() const override;
  bool LoadState(const nlohmann::json& state, std::string* error) override;
  void AddStats(nlohmann::json& stats) const override;
  bool DumpFlash(const std::string& path, std::string* error) const override;
  void CutPower(InstrumentIo& io) override;

  const LoggerConfig& Config() const { return config_; }

 private:
  enum class Radio { kAsleep, kListening, kLoggedIn };
  using Clock = std::chrono::steady_clock;

  bool Oldest() const { return config_.model == LoggerModel::kQd4; }
  void RunCommand(const std::string& line, InstrumentIo& io);
  bool RadioLogin(const Command& command, InstrumentIo& io);
  void Get(const Command& command, InstrumentIo& io);
  void Set(const Command& command, InstrumentIo& io);
  void OldestCommand(const Command& command, InstrumentIo& io);
  void OldestSet(const Command& command, InstrumentIo& io);
  // "set -t H:M:S", "set -d Y-M-D", "set -sec N": false for an impossible value. `echo`
  // receives the oldest firmware's confirmation ("Time: 13:05:09").
  bool SetClock(const Command& command, std::string* echo);
  void EraseData(InstrumentIo& io);
  void StartPassThrough(InstrumentIo& io);
  void PassThrough(const UartByte& byte, InstrumentIo& io);
  void WatchForTerm(const UartByte& byte, InstrumentIo& io);
  void Say(InstrumentIo& io, std::string_view text);
  void Refuse(InstrumentIo& io);
  std::string ShowText() const;
  // The idle rule: a rate other than 9600 lasts while the computer keeps talking.
  bool IdleAtFastRate() const;
  void ResetToFactoryIfAsked();

  LoggerConfig config_;
  LoggerFirmware firmware_;
  LoggerSettings settings_;
  InstrumentClock clock_;
  CommandLineReader reader_;
  uint32_t commandBaud_ = 9600;
  Clock::time_point lastByte_ = Clock::now();
  Radio radio_ = Radio::kLoggedIn;
  uint32_t wakeCount_ = 0;
  ModemCommands modem_;
  AccessCodeLogin login_;  // --type-word of a family that needs a login
  bool passThrough_ = false;
  CommandLineReader termReader_;  // the transparent bytes, watched for "term"
  uint32_t termLineBytes_ = 0;    // bytes of the line the watch is collecting

  uint32_t commands_ = 0;
  uint32_t refusals_ = 0;
  uint32_t baudChanges_ = 0;
  uint32_t idleReturns_ = 0;
  uint32_t wakes_ = 0;
  uint32_t logins_ = 0;
  uint32_t queries_ = 0;
  uint32_t dataErases_ = 0;
  uint32_t rmodeCommands_ = 0;  // "get -r" and "set -r" received
  uint32_t passThroughs_ = 0;
  uint32_t droppedBytes_ = 0;  // sent over the air by the pass-through, to nobody
  bool poweredOff_ = false;
  uint32_t powerLosses_ = 0;
};
