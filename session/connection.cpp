#include "session/connection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "instrument/device_command.h"
#include "instrument/device_settings.h"
#include "instrument/device_time.h"
#include "instrument/erase_data.h"
#include "instrument/session.h"

namespace {

constexpr uint32_t kLoginPauseMs = 1000;  // before and after the login
constexpr uint32_t kLoginCharacterMs = 250;
constexpr uint32_t kLoginTries = 3;
constexpr uint32_t kLoginTimeoutMs = 6000;
constexpr const char* kAccessCode = "*5927";
constexpr uint32_t kShortAnswer = 32;
constexpr uint32_t kLogoutTimeoutMs = 2000;
constexpr uint32_t kDisconnectPauseMs = 100;
constexpr uint32_t kPostTries = 3;
constexpr uint32_t kPostTimeoutMs = 7000;
constexpr uint32_t kPostPauseMs = 1000;
constexpr uint32_t kBatteryTimeoutMs = 2000;
constexpr uint32_t kSecondsTimeoutMs = 20000;
constexpr uint32_t kEraseTimeoutMs = 17000;

// One transaction with the prompt; the answer (terminated) fills at most `size` bytes.
int32_t Exchange(SessionContext* session, const char* command, uint32_t timeoutMs, char* answer,
                 uint32_t size, uint32_t* elapsedMs) {
  uint32_t length = size;
  return DeviceCommand(&session->device, command, '>', timeoutMs, answer, &length, elapsedMs);
}

// The instruments that keep their clock as a count of seconds ("set -sec").
bool SetsSeconds(int type) {
  return type == 8 || type == 11 || type == 15 || type == 16 || type == 21 || type == 22 ||
         type == 23;
}

// The lab instruments and the reader erase their data with a bare "yes".
bool ErasesWithYes(int type) {
  switch (type) {
    case 7:
    case 8:
    case 9:
    case 11:
    case 14:
    case 15:
    case 16:
    case 22:
    case 23:
      return true;
    default:
      return false;
  }
}

// What a connection's outcome means for an update, logged; on success the context takes the
// instrument's identity.
int32_t JudgeConnection(SessionContext* session, int32_t result, DeviceDescriptor* descriptor,
                        const SettingsRecord* identified) {
  if (result > 0 && !descriptor->supported) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPConnect this firmware version is not supported");
    return kErrNotSupported;
  }
  if (result == kErrNothingListening) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "DPConnect couldn't connect.");
    return result;
  }
  if (result == kErrLoaderRunning || result == kErrLoaderWaiting) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "DPConnect found the VexaBSL listening (%d)", result);
    return result;
  }
  if (result == kErrUnreadableAnswer || result == kErrEchoed) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPConnect this device must not be supported");
    return kErrNotSupported;
  }
  if (result < 0) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPConnect received error %d trying to connect to device", result);
    return result;
  }
  SettingsRecord& held = session->settings;
  held.newFirmware = 1;
  held.deviceType = identified->deviceType;
  held.versionNumber = identified->versionNumber;
  std::memcpy(held.versionText, identified->versionText, sizeof held.versionText);
  session->type = descriptor->type;
  session->descriptor = *descriptor;
  LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
             "DPConnect successfully connected to device");
  return result;
}

}  // namespace

int32_t DPConnect(SessionContext* session, const char* portName, uint8_t baudCode,
                  uint32_t serialTries, DeviceDescriptor* descriptor) {
  if (!session || !portName || !*portName || !descriptor) return kErrMissingArgument;
  ConnectionRequest request;
  std::snprintf(request.portName, sizeof request.portName, "%s", portName);
  request.linkKind = link_kind::kSerial;
  request.baudCode = baudCode;
  ConnectionOptions options;
  options.serialTries = serialTries;
  options.radioTries = 0;  // the default, 5
  return DPConnectWith(session, &request, &options, descriptor);
}

int32_t DPConnectWith(SessionContext* session, ConnectionRequest* request,
                      const ConnectionOptions* options, DeviceDescriptor* descriptor) {
  if (!session || !request || !options || !descriptor || !request->portName[0]) {
    return kErrMissingArgument;
  }
  const int32_t configured = SetConnectionOptions(&session->device, options);
  if (configured < 0) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPConnect received error %d trying to configure AQUEL_Prototcol", configured);
    return configured;
  }
  const int32_t connected = ConnectDevice(&session->device, request);
  if (connected < 0) return JudgeConnection(session, connected, descriptor, nullptr);
  return DPIdentify(session, descriptor);
}

int32_t DPIdentify(SessionContext* session, DeviceDescriptor* descriptor) {
  if (!session || !descriptor) return kErrMissingArgument;
  SettingsRecord identified;
  uint32_t wanted = 0;  // nothing but the identification
  int32_t result = DeviceSettings(&session->device, &identified, &wanted, SettingDirection::kRead);
  if (result >= 0) result = ParseVersionText(identified.versionText, descriptor);
  return JudgeConnection(session, result, descriptor, &identified);
}

int32_t DPLogin(SessionContext* session) {
  if (!session) return kErrMissingArgument;
  DeviceContext* device = &session->device;
  PumpingWait(kLoginPauseMs);
  char login[16];
  std::snprintf(login, sizeof login, "login %s", kAccessCode);
  const uint32_t start = MsClock();
  int32_t result = kErrLoginFailed;
  char answer[kShortAnswer] = {};
  for (uint32_t attempt = 0; attempt < kLoginTries; ++attempt) {
    DSPurge(&device->port, 1);
    // The instruments read a login typed by hand; characters sent at once are lost.
    for (const char* c = login; *c; ++c) {
      DSWrite(&device->port, c, 1, nullptr);
      PumpingWait(kLoginCharacterMs);
    }
    PumpingWait(kLoginCharacterMs);
    result = Exchange(session, "\r\n\r", kLoginTimeoutMs, answer, sizeof answer, nullptr);
    if (result > 0 && (std::strstr(answer, "OK") || std::strstr(answer, "5927"))) {
      result = kResultOk;
      break;
    }
  }
  if (result < 0) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPConnect couldn't log into the device (%d ms): heard \"%s\"", MsSince(start),
               answer);
    result = kErrLoginFailed;
  } else {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPConnect successfully logged into the device (%d ms)", MsSince(start));
  }
  PumpingWait(kLoginPauseMs);
  return result;
}

int32_t DPLogout(SessionContext* session, bool sendLogout) {
  if (!session) return kErrMissingArgument;
  if (sendLogout && session->descriptor.needsLogin) {
    char answer[kShortAnswer];
    Exchange(session, "logout\r", kLogoutTimeoutMs, answer, sizeof answer, nullptr);
  }
  const int32_t result = DisconnectDevice(&session->device, false);
  PumpingWait(kDisconnectPauseMs);
  return result;
}

int32_t DPCheckFirmware(SessionContext* session, bool postInit) {
  if (!session) return kErrMissingArgument;
  const char* command = postInit ? "post -init\r" : "post\r";
  int32_t result = kErrUnreadableAnswer;
  for (uint32_t attempt = 0; attempt < kPostTries; ++attempt) {
    char answer[64];
    const int32_t got = Exchange(session, command, kPostTimeoutMs, answer, sizeof answer, nullptr);
    if (got <= 0) {
      result = got;
      LogMessage(session->log, vexa_log_level::kError, kSessionTag,
                 "DPCheckFirmware can't determine firmware code status (error %d)", result);
    } else if (std::strstr(answer, "Code Good!")) {
      LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
                 "DPCheckFirmware: Device reports good firmware code!");
      return kResultOk;
    } else if (std::strstr(answer, "Code Corrupt!")) {
      LogMessage(session->log, vexa_log_level::kError, kSessionTag,
                 "DPCheckFirmware: Device reports corrupt firmware code!");
      return kErrCodeCorrupt;
    } else {
      result = kErrUnreadableAnswer;
      LogMessage(session->log, vexa_log_level::kError, kSessionTag,
                 "DPCheckFirmware can't determine firmware code status");
    }
    PumpingWait(kPostPauseMs);
  }
  return result;
}

int32_t DPCheckBattery(SessionContext* session, int32_t* percent) {
  if (!session || !percent) return kErrMissingArgument;
  char answer[kShortAnswer];
  uint32_t elapsed = 0;
  const int32_t got =
      Exchange(session, "get -batt\r", kBatteryTimeoutMs, answer, sizeof answer, &elapsed);
  if (got <= 0) {
    *percent = -1;
    return got;
  }
  int value = 0;
  if (std::sscanf(answer, "%d", &value) != 1) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPCheckBattery failed to parse battery power (%d ms)", static_cast<int>(elapsed));
    return kErrUnreadableAnswer;
  }
  *percent = value;
  LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
             "DPCheckBattery: %d%% battery (%d ms)", value, static_cast<int>(elapsed));
  return kResultOk;
}

int32_t DPSetTime(SessionContext* session) {
  if (!session) return kErrMissingArgument;
  if (!session->descriptor.setClock) return kErrNotForThisType;
  uint32_t elapsed = 0;
  int32_t result;
  long value = 0;
  bool good;
  if (SetsSeconds(session->type)) {
    const time_t now = std::time(nullptr);
    if (now == static_cast<time_t>(-1)) {
      LogMessage(session->log, vexa_log_level::kError, kSessionTag,
                 "DPSetTime failed to get system time with error %d", errno);
      return kErrUnreadableAnswer;
    }
    // The instruments count local wall time in seconds since 2000-01-01 00:00:00.
    value = static_cast<long>(now + UtcOffset() - kUnixTo2000);
    char command[48];
    std::snprintf(command, sizeof command, "set -sec %ld\r", value);
    char answer[kShortAnswer];
    result = Exchange(session, command, kSecondsTimeoutMs, answer, sizeof answer, &elapsed);
    good = result > 0 && std::strstr(answer, "OK");
  } else {
    const uint32_t start = MsClock();
    int32_t seconds = 0;  // the computer's local time now
    result = DeviceTime(&session->device, &seconds, SettingDirection::kWrite);
    elapsed = static_cast<uint32_t>(MsSince(start));
    value = seconds;
    good = result > 0;
  }
  if (good) {
    LogMessage(session->log, vexa_log_level::kTrace, kSessionTag, "DPSetTime set the time to: %ld",
               value);
  } else {
    LogMessage(session->log, vexa_log_level::kTrace, kSessionTag, "DPSetTime got error %d (%d ms)",
               result, static_cast<int>(elapsed));
  }
  return result;
}

int32_t DPEraseData(SessionContext* session) {
  if (!session) return kErrMissingArgument;
  if (IsLoggerType(session->type)) return EraseData(&session->device);
  if (!ErasesWithYes(session->type)) return kErrNotForThisType;
  char answer[kShortAnswer];
  uint32_t elapsed = 0;
  int32_t result = Exchange(session, "yes\r", kEraseTimeoutMs, answer, sizeof answer, &elapsed);
  if (result > 0) {
    result = std::strstr(answer, "OK")               ? kResultOk
             : std::strstr(answer, "DataFlash FAIL") ? kErrDataMemoryBroken
                                                     : kErrUnreadableAnswer;
  }
  if (result == kResultOk) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "DPEraseData erased device data (%d ms)", static_cast<int>(elapsed));
  } else if (result == kErrDataMemoryBroken) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPEraseData failed due to a broken DataFlash (%d ms)", static_cast<int>(elapsed));
  } else if (result <= 0) {
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "DPEraseData failed with error %d (%d ms)", result, static_cast<int>(elapsed));
  }
  return result;
}
