// The digital-sensor updater's sequence: the sensor hangs on a FieldPal (or an AQUEL
// communication device), which relays the sensor's SDI-12 commands and, after "]", its loader's
// bytes. The loader client borrows the reader's open port for the sensor's loader.
//
// The relay bytes go to the reader at fixed points: "]" after the loader client took the port,
// "[" before the settings are read and after the new firmware started, "`" at the end and in the
// failure cleanup, which return the reader to its command line.
#include <cctype>
#include <string>

#include "app/firmware_write.h"
#include "app/instrument_checks.h"
#include "app/unfinished_run.h"
#include "app/update_journal.h"
#include "app/update_run.h"
#include "app/update_texts.h"
#include "instrument/device_command.h"
#include "instrument/device_types.h"
#include "link/result.h"
#include "loader/bsl_protocol.h"
#include "session/catalogue.h"
#include "session/connection.h"
#include "session/save_restore.h"

namespace {

constexpr uint32_t kConnectTries = 3;
constexpr uint32_t kHandOffTries = 10;
constexpr uint32_t kSensorLoaderBaud = 9600;
constexpr uint32_t kReaderLowestVersion = 123;  // 1.23: the first to relay a sensor's loader
constexpr char kReaderLowestRevision = 'B';
constexpr int kLowBattery = 9;  // this percentage and below stop the run
constexpr uint32_t kRevisionTimeoutMs = 1500;
constexpr uint32_t kRevisionAnswer = 32;

// One relay byte to the reader, without waiting for an answer.
void Relay(UpdateContext& c, const char* byte) {
  uint32_t written = 0;
  DSWrite(&c.session->device.port, byte, 1, &written);
}

std::string ReaderFailureText(const UpdateContext& c, int32_t code) {
  const std::string& port = c.portDescription;
  const std::string unable =
      "The " + c.caption + " is unable to connect to your communication device" +
      "\n on Comm Port \"" + port + "\".\n\nPlease check your serial cable and Comm Port choice.";
  switch (code) {
    case kErrPortBusy:
    case kErrPortMissing:
      return ConnectionFailureText(c, code);
    case kErrNothingListening:
      return unable;
    default:
      return unable + "\nError " + std::to_string(code);
  }
}

// "get -hver": the first character of the answer that is no white space, 0 when there is none.
char ReaderRevision(UpdateContext& c) {
  char answer[kRevisionAnswer] = {};
  uint32_t size = sizeof answer;
  const int32_t result = DeviceCommand(&c.session->device, "get -hver\r", '>', kRevisionTimeoutMs,
                                       answer, &size, nullptr);
  if (result < 1) return 0;
  for (uint32_t i = 0; i < kRevisionAnswer && answer[i]; ++i) {
    if (!std::isspace(static_cast<unsigned char>(answer[i]))) return answer[i];
  }
  return 0;
}

// The reader must relay a sensor's loader: an AQUEL communication device, or a FieldPal of
// version 1.23 or later and hardware revision 'B' or later.
int32_t CheckReader(UpdateContext& c) {
  const SettingsRecord& reader = c.session->settings;
  const std::string found = DeviceTypeName(reader.deviceType);
  if (reader.deviceType == device_type::kAquelCommDev) return kResultOk;
  if (reader.deviceType != device_type::kFieldPal) {
    ShowErrorBox(c,
                 "The " + c.caption + " expected to find a FieldPal (or AQUEL Comm Device)" +
                     ";\nhowever, it found a " + found + ".\n\nThis updater can not work with a " +
                     found + ".",
                 "Wrong Device", BoxKind::kError);
    return kErrWrongDevice;
  }
  const char revision = ReaderRevision(c);
  const uint32_t version =
      reader.versionNumber > 0 ? static_cast<uint32_t>(reader.versionNumber) : 0;
  if (revision != 0 && version >= kReaderLowestVersion && revision >= kReaderLowestRevision) {
    return kResultOk;
  }
  ShowErrorBox(c,
               "Your " + found + " version " + VersionText(version) + " with hardware revision '" +
                   (revision ? std::string(1, revision) : std::string()) + "' " +
                   "doesn't\nsupport bootstrapping digital sensors.\n\n" +
                   "Please use a supported FieldPal (or AQUEL Comm Device)",
               "Wrong Device Version", BoxKind::kError);
  return kErrNotSupported;
}

void LoaderConnectFailed(UpdateContext& c) {
  ShowErrorBox(c,
               "The " + c.caption + " is unable to connect to the firmware loader in your " +
                   c.deviceName + ".\n\nPlease try again.",
               "Firmware Loader Error", BoxKind::kError);
}

// A journal of a run cut off after its erase, and a sensor that answers: the sensor whose new
// firmware started before its settings were back (it runs the image's version, with factory
// settings), or another one. Returns true when this run must restore the earlier run's file
// instead of saving over it what the sensor holds now (1); 0 when it saves as usual; or the
// failure to keep the earlier file aside (the run stops).
int32_t ResumeUnfinishedRun(UpdateContext& c, const UpdateJournal& journal) {
  VexaSDI12& sensor = c.session->sensor;
  // What the sensor holds now, read without writing the settings file.
  const int32_t read = DPCollectInfo(c.session);
  if (read >= 0) c.versionBefore = sensor.version;
  const bool runsNewFirmware = read >= 0 && sensor.version == c.imageVersion;
  if (runsNewFirmware) {
    if (ClaimUnfinishedSettings(c, journal, sensor.serialNumber)) return kResultOk;
  }
  const int32_t kept = KeepUnfinishedSettings(c, journal);
  return kept < 0 ? kept : kResultNothingDone;
}

// The settings, the version window and the questions about the sensor met.
int32_t SaveAndCheckSensor(UpdateContext& c) {
  ShowStatus(c, RunPhase::kSavingSettings, "Saving settings for this digital sensor...");
  Relay(c, "[");
  PumpingWait(500);
  UpdateJournal journal;
  if (ReadJournal(JournalPath(c), &journal)) {
    const int32_t resumed = ResumeUnfinishedRun(c, journal);
    if (resumed < 0) return resumed;
    if (resumed > 0) return kResultOk;  // the earlier run's file is restored after the firmware
  }
  const int32_t saved = DPSaveInfo(c.session, c.settingsPath.c_str());
  if (saved >= 0) {
    c.settingsSaved = true;
  } else if (IsFileWriteFailure(saved)) {
    // Read, but the file could not be written: the erase must not begin without it.
    DataFolderFailed(c, saved);
    return saved;
  } else if (c.options.serviceFlag || c.options.factoryMode) {
    if (ConfirmBox(c, SettingsRetrieveQuestionText(c), "Settings Retrieve Error") !=
        BoxAnswer::kOk) {
      return kErrCancelled;
    }
  } else {
    ShowErrorBox(c,
                 "This " + c.caption + " could not retrieve the settings from your " +
                     c.deviceName + ".\nPlease try again or contact Norvane for help.",
                 "Settings Error", BoxKind::kError);
    return saved;
  }
  const VexaSDI12& sensor = c.session->sensor;
  if (sensor.version != 0) c.versionBefore = sensor.version;
  DescribeDevice(ImageTargetType(c), sensor.version, &c.descriptor);
  if (!CheckFirmwareRange(c)) return kErrNotSupported;
  if (c.imageVersion < c.descriptor.version &&
      ConfirmBox(c,
                 "The firmware in your " + c.deviceName +
                     "\nis newer than the version in this updater.\n\n" +
                     "Are you sure you want to load older firmware.",
                 "Newer Firmware") != BoxAnswer::kOk) {
    return kErrCancelled;
  }
  if (!SensorTypeAccepts(c.sensorType, sensor.type)) {
    char reported[kSensorNameSize];
    SensorTypeName(sensor.type, reported);
    if (ConfirmBox(c,
                   "The attached sensor is claiming to be a \"" + std::string(reported) + "\"\n\n" +
                       "This firmware updater is for a \"" + c.deviceName + "\".\n\n" +
                       "Are you sure you want to load the firmware for a " + c.deviceName + "?\n",
                   "Wrong Sensor Type") != BoxAnswer::kOk) {
      return kErrCancelled;
    }
  }
  return kResultOk;
}

int32_t StartSensorLoader(UpdateContext& c) {
  SetProgress(c, 6);
  ShowStatus(c, RunPhase::kStartingLoader, "Starting the firmware loader...");
  const int32_t invoked = SDIInvokeVexaBSL(&c.session->sensor);
  if (invoked == kErrSensorHasNoLoader || invoked == kErrNoLoader) {
    ShowErrorBox(c,
                 std::string("This digital sensor does not have a working firmware loader.") +
                     ".\n\nPlease contact Norvane for help.",
                 "Firmware Loader Error", BoxKind::kError);
    return kErrNoLoader;
  }
  if (invoked < 0) {
    LoaderConnectFailed(c);
    return kErrLoaderHandshake;
  }
  return kResultOk;
}

// The sensor's loader programs its flash and the sensor restarts.
int32_t ProgramSensor(UpdateContext& c) {
  VexaBSLHost* loader = c.loader;
  if (BSLAttach(loader) < 0) {
    LoaderConnectFailed(c);
    return kErrLoaderHandshake;
  }
  // The sensor's loader, behind the reader, needs a moment after the erase.
  const int32_t written = EraseAndWriteFirmware(c, 100);
  if (written < 0) return written;
  SetProgress(c, 92);
  BSLHandBack(loader);
  Relay(c, "[");
  StepProgress(c);
  ShowStatus(c, RunPhase::kCheckingFirmware, "Checking new firmware...");
  PumpingWait(1000);
  return kResultOk;
}

// The new firmware's self-test, the settings back, the chosen type.
int32_t FinishWithNewFirmware(UpdateContext& c) {
  VexaSDI12& sensor = c.session->sensor;
  const int32_t checked = SDICheckBinary(&sensor);
  if (checked == kErrFirmwareCorrupt) {
    ShowErrorBox(c,
                 "The new firmware for your " + c.deviceName +
                     " is corrupt!\n\nPlease try again or contact Norvane.",
                 "Firmware Error", BoxKind::kError);
    return kErrFirmwareCorrupt;
  }
  if (checked < 0) {
    ShowErrorBox(c,
                 "The " + c.caption + " was unable to verify the new firmware in your " +
                     c.deviceName + ".\n\nPlease try again or contact Norvane.\n\n[Error " +
                     std::to_string(checked) + "]",
                 "Firmware Error", BoxKind::kError);
    return checked;
  }
  // The sensor runs what passed its self-test: the image this run wrote.
  c.versionAfter = c.imageVersion;
  StepProgress(c);
  ShowStatus(c, RunPhase::kRestoringSettings, "Restoring settings...");
  // Always: a run that found the sensor in its loader restores the earlier run's file.
  const int32_t restored = DPRestoreInfo(c.session, c.settingsPath.c_str(), nullptr);
  if (restored >= 0) {
    c.settingsRestored = true;
    RemoveJournal(JournalPath(c));  // the settings are back: nothing left to finish
  } else {
    // The run still ends in success; the settings file stays for another try.
    c.restoreIncomplete = true;
    c.restoreResult = restored;
    ShowErrorBox(c,
                 "The " + c.caption + " failed to restore the calibration and address\n" +
                     "for your " + c.deviceName +
                     ".\n\nPlease calibrate this sensor and check the address.\n\n[Error " +
                     std::to_string(restored) + "]",
                 "Settings Error", BoxKind::kError);
  }
  // Without settings (none read, none restored) the sensor object does not know whether the
  // sensor writes its type as digits or as a letter: the new firmware is asked first.
  if (restored < 0 && !c.settingsSaved) SDIGetSensorType(&sensor);
  const int32_t typed = SDISetSensorType(&sensor, c.sensorType);
  if (typed < 0) {
    ShowErrorBox(c,
                 "The " + c.caption + " failed to set the sensor type for your " + c.deviceName +
                     ".\n\nThe sensor type will be auto-determined by the firmware.\n\n[Error " +
                     std::to_string(typed) + "]",
                 "Settings Error", BoxKind::kError);
  }
  StepProgress(c);
  Relay(c, "`");
  DPLogout(c.session, false);
  return kResultOk;
}

}  // namespace

void EndSensorRelay(UpdateContext& c) {
  if (c.session->device.port.handle != kNoHandle) Relay(c, "`");
  BSLHandBack(c.loader);
}

int32_t UpdateSensor(UpdateContext& c) {
  SessionContext* session = c.session;
  const int32_t connected = DPConnect(session, c.portName.c_str(), 2, kConnectTries, &c.descriptor);
  if (connected < 0) {
    ShowErrorBox(c, ReaderFailureText(c, connected), "Connection Error", BoxKind::kError);
    return kErrNothingListening;
  }
  const int32_t reader = CheckReader(c);
  if (reader < 0) return reader;

  StepProgress(c);
  ShowStatus(c, RunPhase::kCheckingBattery, "Checking FieldPal battery power...");
  int32_t percent = -1;
  if (DPCheckBattery(session, &percent) >= 1 && percent <= kLowBattery) {
    ShowErrorBox(c,
                 std::string("The battery power in the FieldPal is too low!\n\n") +
                     "Please replace the batteries before running this updater.",
                 "Batteries Too Low", BoxKind::kError);
    return kErrBatteryLow;
  }

  StepProgress(c);
  VexaBSLHost* loader = c.loader;
  loader->progressHook = LoaderProgress;
  loader->progressContext = &c;
  SerialPort& port = session->device.port;
  const int32_t handed =
      BSLHandOff(loader, port.handle, port.gReadBuffer, port.name, true, kHandOffTries);
  if (handed < 0) {
    ShowErrorBox(
        c, "The " + c.caption + " is unable to start the VexaBSL engine.\n\nPlease try again.",
        "Firmware Loader Error", BoxKind::kError);
    return handed;
  }
  Relay(c, "]");
  PumpingWait(500);
  // A sensor left in its loader by a run that was cut off: connected still (kErrLoaderRunning), or
  // waiting after its power came back (kErrLoaderWaiting). Either way it answers no SDI-12 command
  // until its new firmware runs, so the run goes straight to the loader and restores the earlier
  // run's file.
  const int32_t found = BSLCheck(loader, c.portName.c_str(), kSensorLoaderBaud);
  const bool inLoader = found == kErrLoaderRunning || found == kErrLoaderWaiting;

  session->type = kDigitalSensorType;
  session->descriptor.type = kDigitalSensorType;
  DescribeDevice(ImageTargetType(c), kAnyVersion, &c.descriptor);

  if (!inLoader) {
    const int32_t checked = SaveAndCheckSensor(c);
    if (checked < 0) return checked;
    const int32_t started = StartSensorLoader(c);
    if (started < 0) return started;
  } else {
    LogMessage(c.log, vexa_log_level::kMilestone, "VexaBSL Host",
               "Found the sensor in its loader: finishing an earlier update");
  }
  const int32_t programmed = ProgramSensor(c);
  if (programmed < 0) return programmed;
  return FinishWithNewFirmware(c);
}
