// The settings of the common shapes, one row each, and the members with a rule of their own on
// top of a row (time zone, interval, PADC, radio mode, authkey).
#include "instrument/setting_commands.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "instrument/device_types.h"
#include "instrument/setting_exchange.h"
#include "instrument/value_reading.h"

namespace {

constexpr uint32_t kNetworkAnswerBytes = 64;
constexpr uint32_t kHostAnswerBytes = 96;
constexpr uint32_t kSecondsPerQuarterHour = 900;
constexpr int32_t kOldestPadcVersion = 165;
constexpr int32_t kRQ7RadioMode = 16;  // an rQ7 is always in this mode and has no "-r"

constexpr SettingRow kDeviceId{"DeviceIDCommand",
                               Gate::kCapability,
                               capability::kSiteItems,
                               "set -devid %s\r",
                               "get -devid\r",
                               ValueRule::kText,
                               kInstrumentNameLength,
                               kSettingAnswerBytes,
                               false,
                               false,
                               kErrUnreadableAnswer,
                               "DeviceIDCommand set DeviceID to \"%s\" (%d ms)",
                               "DeviceIDCommand found DeviceID \"%s\" (%d ms)",
                               nullptr};
constexpr SettingRow kReport{"ReportCommand",
                             Gate::kCapability,
                             capability::kSiteItems,
                             "set -report %d\r",
                             "get -report\r",
                             ValueRule::kNumber,
                             0,
                             kSettingAnswerBytes,
                             false,
                             false,
                             kErrUnreadableAnswer,
                             "ReportCommand set report mode to %d (%d ms)",
                             "ReportCommand found device report mode %d (%d ms)",
                             "ReportCommand could not find device report mode (%d ms)"};
constexpr SettingRow kSite{"SiteCommand",
                           Gate::kCapability,
                           capability::kSiteItems,
                           "set -site %s\r",
                           "get -site\r",
                           ValueRule::kText,
                           25,
                           kSettingAnswerBytes,
                           false,
                           false,
                           kErrUnreadableAnswer,
                           "SiteCommand set site to \"%s\" (%d ms)",
                           "SiteCommand found site name \"%s\" (%d ms)",
                           nullptr};
constexpr SettingRow kTimeZone{"TimeZoneCommand",
                               Gate::kCapability,
                               capability::kSiteItems,
                               "set -tz %d\r",
                               "get -tz\r",
                               ValueRule::kNumber,
                               0,
                               kSettingAnswerBytes,
                               false,
                               false,
                               kErrUnreadableAnswer,
                               "TimeZoneCommand set time zone to %d (%d ms)",
                               "TimeZoneCommand found device time zone %d (%d ms)",
                               "TimeZoneCommand could not find device time zone (%d ms)"};
constexpr SettingRow kWake{"WakeCommand",
                           Gate::kCapability,
                           capability::kWake,
                           "set -w %d\r",
                           "get -w\r",
                           ValueRule::kNumberAfterReturn,
                           0,
                           kSettingAnswerBytes,
                           true,
                           false,
                           kErrUnreadableAnswer,
                           "WakeCommand set device measurement interval to %d (%d ms)",
                           "WakeCommand found device measurement interval %d (%d ms)",
                           "WakeCommand could not find device measurement interval (%d ms)"};
constexpr SettingRow kPadc{"PADCCommand",
                           Gate::kCapability,
                           capability::kWake,
                           "set -padc %d\r",
                           "get -padc\r",
                           ValueRule::kNumberAfterReturn,
                           0,
                           kSettingAnswerBytes,
                           true,
                           false,
                           kErrUnreadableAnswer,
                           "PADCCommand set device PADC %d Hz (%d ms)",
                           "PADCCommand found device PADC %d Hz (%d ms)",
                           "PADCCommand could not find device PADC value (%d ms)"};
// The oldest firmware's names for the same setting.
constexpr SettingRow kOldestPadc{"PADCCommand",
                                 Gate::kCapability,
                                 capability::kWake,
                                 "set -p %d\r",
                                 "hertz\r",
                                 ValueRule::kNumberAfterReturn,
                                 0,
                                 kSettingAnswerBytes,
                                 true,
                                 false,
                                 kErrUnreadableAnswer,
                                 "PADCCommand set device PADC %d Hz (%d ms)",
                                 "PADCCommand found device PADC %d Hz (%d ms)",
                                 "PADCCommand could not find device PADC value (%d ms)"};
constexpr SettingRow kDataParameter{
    "DataParameterCommand",
    Gate::kCapability,
    capability::kDataParameter,
    "set -data %d\r",
    "get -data\r",
    ValueRule::kNumber,
    0,
    kSettingAnswerBytes,
    false,
    false,
    kErrUnreadableAnswer,
    "DataParameterCommand set data parameter to %d (%d ms)",
    "DataParameterCommand found data parameter %d (%d ms)",
    "DataParameterCommand could not find device data parameter (%d ms)"};
constexpr SettingRow kBuild{"VexaBuildCommand",
                            Gate::kCapability,
                            capability::kBuild,
                            "set -build %s\r",
                            "get -build\r",
                            ValueRule::kLine,
                            kBuildTextLength,
                            kSettingAnswerBytes,
                            false,
                            false,
                            kErrUnreadableAnswer,
                            "VexaBuildCommand set VexaBuild number to \"%s\" (%d ms)",
                            "VexaBuildCommand found VexaBuild info \"%s\" (%d ms)",
                            nullptr};
constexpr SettingRow kApn{"APNCommand",
                          Gate::kNetwork,
                          0,
                          "set -apn %s\r",
                          "get -apn\r",
                          ValueRule::kText,
                          kApnLength,
                          kNetworkAnswerBytes,
                          false,
                          false,
                          kErrUnreadableAnswer,
                          "APNCommand set APN to \"%s\" (%d ms)",
                          "APNCommand found APN \"%s\" (%d ms)",
                          nullptr};
constexpr SettingRow kApnUser{"APNUserCommand",
                              Gate::kNetwork,
                              0,
                              "set -user %s\r",
                              "get -user\r",
                              ValueRule::kText,
                              kApnLength,
                              kNetworkAnswerBytes,
                              false,
                              false,
                              kErrUnreadableAnswer,
                              "APNUserCommand set APN user name to \"%s\" (%d ms)",
                              "APNUserCommand found APN user name \"%s\" (%d ms)",
                              nullptr};
constexpr SettingRow kApnPassword{"APNPasswdCommand",
                                  Gate::kNetwork,
                                  0,
                                  "set -passwd %s\r",
                                  "get -passwd\r",
                                  ValueRule::kText,
                                  kApnLength,
                                  kNetworkAnswerBytes,
                                  false,
                                  true,
                                  kErrUnreadableAnswer,
                                  "APNPasswdCommand set APN password to \"%s\" (%d ms)",
                                  "APNPasswdCommand found APN password \"%s\" (%d ms)",
                                  nullptr};
constexpr SettingRow kAuthKey{"AuthKeyCommand",
                              Gate::kNetwork,
                              0,
                              "set -authkey %s\r",
                              "get -authkey\r",
                              ValueRule::kText,
                              kAuthKeyLength,
                              kNetworkAnswerBytes,
                              false,
                              true,
                              kErrUnreadableAnswer,
                              "AuthKeyCommand set authkey to \"%s\" (%d ms)",
                              "AuthKeyCommand found authkey \"%s\" (%d ms)",
                              nullptr};
// Older firmware keeps the same key under its earlier name.
constexpr SettingRow kTeaKey{"AuthKeyCommand",
                             Gate::kNetwork,
                             0,
                             "set -authkey %s\r",
                             "get -teakey\r",
                             ValueRule::kText,
                             kAuthKeyLength,
                             kNetworkAnswerBytes,
                             false,
                             true,
                             kErrUnreadableAnswer,
                             "AuthKeyCommand set authkey to \"%s\" (%d ms)",
                             "AuthKeyCommand found authkey (as teakey) \"%s\" (%d ms)",
                             nullptr};
constexpr SettingRow kHost{"HostCommand",
                           Gate::kNetwork,
                           0,
                           "set -host %s\r",
                           "get -host\r",
                           ValueRule::kText,
                           kRemoteHostLength,
                           kHostAnswerBytes,
                           false,
                           false,
                           kErrUnreadableAnswer,
                           "HostCommand set remote host name to \"%s\" (%d ms)",
                           "HostCommand found the remote host name \"%s\" (%d ms)",
                           nullptr};
constexpr SettingRow kIpPort{"IPPortCommand",
                             Gate::kNetwork,
                             0,
                             "set -ipport %d\r",
                             "get -ipport\r",
                             ValueRule::kNumber,
                             0,
                             kSettingAnswerBytes,
                             false,
                             false,
                             kErrBarePrompt,
                             "IPPortCommand set ipport to %d (%d ms)",
                             "IPPortCommand found device ipport %d (%d ms)",
                             "IPPortCommand could not find device ipport (%d ms)"};
constexpr SettingRow kRmode{"RmodeCommand",
                            Gate::kCapability,
                            capability::kRadioMode,
                            "set -r %d\r",
                            "get -r\r",
                            ValueRule::kNumber,
                            0,
                            kSettingAnswerBytes,
                            true,
                            false,
                            kErrUnreadableAnswer,
                            "RmodeCommand set rmode to %d (%d ms)",
                            "RmodeCommand found rmode %d (%d ms)",
                            "RmodeCommand could not find device rmode (%d ms)"};

// Every row's formats take what its shape passes: a text or a number, then the milliseconds.
constexpr bool TextRow(const SettingRow& row) {
  return FormatTakes(row.setFormat, "s") && FormatTakes(row.getCommand, "") &&
         FormatTakes(row.setLine, "sd") && FormatTakes(row.foundLine, "sd") && row.limit > 0 &&
         row.answerBytes <= kLongestSettingAnswer;
}
constexpr bool NumberRow(const SettingRow& row) {
  return FormatTakes(row.setFormat, "d") && FormatTakes(row.getCommand, "") &&
         FormatTakes(row.setLine, "dd") && FormatTakes(row.foundLine, "dd") &&
         FormatTakes(row.notFoundLine, "d") && row.answerBytes <= kLongestSettingAnswer;
}
static_assert(TextRow(kDeviceId) && TextRow(kSite) && TextRow(kBuild) && TextRow(kApn) &&
              TextRow(kApnUser) && TextRow(kApnPassword) && TextRow(kAuthKey) && TextRow(kTeaKey) &&
              TextRow(kHost));
static_assert(NumberRow(kReport) && NumberRow(kTimeZone) && NumberRow(kWake) && NumberRow(kPadc) &&
              NumberRow(kOldestPadc) && NumberRow(kDataParameter) && NumberRow(kIpPort) &&
              NumberRow(kRmode));

bool IsHexKey(const char* key) {
  for (uint32_t i = 0; i < kAuthKeyLength; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(key[i]))) return false;
  }
  return true;
}

}  // namespace

int32_t DeviceIDCommand(DeviceContext* device, char* id, SettingDirection direction) {
  return TextSetting(device, kDeviceId, id, direction);
}

int32_t ReportCommand(DeviceContext* device, int32_t* mode, SettingDirection direction) {
  return NumberSetting(device, kReport, mode, direction);
}

int32_t SiteCommand(DeviceContext* device, char* site, SettingDirection direction) {
  return TextSetting(device, kSite, site, direction);
}

int32_t TimeZoneCommand(DeviceContext* device, int32_t* quarterHours, SettingDirection direction) {
  if (!device || !quarterHours) return kErrMissingArgument;
  if (direction == SettingDirection::kWrite && *quarterHours == kComputerTimeZone &&
      SettingAllowed(device, kTimeZone)) {
    // Daylight saving included; a zone a fraction of a quarter off rounds toward zero.
    *quarterHours = UtcOffset() / static_cast<int32_t>(kSecondsPerQuarterHour);
  }
  return NumberSetting(device, kTimeZone, quarterHours, direction);
}

int32_t WakeCommand(DeviceContext* device, int32_t* interval, SettingDirection direction) {
  if (!device || !interval) return kErrMissingArgument;
  if (direction == SettingDirection::kWrite && *interval < 0 && SettingAllowed(device, kWake)) {
    return SettingFailed(device, kWake.name, kErrBadArgument, MsClock());
  }
  return NumberSetting(device, kWake, interval, direction);
}

int32_t PADCCommand(DeviceContext* device, int32_t* hertz, SettingDirection direction) {
  if (!device || !hertz) return kErrMissingArgument;
  const SettingsRecord& record = device->settings;
  if (!SettingAllowed(device, kPadc)) return kErrNoCapability;
  if (!record.newFirmware && record.versionNumber < kOldestPadcVersion) {
    *hertz = -1;
    return kErrNoCapability;
  }
  if (direction == SettingDirection::kWrite && *hertz < 0) {
    return SettingFailed(device, kPadc.name, kErrBadArgument, MsClock());
  }
  return NumberSetting(device, record.newFirmware ? kPadc : kOldestPadc, hertz, direction);
}

int32_t DataParameterCommand(DeviceContext* device, int32_t* parameter,
                             SettingDirection direction) {
  return NumberSetting(device, kDataParameter, parameter, direction);
}

int32_t VexaBuildCommand(DeviceContext* device, char* build, SettingDirection direction) {
  return TextSetting(device, kBuild, build, direction);
}

int32_t APNCommand(DeviceContext* device, char* apn, SettingDirection direction) {
  return TextSetting(device, kApn, apn, direction);
}

int32_t APNUserCommand(DeviceContext* device, char* user, SettingDirection direction) {
  return TextSetting(device, kApnUser, user, direction);
}

int32_t APNPasswdCommand(DeviceContext* device, char* password, SettingDirection direction) {
  return TextSetting(device, kApnPassword, password, direction);
}

int32_t AuthKeyCommand(DeviceContext* device, char* key, SettingDirection direction) {
  if (!device || !key) return kErrMissingArgument;
  if (!SettingAllowed(device, kAuthKey)) return kErrNoCapability;
  const uint32_t start = MsClock();
  if (direction == SettingDirection::kWrite) {
    if (!IsHexKey(key)) return SettingFailed(device, kAuthKey.name, kErrBadArgument, start);
    key[kAuthKeyLength] = 0;
    return TextSetting(device, kAuthKey, key, direction);
  }
  const int32_t result = TextSetting(device, kAuthKey, key, direction, false);
  if (result != kErrRefused) {
    return result < 0 ? SettingFailed(device, kAuthKey.name, result, start) : result;
  }
  return TextSetting(device, kTeaKey, key, direction);
}

int32_t HostCommand(DeviceContext* device, char* host, SettingDirection direction) {
  return TextSetting(device, kHost, host, direction);
}

int32_t IPPortCommand(DeviceContext* device, int32_t* port, SettingDirection direction) {
  return NumberSetting(device, kIpPort, port, direction);
}

int32_t RmodeCommand(DeviceContext* device, int32_t* mode, SettingDirection direction) {
  if (!device || !mode) return kErrMissingArgument;
  if (!SettingAllowed(device, kRmode)) return kErrNoCapability;
  if (device->settings.deviceType == device_type::kRQ7) {
    if (direction != SettingDirection::kWrite) *mode = kRQ7RadioMode;
    LogMessage(device->log, vexa_log_level::kTrace, DeviceTag(device),
               "RmodeCommand found an rQ7 that is always mode %d", kRQ7RadioMode);
    return kResultOk;
  }
  return NumberSetting(device, kRmode, mode, direction);
}
