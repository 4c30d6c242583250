// Data loggers: the "Qd40" with current firmware and the "Qd4" with the oldest firmware, on a
// cable or asleep behind a radio modem (radio_modem.h).
//
// Current firmware answers "get -ver" and changes its rate on "set -baud N" after its "OK"; it
// goes back to 9600 when asked or when the computer has been silent for the idle time. The
// oldest firmware refuses "get -ver" and "set -baud" and tells who it is through "show".
//
// Behind a radio the logger sleeps: its radio hears only the wake packets (carriage returns),
// and after enough of them it listens for "query" (answered with its name) and "login NAME".
// Logged in, it is an ordinary command line until "logout" sends it back to sleep.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "sim/command_line.h"
#include "sim/instrument.h"

struct LoggerConfig {
  std::string typeWord = "Qd40";  // first word of the "get -ver" answer
  std::string version = "2.03";
  bool oldFirmware = false;  // refuses "get -ver", answers "show"
  std::string name = "LOGGER1";
  double answerMs = 20;
  double idleMs = 5000;  // back to 9600 after this long without a byte at another rate

  // Its radio (the "show" values and "get -rch", "-rsch", "-rver").
  bool hasRadio = true;
  int radioMode = 1;
  int radioChannel = 3;
  int radioSubChannel = 0x1234;
  std::string radioVersion = "1085";
  int wakeInterval = 60;
  int resets = 3;

  // Behind a radio modem.
  bool behindRadio = false;
  bool awake = false;          // starts listening instead of asleep
  uint32_t wakePackets = 500;  // carriage returns that wake it
};

class Logger : public Instrument {
 public:
  explicit Logger(LoggerConfig config);

  uint32_t Baud() const override;
  std::string StateName() const override;
  void Receive(const UartByte& byte, InstrumentIo& io) override;
  void Wake(int, InstrumentIo&) override {}
  nlohmann::json SaveState() const override;
  bool LoadState(const nlohmann::json& state, std::string* error) override;
  void AddStats(nlohmann::json& stats) const override;
  bool DumpFlash(const std::string& path, std::string* error) const override;

  const LoggerConfig& Config() const { return config_; }

 private:
  enum class Radio { kAsleep, kListening, kLoggedIn };
  using Clock = std::chrono::steady_clock;

  void RunCommand(const std::string& line, InstrumentIo& io);
  bool RadioLogin(const Command& command, InstrumentIo& io);
  void Get(const Command& command, InstrumentIo& io);
  void Set(const Command& command, InstrumentIo& io);
  void Say(InstrumentIo& io, std::string_view text);
  void Refuse(InstrumentIo& io);
  std::string ShowText() const;
  // The idle rule: a rate other than 9600 lasts while the computer keeps talking.
  bool IdleAtFastRate() const;

  LoggerConfig config_;
  CommandLineReader reader_;
  uint32_t commandBaud_ = 9600;
  Clock::time_point lastByte_ = Clock::now();
  Radio radio_ = Radio::kLoggedIn;
  uint32_t wakeCount_ = 0;

  uint32_t commands_ = 0;
  uint32_t refusals_ = 0;
  uint32_t baudChanges_ = 0;
  uint32_t idleReturns_ = 0;
  uint32_t wakes_ = 0;
  uint32_t logins_ = 0;
  uint32_t queries_ = 0;
};
