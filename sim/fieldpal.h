// The FieldPal hand-held reader (catalogue type 14): its command line at 9600 baud with the ">"
// prompt, the settings an update saves and restores, its clock and data memory, and its
// resident loader at 57600 baud with extended (five-digit) addresses.
//
// Life of the instrument: firmware (command line) --"boot KWEL"--> loader waiting ("$")
// --"P"--> loader connected --"V" frame--> restarting --restart time--> firmware of the new
// version, with factory settings. A power-up with the application flash erased or half
// written, or an erased reset vector, comes up in the loader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sim/command_line.h"
#include "sim/digital_sensor.h"
#include "sim/faults.h"
#include "sim/fieldpal_settings.h"
#include "sim/flash_memory.h"
#include "sim/instrument.h"
#include "sim/instrument_clock.h"
#include "sim/resident_loader.h"

struct FieldPalConfig {
  std::string typeWord = "FP";        // first word of the "get -ver" answer
  std::string version = "1.50";       // firmware version on a first start
  std::string imageVersion = "2.00";  // the version the uploaded image carries
  std::string hardwareRevision = "C";
  int battery = 85;           // percent
  double answerMs = 20;       // command line answer time
  double dataEraseMs = 2500;  // "yes": erasing the stored measurements
  double restartMs = 1000;    // from the vectors to the new firmware's prompt
  double powerOffMs = 0;      // a power loss lasts this long (0: until the end)
  LoaderConfig loader = DefaultLoader();
  FieldPalSettings settings = FieldPalSettings::InUse();  // on a first start
  // The settings were reset to factory values before this run (--factory-reset): whatever the
  // state file holds, the instrument starts with FieldPalSettings::Factory().
  bool factoryReset = false;

  // Faults of the instrument itself.
  bool noLoader = false;       // "boot KWEL" is answered "VexaBSL MISSING"
  bool loaderRunning = false;  // starts in its loader, already connected
  bool loaderWaiting = false;  // starts in its loader, waiting for a connection
  bool codeCorrupt = false;    // the firmware self-test reports "Code Corrupt!"
  bool dataFlashFail = false;  // "yes" is answered "DataFlash FAIL"

  // A digital sensor on the reader's sensor bus (--sensor), reached through the relay.
  bool sensorAttached = false;
  DigitalSensorConfig sensor;

  static LoaderConfig DefaultLoader();
  // Takes the FieldPal's faults from `faults` (no-loader, loader-running, loader-waiting,
  // low-battery, wrong-hver, code-corrupt, dataflash-fail, reject-block=K,
  // reject-block-always=K, power-loss=K) and the sensor's (sensor-miss=N, sensor-corrupt,
  // sensor-no-bsl). False with a reason for a bad count.
  bool TakeFaults(FaultList& faults, std::string* error);
};

class FieldPal : public Instrument {
 public:
  explicit FieldPal(FieldPalConfig config);

  uint32_t Baud() const override;
  std::string StateName() const override;
  void Receive(const UartByte& byte, InstrumentIo& io) override;
  void Wake(int token, InstrumentIo& io) override;
  nlohmann::json SaveState() const override;
  bool LoadState(const nlohmann::json& state, std::string* error) override;
  void AddStats(nlohmann::json& stats) const override;
  bool DumpFlash(const std::string& path, std::string* error) const override;
  void CutPower(InstrumentIo& io) override;

 private:
  enum class Mode { kFirmware, kLoader, kRestarting, kOff };
  enum WakeToken { kRestarted = 1, kPowerBack = 2 };

  void RunCommand(const std::string& line, InstrumentIo& io);
  void Get(const Command& command, InstrumentIo& io);
  void Set(const Command& command, InstrumentIo& io);
  void Say(InstrumentIo& io, std::string_view text);
  void Refuse(InstrumentIo& io);
  void Boot(const Command& command, InstrumentIo& io);
  void UploadFinished(InstrumentIo& io);
  void PowerLost(InstrumentIo& io);
  // Where the instrument comes up after a power-up or restart.
  void PowerUp();
  void StartFirmware();
  void StartLoader(ResidentLoader::State state);
  // The relay to the sensor bus: "[" starts it, "`" ends it.
  void RelayByte(const UartByte& byte, InstrumentIo& io);

  FieldPalConfig config_;
  FlashMemory flash_;
  ResidentLoader loader_;
  CommandLineReader reader_;
  FieldPalSettings settings_;
  InstrumentClock clock_;
  Mode mode_ = Mode::kFirmware;
  uint32_t commandBaud_ = 9600;
  std::string firmwareVersion_;
  AccessCodeLogin login_;          // --type-word of a family that needs a login
  bool applicationIntact_ = true;  // no loader session has erased or written the application
  bool firmwareCorrupt_ = false;   // the last upload made flash faults
  uint64_t storedReadings_ = 1873;

  // The relay: off (the command line), SDI-12 commands to the sensor, or raw bytes to the
  // sensor's loader.
  enum class Relay { kOff, kSdi12, kSensorLoader };
  Relay relay_ = Relay::kOff;
  std::string sdiCommand_;  // collected up to its "!"
  std::optional<DigitalSensor> sensor_;
  uint32_t relays_ = 0;

  uint32_t commands_ = 0;
  uint32_t refusals_ = 0;
  uint32_t dataErases_ = 0;
  uint32_t restarts_ = 0;
  uint32_t powerLosses_ = 0;
};
