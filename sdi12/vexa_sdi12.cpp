#include "sdi12/vexa_sdi12.h"

#include <cstdio>
#include <cstring>

#include "sdi12/sensor_exchange.h"

namespace {

constexpr uint32_t kPrefixPauseMs = 175;  // after the break, before the command
constexpr uint32_t kRecoveryBreaks = 3;
constexpr uint32_t kRecoveryBreakPauseMs = 30;
constexpr uint32_t kRecoveryWaitMs = 500;
constexpr uint32_t kLoaderTimeoutMs = 1000;
constexpr uint32_t kLoaderRelayPauseMs = 100;

// The identification answer: address, two digits of SDI-12 version, then vendor and model; the
// sensor's firmware version is the three digits at 17 to 19.
constexpr uint32_t kInfoStart = 3;
constexpr uint32_t kVersionStart = 17;
constexpr uint32_t kVersionDigits = 3;

int32_t WriteText(SerialPort* port, const char* text) {
  return DSWrite(port, text, static_cast<uint32_t>(std::strlen(text)), nullptr);
}

// Reads what the port collected into `answer` (kSensorAnswerSize bytes and a terminator).
// Returns the bytes read or the link's failure.
int32_t ReadAnswer(SerialPort* port, char* answer, uint32_t* got) {
  *got = 0;
  const int32_t read = DSRead(port, answer, kSensorAnswerSize, got);
  answer[*got <= kSensorAnswerSize ? *got : kSensorAnswerSize] = 0;
  return read;
}

// Three breaks and "?!": is a sensor still listening at all? True when "?!" was answered; the
// answer is left in sdi->answer.
bool Recover(VexaSDI12* sdi) {
  SerialPort* port = &sdi->device->port;
  for (uint32_t i = 0; i < kRecoveryBreaks; ++i) {
    WriteText(port, "|");
    PumpingWait(kRecoveryBreakPauseMs);
  }
  DSPurge(port, 1);
  WriteText(port, "?!");
  DSWait(port, kRecoveryWaitMs, '\r');
  uint32_t got = 0;
  ReadAnswer(port, sdi->answer, &got);
  return got > 0;
}

}  // namespace

VexaSDI12::VexaSDI12(VexaLog* logSink, DeviceContext* reader) : log(logSink), device(reader) {}

void SensorAnswerText(const char* answer, char* text, uint32_t capacity) {
  text[0] = 0;
  if (!answer || answer[0] == 0) return;
  const char* from = answer + 1;
  if (*from == ' ') ++from;
  uint32_t copied = 0;
  while (from[copied] && from[copied] != '\r' && copied < capacity) {
    text[copied] = from[copied];
    ++copied;
  }
  text[copied] = 0;
}

int32_t SDISendCommand(VexaSDI12* sdi, const char* command, char* buffer, uint32_t* size,
                       uint32_t* elapsedMs) {
  if (elapsedMs) *elapsedMs = 0;
  if (!sdi || !sdi->device || !command || !size) return kErrMissingArgument;
  SerialPort* port = &sdi->device->port;
  const uint32_t start = MsClock();
  const uint32_t tries = sdi->tries ? sdi->tries : 1;
  int32_t result = kResultOk;
  bool prefix = true;
  bool answered = false;
  uint32_t received = 0;

  for (uint32_t attempt = 0; attempt < tries; ++attempt) {
    if (prefix) {
      WriteText(port, "|");
      PumpingWait(kPrefixPauseMs);
      DSPurge(port, 1);
      sdi->answer[0] = 0;
    }
    // "DCommWrite", "DCommWait" and "DCommRead" below are the log's own words for the write, the
    // wait and the read, which service staff know from every error file; they name no function
    // of this code and stay as they are.
    const int32_t wrote = WriteText(port, command);
    if (wrote < 0) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "SDISendCommand got unexpected response (%d) from DCommWrite", wrote);
      if (buffer && *size) buffer[0] = 0;
      *size = 0;
      return wrote;  // the elapsed time stays 0
    }
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDISendCommand sent \"%s\"", command);
    const int32_t waited = DSWait(port, sdi->timeoutMs, '\r');
    if (waited < 0) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "SDISendCommand got unexpected response (%d) from DCommWait", waited);
      result = waited;
      break;
    }
    uint32_t got = 0;
    const int32_t read = ReadAnswer(port, sdi->answer, &got);
    if (read < 0) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "SDISendCommand got unexpected response (%d) from DCommRead", read);
      result = read;
      break;
    }
    if (got > 0) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDISendCommand received \"%s\"",
                 sdi->answer);
      received = got;
      answered = true;
      result = kResultOk;
      break;
    }
    if (attempt == 1) result = kErrNoAttempt;
    if (!Recover(sdi)) {
      result = kErrNoAnswer;
      break;
    }
    // The sensor is there but missed the command: the break may be what upset it, so the next
    // attempt goes without it (and the one after with it again).
    prefix = !prefix;
  }
  // Running out of attempts after a recovery leaves the answer to "?!" in place of the command's:
  // that is no answer to the command.
  if (result == kResultOk && !answered) result = kErrNoAttempt;

  if (elapsedMs) *elapsedMs = static_cast<uint32_t>(MsSince(start));
  if (result < 0) {
    if (buffer && *size) buffer[0] = 0;
    *size = 0;
    return result;
  }
  if (buffer && *size) {
    const uint32_t stored = received < *size - 1 ? received : *size - 1;
    std::memcpy(buffer, sdi->answer, stored);
    buffer[stored] = 0;
    *size = stored;
    if (stored < received) {
      LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
                 "DeviceCommand got %d more bytes than expected (%s)",
                 static_cast<int>(received - stored), command);
    }
  }
  return static_cast<int32_t>(received);
}

int32_t SensorExchange(VexaSDI12* sdi, const char* command, char* answer) {
  uint32_t size = kSensorAnswerSize + 1;
  uint32_t elapsed = 0;
  return SDISendCommand(sdi, command, answer, &size, &elapsed);
}

int32_t SDIGetSensorVersion(VexaSDI12* sdi) {
  if (!sdi) return kErrMissingArgument;
  char answer[kSensorAnswerSize + 1];
  const int32_t got = SensorExchange(sdi, "?I!", answer);
  if (got < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDIGetSensorVersion received error %i",
               got);
    return got;
  }
  sdi->address = answer[0];
  const uint32_t length = static_cast<uint32_t>(std::strlen(answer));
  uint32_t copied = 0;
  for (uint32_t at = kInfoStart; at < length && answer[at] != '\r' && copied < kSensorInfoLength;
       ++at) {
    sdi->info[copied++] = answer[at];
  }
  sdi->info[copied] = 0;
  // A short answer has no version digits: only digits actually received count.
  uint32_t version = 0;
  for (uint32_t at = kVersionStart; at < kVersionStart + kVersionDigits && at < length; ++at) {
    if (answer[at] < '0' || answer[at] > '9') break;
    version = version * 10 + static_cast<uint32_t>(answer[at] - '0');
  }
  sdi->version = version;
  LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDIGetSensorVersion found sensor info: %s",
             sdi->info);
  return static_cast<int32_t>(version);
}

int32_t SDISetSensorAddress(VexaSDI12* sdi, char address) {
  if (!sdi) return kErrMissingArgument;
  char answer[kSensorAnswerSize + 1];
  // The change is addressed to the sensor's present address: '0' after new firmware, but a
  // sensor that kept its address must be asked by that address (and needs no change at all).
  char present = '0';
  if (SensorExchange(sdi, "?!", answer) > 0 && answer[0] > ' ') present = answer[0];
  if (present == address) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorAddress successfully set sensor address to '%c'", address);
    return kResultOk;
  }
  char command[8];
  std::snprintf(command, sizeof command, "%cA%c!", present, address);
  const int32_t got = SensorExchange(sdi, command, answer);
  if (got < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDISetSensorAddress received error %i",
               got);
    return got;
  }
  if (answer[0] == address) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDISetSensorAddress successfully set sensor address to '%c'", address);
    return kResultOk;
  }
  LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
             "SDISetSensorAddress could not set sensor address to '%c'", address);
  return kErrUnreadableAnswer;
}

int32_t SDIInvokeVexaBSL(VexaSDI12* sdi) {
  if (!sdi || !sdi->device) return kErrMissingArgument;
  // The sensor may jump into its loader without answering: one short try only.
  const uint32_t tries = sdi->tries;
  const uint32_t timeoutMs = sdi->timeoutMs;
  sdi->tries = 1;
  sdi->timeoutMs = kLoaderTimeoutMs;
  char answer[kSensorAnswerSize + 1];
  SensorExchange(sdi, "?B!", answer);
  sdi->tries = tries;
  sdi->timeoutMs = timeoutMs;
  if (std::strstr(answer, "No BSL")) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag,
               "SDIInvokeVexaBSL: sensor reported a missing VexaBSL");
    return kErrSensorHasNoLoader;
  }
  // The reader now relays raw bytes to the sensor's loader, which "P" wakes.
  WriteText(&sdi->device->port, "]");
  PumpingWait(kLoaderRelayPauseMs);
  WriteText(&sdi->device->port, "P");
  PumpingWait(kLoaderRelayPauseMs);
  return kResultOk;
}

int32_t SDICheckBinary(VexaSDI12* sdi) {
  if (!sdi) return kErrMissingArgument;
  char answer[kSensorAnswerSize + 1];
  const int32_t got = SensorExchange(sdi, "?post!", answer);
  if (got < 0) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDICheckBinary received error %i", got);
    return got;
  }
  if (std::strstr(answer, "Code Good")) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDICheckBinary found good firmware");
    return kResultOk;
  }
  if (std::strstr(answer, "Code Corrupt")) {
    LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDICheckBinary found corrupt firmware");
    return kErrFirmwareCorrupt;
  }
  LogMessage(sdi->log, vexa_log_level::kTrace, kSdiTag, "SDICheckBinary unable to check firmware");
  return -1;
}
