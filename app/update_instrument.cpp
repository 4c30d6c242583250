#include <cstdio>
#include <cstring>

#include "app/firmware_write.h"
#include "app/instrument_checks.h"
#include "app/unfinished_run.h"
#include "app/update_journal.h"
#include "app/update_run.h"
#include "app/update_texts.h"
#include "loader/bsl_protocol.h"
#include "session/connection.h"
#include "session/save_restore.h"

namespace {

constexpr uint32_t kConnectTries = 3;
constexpr uint32_t kReconnectPauseMs = 1500;  // times the attempt number: 0, 1500, 3000 ms
constexpr uint32_t kLoaderTries = 3;
constexpr int kLowBattery = 10;

// After a run that was cut off between the erase and the end of its restore. 1 when this run
// must skip the save and restore the earlier run's file after the firmware; 0 when it saves as
// usual; or the failure to keep the earlier file aside (the run stops). `loggedIn` tells whether
// it logged in to read the serial number.
int32_t ResumeUnfinishedRun(UpdateContext& c, const UpdateJournal& journal, bool* loggedIn) {
  const bool runsNewFirmware =
      c.descriptor.type == ImageTargetType(c) && c.descriptor.version == c.imageVersion;
  if (runsNewFirmware) {
    // Most likely the instrument whose update was cut off after its new firmware started. A
    // family that keeps its settings behind the login refuses even the serial number before it.
    if (c.descriptor.needsLogin) *loggedIn = DPLogin(c.session) >= 0;
    char serial[64] = {};
    DPReadSerialNumber(c.session, serial, sizeof serial);
    if (ClaimUnfinishedSettings(c, journal, serial)) return kResultOk;
  }
  const int32_t kept = KeepUnfinishedSettings(c, journal);
  return kept < 0 ? kept : kResultNothingDone;
}

int32_t FirstConnect(UpdateContext& c) {
  int32_t r = DPConnect(c.session, c.portName.c_str(), 2, kConnectTries, &c.descriptor);
  if (r == kErrNothingListening) {
    // Nothing on the command line: perhaps a loader left waiting by an earlier, broken run.
    DescribeDevice(c.productType, kAnyVersion, &c.descriptor);
    r = BSLCheck(c.loader, c.portName.c_str(), c.descriptor.loaderBaud);
    BSLDisconnect(c.loader);
  }
  return r;
}

int32_t SaveSettings(UpdateContext& c, bool loggedIn) {
  ShowStatus(c, RunPhase::kSavingSettings, "Saving settings for this " + c.deviceName + "...");
  if (c.descriptor.needsLogin && !loggedIn) {
    const int32_t login = DPLogin(c.session);
    if (login < 0) {
      ShowErrorBox(c,
                   "This " + c.caption + " could not retrieve the settings from your " +
                       c.deviceName + ".\nPlease try again or contact Norvane for help.",
                   "Login Error", BoxKind::kError);
      return login;
    }
  }
  const int32_t saved = DPSaveInfo(c.session, c.settingsPath.c_str());
  if (saved >= 0 || saved == kErrPartlyDone) c.settingsSaved = true;
  if (saved >= 0) return kResultOk;
  if (IsFileWriteFailure(saved)) {
    // The settings were read but the file could not be written: no question may lead on to the
    // erase, after which a power cut would leave them nowhere.
    DataFolderFailed(c, saved);
    return saved;
  }
  if (c.options.serviceFlag || c.options.factoryMode) {
    const BoxAnswer answer =
        ConfirmBox(c, SettingsRetrieveQuestionText(c), "Settings Retrieve Error");
    return answer == BoxAnswer::kOk ? kResultOk : kErrCancelled;
  }
  if (saved == kErrPartlyDone) return kResultOk;
  ShowErrorBox(c,
               "This " + c.caption + " could not retrieve the settings from your " + c.deviceName +
                   ".\nPlease try again or contact Norvane for help.",
               "Settings Error", BoxKind::kError);
  return saved;
}

// The loader programs the flash and the instrument restarts.
int32_t ProgramFlash(UpdateContext& c) {
  const DeviceDescriptor& d = c.descriptor;
  VexaBSLHost* loader = c.loader;
  loader->progressHook = LoaderProgress;
  loader->progressContext = &c;
  const int32_t connected =
      BSLConnect(loader, c.portName.c_str(), d.loaderBaud, true, kLoaderTries);
  if (connected == kErrNoLoader) {
    ShowErrorBox(c,
                 "This " + c.deviceName + " does not have a working firmware loader." +
                     "\n\nPlease contact Norvane for help.",
                 "Firmware Loader Error", BoxKind::kError);
    return kErrNoLoader;
  }
  if (connected < 0) {
    ShowErrorBox(c,
                 "The " + c.caption + " is unable to connect to the firmware loader in your " +
                     c.deviceName + ".\n\nPlease try again.",
                 "Firmware Loader Error", BoxKind::kError);
    return kErrLoaderHandshake;
  }
  const int32_t written = EraseAndWriteFirmware(c, 0);
  if (written < 0) return written;
  BSLDisconnect(loader);
  PumpingWait(d.bootWaitMs);
  SetProgress(c, 92);
  return kResultOk;
}

void RestoreFailed(UpdateContext& c, int32_t code) {
  if (code == kErrSettingsFileMissing) {
    ShowErrorBox(c, MissingSettingsFileText(c), "Settings Error", BoxKind::kError);
  }
  ShowErrorBox(c, RestoreFailureText(c, code), "Settings Error", BoxKind::kError);
}

// The new firmware: its self-test, the settings back, the clock and the old data.
int32_t FinishWithNewFirmware(UpdateContext& c) {
  int32_t r = 0;
  for (uint32_t attempt = 0; attempt < kConnectTries; ++attempt) {
    r = DPConnect(c.session, c.portName.c_str(), 2, kConnectTries, &c.descriptor);
    if (r >= 1) break;
    PumpingWait(attempt * kReconnectPauseMs);
  }
  if (r < 0) {
    ShowErrorBox(c, LoaderFailureText(c, r), "Connection Error", BoxKind::kError);
    return r;
  }
  c.versionAfter = c.descriptor.version;
  const DeviceDescriptor& d = c.descriptor;
  if (d.needsLogin && DPLogin(c.session) < 0) {
    ShowErrorBox(c,
                 "This " + c.caption + " failed to log into your " + c.deviceName +
                     ".\nPlease check the settings on your instrument or contact Norvane for help.",
                 "Login Error", BoxKind::kError);
  }
  StepProgress(c);
  ShowStatus(c, RunPhase::kCheckingFirmware, "Checking new firmware...");
  const int32_t firmware = DPCheckFirmware(c.session, d.postInit);
  if (firmware < 0) {
    ShowErrorBox(c,
                 "The new firmware for your " + c.deviceName +
                     " is corrupt!\n\nPlease try again or contact Norvane.",
                 "Firmware Error", BoxKind::kError);
    return firmware;
  }
  StepProgress(c);
  ShowStatus(c, RunPhase::kRestoringSettings, "Restoring settings...");
  // An instrument that stopped answering in the restore (the cable pulled, the power gone) will
  // not answer the clock or the erase either: each would wait out all of its tries, most of a
  // minute in all, for the same no-answer failure the user is told of at once instead.
  bool stoppedAnswering = false;
  if (d.saveSettings) {
    const char* serial = c.options.replaceSerial && !c.options.newSerial.empty()
                             ? c.options.newSerial.c_str()
                             : nullptr;
    const int32_t restored = DPRestoreInfo(c.session, c.settingsPath.c_str(), serial);
    if (restored >= 0) {
      c.settingsRestored = true;
      RemoveJournal(JournalPath(c));  // the settings are back: nothing left to finish
    } else {
      c.restoreIncomplete = true;
      c.restoreResult = restored;
      stoppedAnswering = restored == kErrNoAnswer;
      RestoreFailed(c, restored);
    }
  }
  if (stoppedAnswering) {
    LogMessage(c.log, vexa_log_level::kError, "VexaBSL Host",
               "The instrument stopped answering: the clock is not set and the data not erased");
  } else if (d.setClock) {
    DPSetTime(c.session);
  }
  StepProgress(c);
  if (d.eraseData && !c.options.dontEraseData) {
    ShowStatus(c, RunPhase::kErasingData, "Erasing old data...");
    const int32_t erased = stoppedAnswering ? kErrNoAnswer : DPEraseData(c.session);
    if (erased < 0) {
      ShowErrorBox(c, EraseFailureText(c, erased), "Data Erase Error", BoxKind::kError);
      return erased;
    }
  }
  const char* adc = c.session->lab.adc;
  if (!adc[0] || std::strstr(adc, "50.98")) c.descriptor.calibrationNotice = true;
  DPLogout(c.session, true);
  return kResultOk;
}

}  // namespace

int32_t UpdateInstrument(UpdateContext& c) {
  const int32_t r = FirstConnect(c);
  const bool inLoader = r == kErrLoaderRunning || r == kErrLoaderWaiting;
  if (r < 0 && !inLoader) {
    ShowErrorBox(c, ConnectionFailureText(c, r), "Connection Error", BoxKind::kError);
    return kErrNothingListening;
  }
  if (!inLoader) c.versionBefore = c.descriptor.version;
  StepProgress(c);
  const int imageType = ImageTargetType(c);
  bool restoreFromFile = inLoader;
  if (inLoader) {
    DescribeDevice(imageType, kAnyVersion, &c.descriptor);
  } else {
    const DeviceDescriptor& d = c.descriptor;
    if (d.type != imageType) {
      std::string text = "The " + c.caption + " expected to find a " + c.deviceName +
                         ";\nhowever, it found a " + d.name +
                         ".\n\nThis updater can not update a " + d.name + ".";
      if (!c.options.factoryMode) {
        ShowErrorBox(c, text, "Wrong Device", BoxKind::kError);
        return kErrWrongDevice;
      }
      text += "\n\n[Factory Mode Override: Click OK to load FW anyway]";
      if (ConfirmBox(c, text, "Wrong Device") != BoxAnswer::kOk) return kErrWrongDevice;
    }
    if (!d.supported) {
      ShowErrorBox(c,
                   "The firmware in the connected " + c.deviceName +
                       "\nis too old.\n\nThis updater can not update this device.",
                   "Firmware Too Old", BoxKind::kError);
      return kErrNotSupported;
    }
    if (d.version > c.imageVersion && !c.options.factoryMode &&
        ConfirmBox(c,
                   "The firmware in your " + c.deviceName +
                       "\nis newer than the version in this updater.\n\n" +
                       "Are you sure you want to load older firmware.",
                   "Newer Firmware") != BoxAnswer::kOk) {
      return kErrCancelled;
    }
    if (!CheckHardwareRevision(c) || !CheckFirmwareRange(c)) return kErrNotSupported;
    if (d.checkBattery) {
      ShowStatus(c, RunPhase::kCheckingBattery, "Checking battery power...");
      int32_t percent = -1;
      if (DPCheckBattery(c.session, &percent) > 0 && percent < kLowBattery) {
        ShowErrorBox(c,
                     std::string("The battery power is too low!\n\n") +
                         "Please replace the batteries before running this updater.",
                     "Batteries Too Low", BoxKind::kError);
        return kErrBatteryLow;
      }
    }
    StepProgress(c);
    UpdateJournal journal;
    bool loggedIn = false;
    if (ReadJournal(JournalPath(c), &journal)) {
      const int32_t resumed = ResumeUnfinishedRun(c, journal, &loggedIn);
      if (resumed < 0) return resumed;
      restoreFromFile = resumed > 0;
    }
    if (!restoreFromFile && d.saveSettings) {
      const int32_t saved = SaveSettings(c, loggedIn);
      if (saved < 0) return saved;
    }
  }
  DPLogout(c.session, false);
  SetProgress(c, 6);
  ShowStatus(c, RunPhase::kStartingLoader, "Starting the firmware loader...");
  const int32_t programmed = ProgramFlash(c);
  if (programmed < 0) return programmed;
  return FinishWithNewFirmware(c);
}
