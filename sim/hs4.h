// The Hydrella 4 bench instrument (catalogue type 15): a command line at 9600 baud with the
// FieldPal's answer framing, the settings store an update saves and restores (hs4_settings.h),
// its clock and its data memory. It has no loader or flash model.
//
// Before the updater reads the settings it sends "set -sensor 0" (the probe's sensor type back
// to 0); the instrument accepts it and counts it. It logs in with "login *5927" typed one
// character at a time, then "\r\n\r": the carriage return ends the login ("OK"), the line feed
// is ignored and the second carriage return is an empty line, answered with the prompt. Until
// then it answers only "get -ver" and "get -hver" (AccessCodeLogin).
#pragma once

#include <cstdint>
#include <string>

#include "sim/command_line.h"
#include "sim/faults.h"
#include "sim/hs4_settings.h"
#include "sim/instrument.h"
#include "sim/instrument_clock.h"

struct Hs4Config {
  std::string typeWord = "HS4";  // first word of the "get -ver" answer
  std::string version = "2.10";
  std::string hardwareRevision = "A";
  double answerMs = 20;
  double dataEraseMs = 2500;                    // "yes": erasing the stored measurements
  double powerOffMs = 0;                        // a power cut lasts this long (0: until the end)
  Hs4Settings settings = Hs4Settings::InUse();  // on a first start
  // The settings were reset before this run (--factory-reset): whatever the state file holds,
  // the instrument starts with Hs4Settings::Factory().
  bool factoryReset = false;

  bool codeCorrupt = false;    // "post" answers "Code Corrupt!"
  bool dataFlashFail = false;  // "yes" is answered "DataFlash FAIL"

  // Takes code-corrupt and dataflash-fail.
  void TakeFaults(FaultList& faults);
};

class Hs4 : public Instrument {
 public:
  explicit Hs4(Hs4Config config);

  uint32_t Baud() const override { return kCommandLineBaud; }
  std::string StateName() const override { return poweredOff_ ? "off" : "firmware"; }
  void Receive(const UartByte& byte, InstrumentIo& io) override;
  void Wake(int token, InstrumentIo& io) override;
  nlohmann::json SaveState() const override;
  bool LoadState(const nlohmann::json& state, std::string* error) override;
  void AddStats(nlohmann::json& stats) const override;
  bool DumpFlash(const std::string& path, std::string* error) const override;
  void CutPower(InstrumentIo& io) override;

 private:
  static constexpr uint32_t kCommandLineBaud = 9600;
  enum WakeToken { kPowerBack = 1 };

  void RunCommand(const std::string& line, InstrumentIo& io);
  void Get(const Command& command, InstrumentIo& io);
  void Set(const Command& command, InstrumentIo& io);
  void EraseData(InstrumentIo& io);
  void Say(InstrumentIo& io, std::string_view text);
  void Refuse(InstrumentIo& io);

  Hs4Config config_;
  Hs4Settings settings_;
  InstrumentClock clock_;
  CommandLineReader reader_;
  AccessCodeLogin login_;  // HS4 needs one; another type word (--type-word) may not
  bool poweredOff_ = false;

  uint32_t commands_ = 0;
  uint32_t refusals_ = 0;
  uint32_t dataErases_ = 0;
  uint32_t sensorResets_ = 0;  // "set -sensor 0"
  uint32_t powerLosses_ = 0;
};
