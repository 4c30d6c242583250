#include "instrument/session.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "instrument/device_command.h"
#include "instrument/device_types.h"
#include "instrument/identify.h"
#include "instrument/radio_login.h"
#include "instrument/radio_modem.h"

namespace {

constexpr uint32_t kStartBaud = 9600;
constexpr uint32_t kBaudTable[kBaudCodeCount] = {0,     1200,   9600,   19200, 38400,
                                                 57600, 115200, 230400, 460800};
constexpr uint32_t kOpenPauseMs = 100;
constexpr uint32_t kSetBaudTimeoutMs = 1500;
constexpr uint32_t kSetBaudAnswerBytes = 32;
constexpr uint32_t kSetBaudRetryPauseMs = 1500;
constexpr uint32_t kAfterSetBaudPauseMs = 100;
constexpr uint32_t kLogoutPauseMs = 100;
constexpr uint32_t kLogoutAnswerBytes = 31;
constexpr uint32_t kModemConfigTries = 3;

// The instruments' own codes for "set -baud"; -1 for a rate they do not have.
int InstrumentBaudCode(uint32_t baud) {
  constexpr uint32_t kRates[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800};
  for (int code = 0; code < static_cast<int>(std::size(kRates)); ++code) {
    if (kRates[code] == baud) return code;
  }
  return -1;
}

bool IsUnsupportedLink(uint8_t kind) {
  return kind == 20 || kind == 40 || kind == 100 || kind == 110 || kind == 120;
}

void ClosePort(DeviceContext* device) {
  DSClose(&device->port);
  device->request.linkKind = link_kind::kNone;
}

int32_t RadioLogin(DeviceContext* device, char* name) {
  const char* tag = DeviceTag(device);
  SettingsRecord& record = device->settings;
  bool woken = false;
  int32_t result = kErrNoAnswer;
  for (;;) {
    bool silent = false;
    if (!name[0]) {
      char heard[kInstrumentNameLength + 1] = {};
      result = QueryCommand(device, heard, kQueryNameMode);
      if (result > 0) {
        std::memcpy(name, heard, sizeof heard);
      } else if (result == kErrNoAnswer || result == kErrLastTrySilent) {
        silent = true;
      } else if (result == kErrCancelled) {
        return kErrCancelled;
      } else {
        break;
      }
    }
    if (!silent) {
      result = LoginCommand(device, name);
      if (result == kResultOk) {
        std::snprintf(record.deviceName, sizeof record.deviceName, "%.8s", name);
        break;
      }
      if (result != kErrNoAnswer) break;
    }
    if (woken) break;
    if (SendWake(device) == kErrCancelled) return kErrCancelled;
    woken = true;
  }

  if (result == kErrNoAnswer || result == kErrLastTrySilent) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceLogin: nothing is listening over the radio");
    return kErrNothingListening;
  }
  if (result == kErrEchoed) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "DeviceLogin thinks a relay must be active");
    return kErrRelayEchoes;
  }
  if (result < 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag, "DeviceLogin failed with error %d",
               result);
    return result;
  }
  if (!record.deviceName[0]) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceLogin: nothing is listening over the radio");
    return kErrNothingListening;
  }
  return kResultOk;
}

int32_t SerialLogin(DeviceContext* device, uint8_t* baudCode) {
  const char* tag = DeviceTag(device);
  const int32_t result = VerCommand(device, true);
  if (result == kErrNoAnswer) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceLogin: nothing is listening over the serial port");
    return kErrNothingListening;
  }
  if (result < 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag, "DeviceLogin failed with error %d",
               result);
    return result;
  }
  const uint32_t wanted = BaudOfCode(*baudCode);
  if (!(device->settings.capabilityMask & capability::kBaudChange) || wanted == device->port.baud ||
      InstrumentBaudCode(wanted) < 0) {
    // The instrument stays at 9600 when it cannot change, or cannot take the rate asked for.
    *baudCode = kBaudCode9600;
    return kResultOk;
  }
  const int32_t changed = SetBaudCommand(device, wanted);
  if (changed < 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceLogin: device didn't change baud rate (error %d)", changed);
    *baudCode = kBaudCode9600;
    return kResultOk;
  }
  const int32_t host = DSHostBaud(&device->port, wanted);
  if (host < 0) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "DeviceLogin: host reports it can't change baud (error %d)", host);
    return kErrNothingListening;
  }
  return kResultOk;
}

}  // namespace

uint32_t BaudOfCode(uint8_t code) {
  return code < kBaudCodeCount ? kBaudTable[code] : 0;
}

int32_t DeviceLogin(DeviceContext* device, char* name, uint8_t* baudCode) {
  if (!device || !name || !baudCode) return kErrMissingArgument;
  const char* tag = DeviceTag(device);
  if (device->port.baud != kStartBaud) {
    const int32_t host = DSHostBaud(&device->port, kStartBaud);
    if (host < 0) {
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "DeviceLogin: host reports it can't change baud (error %d)", host);
      return kErrNothingListening;
    }
  }
  int32_t result;
  if (device->request.linkKind == link_kind::kRadio) {
    result = RadioLogin(device, name);
    if (result == kResultOk) *baudCode = kBaudCode9600;
  } else {
    result = SerialLogin(device, baudCode);
  }
  if (result == kResultOk) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceLogin communicating with a device running %s at %d baud",
               device->settings.versionText, static_cast<int>(device->port.baud));
  }
  return result;
}

int32_t ConnectDevice(DeviceContext* device, ConnectionRequest* request) {
  if (!device || !request) return kErrMissingArgument;
  if (!device->response) return kErrOutOfMemory;
  device->settings = SettingsRecord{};
  device->resets = 0;

  switch (request->linkKind) {
    case link_kind::kNone:
      return kErrBadArgument;
    case link_kind::kSerial:
      device->tries = device->options.serialTries;
      break;
    case link_kind::kRadio:
      device->tries = device->options.radioTries;
      break;
    default:
      return IsUnsupportedLink(request->linkKind) ? kErrNotForThisType : kErrMissingArgument;
  }
  if (request->baudCode == 0) request->baudCode = kBaudCode9600;
  if (request->baudCode >= kBaudCodeCount) return kErrBadArgument;
  if (strnlen(request->portName, sizeof request->portName) == sizeof request->portName) {
    return kErrBadArgument;  // not terminated
  }

  // A port kept open from an earlier connection is reused only for the same port.
  if (device->request.linkKind != link_kind::kNone &&
      std::strcmp(device->port.name, request->portName) != 0) {
    ClosePort(device);
  }
  if (device->request.linkKind == link_kind::kNone) {
    const int32_t opened = DSOpen(&device->port, request->portName, kStartBaud);
    if (opened < 0) {
      DSClose(&device->port);
      return opened;
    }
  }
  device->request = *request;
  PumpingWait(kOpenPauseMs);

  if (request->linkKind == link_kind::kRadio && request->configureRadioModem) {
    device->tries = kModemConfigTries;
    uint32_t mask = 0xC00;
    int32_t channel = request->radioChannel;
    int32_t subChannel = request->radioSubChannel;
    if (Mx2Config(device, &channel, &subChannel, nullptr, SettingDirection::kWrite, &mask) !=
        kResultOk) {
      if (!device->options.keepPortOpen) ClosePort(device);
      return kErrModemNotConfigured;
    }
    device->tries = device->options.radioTries;
  }

  const int32_t result = DeviceLogin(device, device->request.deviceName, &device->request.baudCode);
  request->baudCode = device->request.baudCode;
  if (result < 0 && !device->options.keepPortOpen) ClosePort(device);
  return result;
}

int32_t SetBaudCommand(DeviceContext* device, uint32_t baud) {
  const char* tag = DeviceTag(device);
  if (!device->settings.newFirmware) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "SetBaudCommand: device (%s) can't change baud rate", device->settings.deviceName);
    return kErrCannotChangeBaud;
  }
  int code = InstrumentBaudCode(baud);
  if (code < 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "SetBaudCommand: unsupported baud rate %d, using 9600", static_cast<int>(baud));
    code = 0;
  }
  char command[32];
  std::snprintf(command, sizeof command, "set -baud %d\r", code);
  const uint32_t start = MsClock();
  const uint32_t attempts = device->tries ? device->tries : 1;
  int32_t result = kErrNoAnswer;

  for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
    char answer[kSetBaudAnswerBytes];
    uint32_t size = sizeof answer;
    uint32_t elapsed = 0;
    const int32_t got =
        DeviceCommand(device, command, 'K', kSetBaudTimeoutMs, answer, &size, &elapsed);
    if (got == kErrNoAnswer) {
      if (baud == kStartBaud) {
        result = kResultOk;  // silent at the new rate: it went back to 9600 by itself
        break;
      }
      result = kErrNoAnswer;
      if (device->port.baud == kStartBaud) PumpingWait(kSetBaudRetryPauseMs);
      continue;
    }
    if (got < 0) {
      result = got;
      continue;
    }
    if (std::strstr(answer, "OK")) {
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "SetBaudCommand set device baud rate to %d (%d ms)", static_cast<int>(baud),
                 MsSince(start));
      result = kResultOk;
      break;
    }
    if (!std::strstr(answer, "\r>")) {
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "SetBaudCommand failed: heard: %s (%d ms)", answer, MsSince(start));
      result = kErrUnreadableAnswer;
      break;
    }
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "SetBaudCommand failed (heard prompt): trying again (%d ms)", MsSince(start));
    result = kErrUnreadableAnswer;
  }
  if (result < 0) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "SetBaudCommand failed with error %d (%d ms)", result, MsSince(start));
  }
  PumpingWait(kAfterSetBaudPauseMs);
  return result;
}

int32_t DisconnectDevice(DeviceContext* device, bool skipLogout) {
  if (!device || device->request.linkKind == link_kind::kNone) return 0;
  const char* tag = DeviceTag(device);
  int32_t result = kResultOk;

  if (device->request.linkKind == link_kind::kRadio) {
    result = kErrLastTrySilent;
    if (!skipLogout) {
      char login[32];
      std::snprintf(login, sizeof login, "login %s\r", device->settings.deviceName);
      const uint32_t attempts = device->tries ? device->tries : 1;
      for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
        DSPurge(&device->port, 1);
        DSWrite(&device->port, "logout\r", 7, nullptr);
        PumpingWait(kLogoutPauseMs);
        DSWrite(&device->port, login, static_cast<uint32_t>(std::strlen(login)), nullptr);
        char heard[kLogoutAnswerBytes];
        uint32_t got = 0;
        DSRead(&device->port, heard, sizeof heard, &got);
        if (got == 0) {
          result = kResultOk;  // nobody answers the login: the instrument has gone
          break;
        }
        LogMessage(device->log, vexa_log_level::kTrace, tag,
                   "DisconnectDevice: Device didn't disconnect, retrying");
      }
    }
  } else if (device->port.baud != kStartBaud) {
    SetBaudCommand(device, kStartBaud);
  }

  device->settings = SettingsRecord{};
  device->resets = 0;
  if (device->options.keepPortOpen) {
    const int32_t host = DSHostBaud(&device->port, kStartBaud);
    if (host < 0) {
      ClosePort(device);
      LogMessage(device->log, vexa_log_level::kError, tag,
                 "DisconnectDevice: Error setting host baud rate; can't keep port open (error %d)",
                 host);
    }
  } else {
    ClosePort(device);
  }
  if (result > 0)
    LogMessage(device->log, vexa_log_level::kTrace, tag, "DisconnectDevice successful");
  return result;
}

void ReleaseDevice(DeviceContext* device) {
  if (!device || device->request.linkKind == link_kind::kNone) return;
  device->options.keepPortOpen = 0;
  DisconnectDevice(device, false);
}
