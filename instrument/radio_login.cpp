#include "instrument/radio_login.h"

#include <cstdio>
#include <cstring>

#include "instrument/device_command.h"

namespace {

constexpr const char* kQueryText = "\rquery\r";
constexpr uint32_t kQueryTimeoutMs = 3000;
constexpr uint32_t kQueryAnswerBytes = 180;
constexpr uint32_t kHeardPauseMs = 2500;  // the instrument gets ready for the login
constexpr uint32_t kLoginTimeoutMs = 1500;
constexpr uint32_t kLoginAnswerBytes = kInstrumentNameLength + 1;
constexpr uint32_t kWakeProgressEvery = 18;

// Words the instruments take as commands; a name must not be one of them.
constexpr const char* kReservedNames[] = {
    "ERROR", "Unsupported", "volt",   "show", "yes",  "hertz", "time", "dump", "erase",
    "login", "logout",      "query",  "help", "temp", "scan",  "term", "ping", "post",
    "get",   "set",         "teltst", "ack",  "nack", "OK",    "boot",
};
constexpr const char* kForbiddenCharacters = "?\\\"/<>*|:;,";

}  // namespace

int32_t CheckDeviceName(const char* name) {
  if (!name || !name[0]) return kErrNameMissing;
  if (strnlen(name, kInstrumentNameLength + 1) > kInstrumentNameLength) return kErrNameTooLong;
  for (const char* reserved : kReservedNames) {
    if (std::strcmp(name, reserved) == 0) return kErrNameReserved;
  }
  for (const char* at = name; *at; ++at) {
    const unsigned char c = static_cast<unsigned char>(*at);
    if (c < '!' || c == 127 || c == 255) return kErrNameBlank;
    if (std::strchr(kForbiddenCharacters, c)) return kErrNameForbidden;
    if (c > 127) return kErrNameNotAscii;
  }
  return kResultOk;
}

int32_t QueryCommand(DeviceContext* device, char* destination, int mode) {
  if (!device || !destination || mode == 0) return kErrMissingArgument;
  if (mode < 0) return kErrBadArgument;
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();
  const uint32_t attempts = device->tries ? device->tries : 1;
  const uint32_t savedTries = device->tries;
  device->tries = 1;
  int32_t result = kErrNoAnswer;

  for (uint32_t attempt = 1; attempt <= attempts; ++attempt) {
    if (device->options.progressEnabled && device->progressHook &&
        !device->progressHook(device->progressContext, attempts, attempt,
                              progress_phase::kQueryTry)) {
      result = kErrCancelled;
      break;
    }
    uint32_t elapsed = 0;
    if (mode == kQueryNameMode) {
      char answer[kQueryAnswerBytes];
      uint32_t size = sizeof answer;
      result = DeviceCommand(device, kQueryText, '\r', kQueryTimeoutMs, answer, &size, &elapsed);
      if (result > 0) {
        const size_t line = std::strcspn(answer, "\r");
        const size_t kept = line < kInstrumentNameLength ? line : kInstrumentNameLength;
        std::memcpy(destination, answer, kept);
        destination[kept] = 0;
        if (CheckDeviceName(destination) == kResultOk) break;
        continue;  // heard, but no name: ask again
      }
    } else {
      uint32_t size = static_cast<uint32_t>(mode);
      result =
          DeviceCommand(device, kQueryText, '>', kQueryTimeoutMs, destination, &size, &elapsed);
      if (result > 0) break;
    }
    if (result == kErrEchoed) break;
  }
  device->tries = savedTries;

  if (result > 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag, "QueryCommand heard from: %s (%d ms)",
               destination, MsSince(start));
    PumpingWait(kHeardPauseMs);
    return kResultOk;
  }
  switch (result) {
    case kErrCancelled:
      LogMessage(device->log, vexa_log_level::kTrace, tag, "QueryCommand canceled by user");
      return kErrCancelled;
    case kErrEchoed:
      LogMessage(device->log, vexa_log_level::kError, tag,
                 "QueryCommand is hearing \"query\" -- a relay must be active (%d ms)",
                 MsSince(start));
      return kErrRelayEchoes;
    case kErrNoAnswer:
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "QueryCommand didn't get any answers after %d tries (%d ms)",
                 static_cast<int>(attempts), MsSince(start));
      return kErrLastTrySilent;
    default:
      LogMessage(device->log, vexa_log_level::kError, tag,
                 "QueryCommand failed with error %d (%d ms)", result, MsSince(start));
      return result;
  }
}

int32_t SendWake(DeviceContext* device) {
  const char* tag = DeviceTag(device);
  const uint32_t packets = device->wakePackets;
  const uint32_t spacing = device->wakePacketMs;
  const bool progress = device->options.progressEnabled && device->progressHook;
  bool reporting = progress;
  bool tooSlow = false;

  for (uint32_t packet = 0; packet < packets; ++packet) {
    const int32_t wrote = DSWrite(&device->port, "\r", 1, nullptr);
    if (wrote < 0) return wrote;  // the port is gone: 50 s of failing writes would help no one
    uint32_t pause = spacing;
    if (reporting) {
      const uint32_t before = MsClock();
      if (packet % kWakeProgressEvery == 0 &&
          !device->progressHook(device->progressContext, packets, packet + 1,
                                progress_phase::kWorking)) {
        LogMessage(device->log, vexa_log_level::kTrace, tag,
                   "SendWake canceled by user after sending %d of %d packets",
                   static_cast<int>(packet + 1), static_cast<int>(packets));
        return kErrCancelled;
      }
      const uint32_t took = static_cast<uint32_t>(MsSince(before));
      if (took >= spacing) {
        pause = 0;
        tooSlow = true;
        reporting = false;  // the pacing matters more than the progress bar
      } else {
        pause = spacing - took;
      }
    }
    PumpingWait(pause);
  }
  if (tooSlow) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "SendWake executing too slow to send status (PIG status)!");
  }
  LogMessage(device->log, vexa_log_level::kTrace, tag, "SendWake sent %d packets",
             static_cast<int>(packets));
  if (progress) {
    device->progressHook(device->progressContext, packets, packets, progress_phase::kFinished);
  }
  return kResultOk;
}

int32_t LoginCommand(DeviceContext* device, const char* name) {
  const char* tag = DeviceTag(device);
  char command[32];
  if (name && name[0]) {
    const size_t length = strnlen(name, sizeof command);
    if (length > kInstrumentNameLength) {
      LogMessage(device->log, vexa_log_level::kError, tag,
                 "LoginCommand: Device name %.*s is wrong length (%d characters)",
                 static_cast<int>(length), name, static_cast<int>(length));
      return kErrNameTooLong;
    }
    std::snprintf(command, sizeof command, "login %s\r", name);
  } else {
    std::snprintf(command, sizeof command, "login\r");
  }
  char answer[kLoginAnswerBytes];
  uint32_t size = sizeof answer;
  uint32_t elapsed = 0;
  const int32_t result =
      DeviceCommand(device, command, '>', kLoginTimeoutMs, answer, &size, &elapsed);
  if (result > 0) return std::strchr(answer, '>') ? kResultOk : kErrUnreadableAnswer;
  if (result == kErrBarePrompt) return kResultOk;
  return result;
}
