#include "instrument/device_settings.h"

#include <bit>

#include "instrument/device_types.h"
#include "instrument/identify.h"
#include "instrument/radio_modem.h"
#include "instrument/session.h"
#include "instrument/setting_commands.h"

namespace {

namespace bit = setting_bit;

constexpr uint32_t kRadioSettings = bit::kRadioChannel | bit::kRadioSubChannel | bit::kRadioVersion;
// What "show" of the oldest firmware answers for, and what it gives.
constexpr uint32_t kShowAnswers =
    bit::kName | bit::kSerialNumber | bit::kWakeInterval | bit::kRadioMode;
constexpr uint32_t kShowTriggers = bit::kName | bit::kWakeInterval | bit::kRadioMode;
constexpr uint32_t kShowGives =
    bit::kName | bit::kIdentification | bit::kWakeInterval | bit::kRadioMode;
constexpr uint32_t kFailurePauseMs = 100;

// The order the settings are treated in, one per pass, after the identification and (reading
// the oldest firmware) "show". The radio values go together.
constexpr uint32_t kOrder[] = {
    bit::kName,         bit::kDeviceId,     bit::kReportMode, bit::kDepths,
    bit::kLatitude,     bit::kLongitude,    bit::kTimeZone,   bit::kSite,
    bit::kSerialNumber, bit::kWakeInterval, bit::kPadc,       bit::kPorts,
    bit::kTrait,        bit::kRadioMode,    kRadioSettings,   bit::kDataParameter,
    bit::kBuild,        bit::kAdc30,        bit::kAdc15,      bit::kApn,
    bit::kApnUser,      bit::kApnPassword,  bit::kAuthKey,    bit::kRemoteHost,
    bit::kIpPort,
};

// One pass's outcome: what it did, what it settled (removed from the wanted ones) and the
// operation's result.
struct Pass {
  int32_t result = kResultOk;
  uint32_t settled = 0;
  uint32_t done = 0;
};

bool Identified(const SettingsRecord& record) {
  return record.deviceType != 0 && record.newFirmware != 0 && record.versionText[0] != 0 &&
         record.versionNumber != 0;
}

Pass Identify(DeviceContext* device, SettingDirection direction) {
  Pass pass;
  pass.settled = bit::kIdentification;
  if (direction == SettingDirection::kWrite) return pass;
  if (!Identified(device->settings)) pass.result = VerCommand(device, false);
  if (pass.result == kErrNotForThisType) {
    LogMessage(device->log, vexa_log_level::kError, DeviceTag(device),
               "DeviceSettings: old VaultKeep model 007 not supported");
    return pass;
  }
  if (device->settings.newFirmware) {
    if (pass.result > 0) pass.done = bit::kIdentification;
  } else {
    pass.settled |= kShowAnswers;
    if (pass.result > 0) pass.done = kShowGives;
  }
  return pass;
}

Pass ReadShow(DeviceContext* device) {
  Pass pass;
  pass.settled = kShowAnswers;
  pass.result = ParseShowCommand(device, nullptr);
  if (pass.result > 0) pass.done = kShowGives;
  return pass;
}

Pass Radio(DeviceContext* device, uint32_t wanted, SettingDirection direction) {
  Pass pass;
  pass.settled = kRadioSettings;
  SettingsRecord& record = device->settings;
  if (direction != SettingDirection::kWrite && (record.trait & trait::kKnown) &&
      !(record.trait & trait::kRadio)) {
    pass.result = kErrModemNotConfigured;  // known to have no radio: nothing to ask
    return pass;
  }
  uint32_t mask = wanted & kRadioSettings;
  pass.result = MSRadioCommand(device, &record.radioChannel, &record.radioSubChannel,
                               record.radioVersion, direction, &mask);
  pass.done = mask & kRadioSettings;
  return pass;
}

// The operation of one setting on its field of the record.
int32_t RunSetting(DeviceContext* device, uint32_t setting, SettingDirection direction) {
  SettingsRecord& r = device->settings;
  switch (setting) {
    case bit::kName:
      return NameCommand(device, r.deviceName, direction);
    case bit::kDeviceId:
      return DeviceIDCommand(device, r.deviceId, direction);
    case bit::kReportMode:
      return ReportCommand(device, &r.reportMode, direction);
    case bit::kDepths:
      return DepthCommand(device, r.depths, direction);
    case bit::kLatitude:
      return LatitudeCommand(device, &r.latitude, direction);
    case bit::kLongitude:
      return LongitudeCommand(device, &r.longitude, direction);
    case bit::kTimeZone:
      return TimeZoneCommand(device, &r.timeZoneQuarters, direction);
    case bit::kSite:
      return SiteCommand(device, r.site, direction);
    case bit::kSerialNumber:
      return SNCommand(device, r.serialNumber, direction);
    case bit::kWakeInterval:
      return WakeCommand(device, &r.wakeInterval, direction);
    case bit::kPadc:
      return PADCCommand(device, &r.padcHertz, direction);
    case bit::kPorts:
      return PortsCommand(device, r.ports, direction);
    case bit::kTrait:
      return TraitCommand(device, &r.trait, direction);
    case bit::kRadioMode:
      return RmodeCommand(device, &r.radioMode, direction);
    case bit::kDataParameter:
      return DataParameterCommand(device, &r.dataParameter, direction);
    case bit::kBuild:
      return VexaBuildCommand(device, r.buildText, direction);
    case bit::kAdc30:
      return ADCcalCommand(device, kAdc30Table, r.adc30Slopes, r.adc30Offsets, direction);
    case bit::kAdc15:
      return ADCcalCommand(device, kAdc15Table, r.adc15Slopes, r.adc15Offsets, direction);
    case bit::kApn:
      return APNCommand(device, r.apn, direction);
    case bit::kApnUser:
      return APNUserCommand(device, r.apnUser, direction);
    case bit::kApnPassword:
      return APNPasswdCommand(device, r.apnPassword, direction);
    case bit::kAuthKey:
      return AuthKeyCommand(device, r.authKey, direction);
    case bit::kRemoteHost:
      return HostCommand(device, r.remoteHost, direction);
    case bit::kIpPort:
      return IPPortCommand(device, &r.ipPort, direction);
    default:
      return kResultOk;
  }
}

// The first wanted setting by the order, run on the record held in the context.
Pass RunNext(DeviceContext* device, uint32_t wanted, SettingDirection direction) {
  if (wanted & bit::kIdentification) return Identify(device, direction);
  if (direction != SettingDirection::kWrite && !device->settings.newFirmware &&
      (wanted & kShowTriggers)) {
    return ReadShow(device);
  }
  for (uint32_t setting : kOrder) {
    if (!(wanted & setting)) continue;
    if (setting == kRadioSettings) return Radio(device, wanted, direction);
    Pass pass;
    pass.settled = setting;
    pass.result = RunSetting(device, setting, direction);
    if (pass.result > 0) pass.done = setting;
    // A position or site the instrument does not give back is not part of the record.
    if (pass.result < 0 && (setting & (bit::kLatitude | bit::kLongitude | bit::kSite))) {
      device->settings.presentMask &= ~setting;
    }
    return pass;
  }
  return Pass{};  // a bit no setting answers to: nothing changes and the loop ends
}

int Count(uint32_t mask) {
  return std::popcount(mask);
}

bool ReportProgress(DeviceContext* device, uint32_t total, uint32_t done, int phase) {
  if (!device->options.progressEnabled || !device->progressHook) return true;
  return device->progressHook(device->progressContext, total, done, phase);
}

}  // namespace

int32_t DeviceSettings(DeviceContext* device, SettingsRecord* record, uint32_t* wanted,
                       SettingDirection direction) {
  if (!device || !record || !wanted) return kErrMissingArgument;
  if (direction != SettingDirection::kRead && direction != SettingDirection::kWrite)
    return kErrBadArgument;
  SettingsRecord& held = device->settings;
  const uint32_t total = static_cast<uint32_t>(Count(*wanted));
  uint32_t want = *wanted;
  if (direction == SettingDirection::kWrite) {
    held = *record;
  } else {
    if (held.versionNumber == 0) want |= bit::kIdentification;
    if ((want & kRadioSettings) && !(held.presentMask & bit::kTrait)) want |= bit::kTrait;
  }
  const uint32_t askedFor = want;

  uint32_t done = 0;
  int32_t result = kResultOk;
  int32_t previous = kResultOk;
  uint32_t passWanted = ~want;  // the wanted bits at the start of the last pass that ran
  int32_t passResult = kResultOk;
  uint32_t reconnects = 0;
  const char* tag = DeviceTag(device);

  for (;;) {
    const uint32_t left = static_cast<uint32_t>(Count(want));
    if (!ReportProgress(device, total, left < total ? total - left : 0, progress_phase::kWorking)) {
      LogMessage(device->log, vexa_log_level::kMilestone, tag,
                 "DeviceSettings canceled by user after getting %d of %d settings", Count(done),
                 static_cast<int>(total));
      ReportProgress(device, total, total, progress_phase::kFinished);
      return kErrCancelled;
    }
    if (previous == kErrEchoed || previous == kErrRelayEchoes || previous == kErrNameOnlyPrompt) {
      result = previous;
      break;
    }
    if (previous < 0) {
      result = kErrPartlyDone;
      PumpingWait(kFailurePauseMs);
    }
    if (previous == kErrNoAnswer) {
      if (device->request.linkKind == link_kind::kRadio || reconnects >= device->tries) {
        result = kErrNoAnswer;
        break;
      }
      ++reconnects;
      const int32_t login =
          DeviceLogin(device, device->request.deviceName, &device->request.baudCode);
      if (login == kErrNothingListening) {
        result = kErrNoAnswer;
        break;
      }
      if (login == kResultOk) {
        LogMessage(device->log, vexa_log_level::kTrace, "******",
                   "DeviceSettings re-connected to device");
        want = passWanted;  // the setting that met the silence runs again
        result = passResult;
      }
    } else {
      if (want == 0 || want == passWanted) break;
      passWanted = want;
      passResult = result;
      reconnects = 0;
    }

    const Pass pass = RunNext(device, want, direction);
    if (pass.result == kErrNotForThisType && (pass.settled & bit::kIdentification)) {
      return pass.result;
    }
    done |= pass.done;
    want &= ~pass.settled;
    previous = pass.result;
  }

  if (done == 0 && result == kResultOk && askedFor != 0) result = kErrNoCapability;
  *wanted = done;
  if (direction != SettingDirection::kWrite) {
    held.presentMask |= done;
    *record = held;
  }
  ReportProgress(device, total, total, progress_phase::kFinished);
  return result;
}
