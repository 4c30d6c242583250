// A digital sensor on the FieldPal's sensor bus: it speaks SDI-12 (commands "<address>...!",
// answers "<address>...\r\n"), keeps its address, type, serial number and calibration strings,
// reports its firmware's self-test and can start its own loader (VexaBSL at 9600 baud).
//
// The reader relays to it (see FieldPal): what the computer sends after "[" reaches the sensor
// command by command, a "|" is a break on the bus; after "]" the bytes go to the sensor's loader
// as they are. A firmware upload through the loader restarts the sensor with the new version and
// factory settings (address 0, no serial number, no calibration).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "sim/faults.h"
#include "sim/flash_memory.h"
#include "sim/instrument.h"
#include "sim/resident_loader.h"

struct DigitalSensorConfig {
  char address = '0';
  std::string type;  // what "?X8!" reports: a letter, or a number such as "105"; empty: no sensor
  std::string version = "360";       // three digits in the identification
  std::string imageVersion = "400";  // the version after a firmware upload
  std::string model = "DS-1  ";      // six characters in the identification
  std::string serial = "DS0042";     // empty: the sensor has none
  std::string x4 = "1.0 0.5 2.5 3.0";
  std::string xa = "1 1.39619 2.03054 2.54573 2.9907";
  std::string xo;            // empty: the sensor has no offset calibration ("ERROR")
  bool hasLoader = true;     // "?B!" starts the loader; false: "No BSL"
  bool codeCorrupt = false;  // "?post!" reports "Code Corrupt"
  uint32_t missEvery = 0;    // every N-th command goes unanswered (0: none)
  double answerMs = 30;

  // Takes the sensor's faults: sensor-miss=N, sensor-corrupt, sensor-no-bsl.
  bool TakeFaults(FaultList& faults, std::string* error);
};

class DigitalSensor {
 public:
  explicit DigitalSensor(DigitalSensorConfig config);
  DigitalSensor(const DigitalSensor&) = delete;
  DigitalSensor& operator=(const DigitalSensor&) = delete;

  // One whole command, "!" included. The answer, or nothing when the sensor does not answer
  // (another address, a command it does not know, a missed command, its loader running).
  std::optional<std::string> Command(const std::string& command);

  // One byte for the sensor's loader (the reader relays raw bytes); dropped unless "?B!"
  // started it.
  void LoaderByte(const UartByte& byte, InstrumentIo& io);

  // The reader's power failed, and the sensor's with it. When it comes back the sensor starts
  // its firmware, or its loader (waiting) when a loader session had erased or written the
  // application and no vectors followed.
  void PowerLost();

  bool InLoader() const { return inLoader_; }
  double AnswerMs() const { return config_.answerMs; }

  // The settings as they are now, and counters, for --stats.
  nlohmann::json Stats() const;

 private:
  std::string Answer(const std::string& body);
  std::string Line(const std::string& text) const;
  void UploadFinished();

  DigitalSensorConfig config_;
  char address_;
  std::string type_;
  std::string serial_;
  std::string x4_;
  std::string xa_;
  std::string xo_;
  std::string version_;
  bool inLoader_ = false;
  bool applicationIntact_ = true;  // no loader session erased or wrote it since the last upload
  bool firmwareCorrupt_ = false;   // the last upload made flash faults
  FlashMemory flash_;
  ResidentLoader loader_;
  uint32_t uploads_ = 0;
  uint32_t powerLosses_ = 0;
  uint32_t commands_ = 0;
  uint32_t missed_ = 0;
  uint32_t sets_ = 0;
};
