#include "instrument/device_command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kSilentTryPauseMs = 50;
constexpr const char* kProtocolTag = "Vexa_protocol";
constexpr uint32_t kValueTries = 3;
constexpr uint32_t kValueAnswerSize = 512;
constexpr size_t kMaxCommandWord = kValueAnswerSize - 2;  // room for "\r" and the terminator

bool IsRefusal(const char* answer) {
  return std::strstr(answer, "ERROR") || std::strchr(answer, '?') ||
         std::strstr(answer, "Unsupported");
}

}  // namespace

int32_t DeviceCommand(DeviceContext* device, const char* command, char terminator,
                      uint32_t timeoutMs, char* answer, uint32_t* size, uint32_t* elapsedMs) {
  if (elapsedMs) *elapsedMs = 0;
  if (!device || !command || !size) return kErrMissingArgument;
  if (!device->response) return kErrOutOfMemory;
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();
  const uint32_t tries = device->tries ? device->tries : 1;
  const uint32_t length = static_cast<uint32_t>(std::strlen(command));
  int32_t result = kResultOk;
  uint32_t silentTries = 0;
  uint32_t attempts = 0;
  uint32_t received = 0;

  for (uint32_t attempt = 0; attempt < tries; ++attempt) {
    ++attempts;
    DSPurge(&device->port, 1);
    device->response[0] = 0;
    received = 0;

    // "DCommWrite", "DCommWait" and "DCommRead" below are the log's own words for the write, the
    // wait and the read, which service staff know from every error file; they name no function
    // of this code and stay as they are.
    const int32_t wrote = DSWrite(&device->port, command, length, nullptr);
    if (wrote < 0) {
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "DeviceCommand got unexpected response (%d) from DCommWrite", wrote);
      result = wrote;
      break;
    }
    const int32_t waited =
        DSWait(&device->port, timeoutMs + device->options.extraWaitMs, terminator);
    if (waited < 0) {
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "DeviceCommand got unexpected response (%d) from DCommWait", waited);
      result = waited;
      break;
    }
    uint32_t got = 0;
    const int32_t read = DSRead(&device->port, device->response, kResponseSize, &got);
    if (read < 0) {
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "DeviceCommand got unexpected response (%d) from DCommRead", read);
      result = read;
      break;
    }
    if (got == 0) {
      ++silentTries;
      PumpingWait(kSilentTryPauseMs);
      result = kErrLastTrySilent;
      continue;
    }
    received = got;
    device->response[got < kResponseSize ? got : kResponseSize] = 0;

    if (std::strstr(device->response, command)) {
      LogMessage(device->log, vexa_log_level::kError, tag,
                 "DeviceCommand is hearing echoed commands -- device is broken? Relay active?");
      result = kErrEchoed;
      break;
    }
    if (IsRefusal(device->response)) {
      result = kErrRefused;
      continue;
    }
    result = kResultOk;
    break;
  }

  if (elapsedMs) *elapsedMs = static_cast<uint32_t>(MsSince(start));
  if (result == kErrLastTrySilent && silentTries == attempts) result = kErrNoAnswer;
  if (result < 0) {
    if (answer) answer[0] = 0;
    *size = 0;
    return result;
  }

  if (answer && *size != 0) {
    const uint32_t stored = received < *size - 1 ? received : *size - 1;
    std::memcpy(answer, device->response, stored);
    answer[stored] = 0;
    *size = stored;
    if (stored < received) {
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "DeviceCommand got %d more bytes than expected (%s)",
                 static_cast<int>(received - stored), command);
    }
  }
  if (std::strncmp(device->response, "\r\r>", 3) == 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "DeviceCommand: device returned empty answer");
    return kErrBarePrompt;
  }
  return static_cast<int32_t>(received);
}

namespace {

// The tries of the value reads: sends `command` and a carriage return up to kValueTries times
// until `take` accepts an answer (returns 1). A failed transaction, or an answer `take` refuses
// with a code, is tried again; the result is the last try's.
template <class Take>
int32_t AskForValue(DeviceContext* device, const char* command, uint32_t timeoutMs, Take take) {
  char text[kValueAnswerSize];
  std::snprintf(text, sizeof text, "%s\r", command);
  int32_t result = kErrUnreadableAnswer;
  for (uint32_t attempt = 0; attempt < kValueTries; ++attempt) {
    char answer[kValueAnswerSize];
    uint32_t size = sizeof answer;
    uint32_t elapsed = 0;
    const int32_t got = DeviceCommand(device, text, '>', timeoutMs, answer, &size, &elapsed);
    result = got <= 0 ? got : take(answer);
    if (result == kResultOk) break;
  }
  return result;
}

}  // namespace

int32_t GetValueString(DeviceContext* device, const char* command, uint32_t timeoutMs, char* value,
                       uint32_t capacity) {
  if (!device || !command || !value) return kErrMissingArgument;
  if (std::strlen(command) > kMaxCommandWord) return kErrBadArgument;
  const uint32_t start = MsClock();
  value[0] = 0;

  const int32_t result = AskForValue(device, command, timeoutMs, [&](const char* answer) {
    if (std::strstr(answer, "Error")) return kErrUnreadableAnswer;
    const char* from = answer;
    if (*from == '\r') ++from;
    if (*from == '\n') ++from;
    uint32_t copied = 0;
    while (from[copied] && from[copied] != '\r' && copied < capacity) {
      value[copied] = from[copied];
      ++copied;
    }
    value[copied] = 0;
    if (value[0] == '>') {
      LogMessage(device->log, vexa_log_level::kMilestone, kProtocolTag,
                 "GetValueString found a leading prompt character executing command \"%s\" (%d "
                 "ms)",
                 command, MsSince(start));
      value[0] = 0;
      return kErrUnreadableAnswer;
    }
    return copied == 0 ? kErrUnreadableAnswer : kResultOk;
  });
  if (result == kResultOk) {
    LogMessage(device->log, vexa_log_level::kMilestone, kProtocolTag,
               "GetValueString found %s \"%s\" (%d ms)", command, value, MsSince(start));
  } else {
    LogMessage(device->log, vexa_log_level::kMilestone, kProtocolTag,
               "GetValueString received error %d executing command \"%s\" (%d ms)", result, command,
               MsSince(start));
  }
  return result;
}

int32_t GetValueLong(DeviceContext* device, const char* command, uint32_t timeoutMs,
                     int32_t* value) {
  if (!device || !command || !value) return kErrMissingArgument;
  if (std::strlen(command) > kMaxCommandWord) return kErrBadArgument;
  const uint32_t start = MsClock();

  const int32_t result = AskForValue(device, command, timeoutMs, [&](const char* answer) {
    const char* from = std::strchr(answer, '\r');
    from = from ? from + 1 : answer;
    if (*from == '\n') ++from;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(from, &end, 10);
    // The instruments count in 32 bits; a longer number is no value of theirs.
    if (end == from || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) {
      return kErrUnreadableAnswer;
    }
    *value = static_cast<int32_t>(parsed);
    return kResultOk;
  });
  if (result == kResultOk) {
    LogMessage(device->log, vexa_log_level::kMilestone, kProtocolTag,
               "GetValueLong found %s \"%ld\" (%d ms)", command, static_cast<long>(*value),
               MsSince(start));
  } else {
    LogMessage(device->log, vexa_log_level::kMilestone, kProtocolTag,
               "GetValueLong received error %d executing command \"%s\" (%d ms)", result, command,
               MsSince(start));
  }
  return result;
}
