#include "instrument/identify.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "instrument/device_command.h"
#include "instrument/device_types.h"

namespace {

constexpr uint32_t kVerAnswerBytes = 32;
constexpr uint32_t kVerTimeoutMs = 400;
constexpr uint32_t kVerRadioTimeoutMs = 800;
constexpr uint32_t kVerPauseMs = 400;
constexpr uint32_t kLoaderWaitPauseMs = 3000;
constexpr uint32_t kExtraVerAttempts = 3;
constexpr int kMaxBlankAnswers = 3;
constexpr uint32_t kShowAnswerBytes = 180;
constexpr uint32_t kShowTimeoutMs = 1500;
constexpr int32_t kOldestReadableShow = 110;  // "show" of older firmware has another layout

const char* SkipCarriageReturns(const char* text) {
  while (*text == '\r') ++text;
  return text;
}

// Reads "major.minor[third]" ("%d.%1d%1d"): the number of fields read and the version number.
int ReadVersionNumber(const char* text, int32_t* number) {
  int major = 0;
  int minor = 0;
  int third = 0;
  const int fields = std::sscanf(text, "%d.%1d%1d", &major, &minor, &third);
  if (fields >= 3) *number = major * 100 + minor * 10 + third;
  return fields;
}

// Copies up to `limit` characters that are not blank, carriage return or line feed.
size_t CopyField(const char* from, char* into, size_t limit) {
  size_t length = 0;
  while (length < limit && from[length] && !std::strchr(" \t\r\n>", from[length])) {
    into[length] = from[length];
    ++length;
  }
  into[length] = 0;
  return length;
}

// The text after "label" and one blank, or null when the label is missing.
const char* AfterLabel(const char* answer, const char* label) {
  const char* at = std::strstr(answer, label);
  if (!at) return nullptr;
  at += std::strlen(label);
  if (*at == ' ') ++at;
  return at;
}

// A decimal after a label: 0 read, 1 missing label (nothing to add), -1 unreadable.
int ReadLabelled(const char* answer, const char* label, int32_t* value) {
  const char* at = AfterLabel(answer, label);
  if (!at) return 1;
  char* end = nullptr;
  const long parsed = std::strtol(at, &end, 10);
  if (end == at || parsed < INT32_MIN || parsed > INT32_MAX) return -1;
  *value = static_cast<int32_t>(parsed);
  return 0;
}

void ForgetIdentification(SettingsRecord& record) {
  record.newFirmware = 0;
  record.deviceType = 0;
  record.versionText[0] = 0;
  record.versionNumber = 0;
}

}  // namespace

int32_t VerCommand(DeviceContext* device, bool skipShow) {
  SettingsRecord& record = device->settings;
  if (record.deviceType == device_type::kQd4 && !record.newFirmware) {
    return ParseShowCommand(device, nullptr);
  }
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();
  const uint32_t timeout =
      device->request.linkKind == link_kind::kRadio ? kVerRadioTimeoutMs : kVerTimeoutMs;
  const uint32_t attempts = device->tries + kExtraVerAttempts;
  int32_t result = kResultOk;
  int blankAnswers = 0;
  int loaderMarks = 0;

  for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
    char answer[kVerAnswerBytes];
    uint32_t size = sizeof answer;
    uint32_t elapsed = 0;
    const int32_t got = DeviceCommand(device, "get -ver\r", '>', timeout, answer, &size, &elapsed);
    // A refusal leaves the caller's copy empty; its text is still in the response buffer.
    if (got < 0 && !answer[0]) {
      std::snprintf(answer, sizeof answer, "%s", device->response);
    }

    if (device->tries == 1 && got == kErrNoAnswer) {
      result = kErrNoAnswer;
      continue;
    }
    if (answer[0] && answer[1] == '>') {
      result = kErrEchoed;
      continue;
    }
    if (got != kErrNoAnswer && got != kErrLastTrySilent &&
        (std::strcmp(answer, "\r") == 0 || std::strcmp(answer, ">") == 0)) {
      result = kErrUnreadableAnswer;
      if (++blankAnswers >= kMaxBlankAnswers) break;
      attempt = static_cast<uint32_t>(-1);  // a blank answer starts the count again
      PumpingWait(timeout);
      continue;
    }
    if (got < 0 && got != kErrRefused) {
      result = got;
      if (got == kErrNoAnswer) break;
      continue;
    }
    if (std::strchr(answer, '.')) {
      const char* line = SkipCarriageReturns(answer);
      const char* lineEnd = std::strchr(line, '\r');
      if (!lineEnd) {
        PumpingWait(kVerPauseMs);  // only part of the line arrived
        continue;
      }
      size_t length = static_cast<size_t>(lineEnd - line);
      if (length > kVersionLineLength) length = kVersionLineLength;
      std::memcpy(record.versionText, line, length);
      record.versionText[length] = 0;
      char word[kVersionLineLength + 1] = {};
      int major = 0;
      int minor = 0;
      int third = 0;
      const int fields =
          std::sscanf(record.versionText, "%20s %d.%1d%1d", word, &major, &minor, &third);
      if (fields >= 3) {
        record.versionNumber = major * 100 + minor * 10 + (fields >= 4 ? third : 0);
        record.newFirmware = 1;
        record.deviceType = DeviceTypeOfWord(word);
        std::snprintf(record.deviceTypeName, sizeof record.deviceTypeName, "%s",
                      DeviceTypeName(record.deviceType));
        UpdateCapabilities(device);
        LogMessage(device->log, vexa_log_level::kTrace, tag,
                   "VerCommand found \"%s\" ver %d (%d ms)", record.versionText,
                   record.versionNumber, MsSince(start));
        result = kResultOk;
        break;
      }
      result = kErrUnreadableAnswer;
      PumpingWait(kVerPauseMs);
      continue;
    }
    if (std::strchr(answer, '+')) {
      // The bootstrap loader answers with "+": it runs instead of the firmware.
      const char* text = SkipCarriageReturns(answer);
      if (text[0] == '+' && std::strlen(text) >= 4) {
        result = kErrLoaderRunning;
        break;
      }
      continue;
    }
    if (std::strchr(answer, '$')) {
      // The loader's mark that it waits for a connection.
      if (++loaderMarks >= 2) break;
      result = kErrLoaderWaiting;
      PumpingWait(kLoaderWaitPauseMs);
      continue;
    }
    if (got == kErrRefused) {
      if (attempt == 0 || result == kResultOk) {
        result = kErrUnreadableAnswer;
        PumpingWait(kVerPauseMs);
        continue;
      }
      // Refused twice: the oldest "Qd4" firmware, which has no "get -ver".
      record.newFirmware = 0;
      record.deviceType = device_type::kQd4;
      std::snprintf(record.deviceTypeName, sizeof record.deviceTypeName, "%s",
                    DeviceTypeName(device_type::kQd4));
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "VerCommand found Qd4 with old firmware (%d ms)", MsSince(start));
      if (!skipShow) ParseShowCommand(device, nullptr);
      UpdateCapabilities(device);
      result = kResultOk;
      break;
    }
    result = kErrUnreadableAnswer;
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "VerCommand couldn't decipher \"%s\" (%d ms)", answer, MsSince(start));
  }

  if (result < 0) {
    LogMessage(device->log, vexa_log_level::kError, tag, "VerCommand failed with error %d (%d ms)",
               result, MsSince(start));
    ForgetIdentification(record);
  }
  return result;
}

int32_t ParseShowCommand(DeviceContext* device, char* name) {
  SettingsRecord& record = device->settings;
  const char* tag = DeviceTag(device);
  if (record.deviceType != device_type::kQd4 || record.newFirmware) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "ParseShowCommand doesn't work with devices running \"new\" firmware.");
    return kErrBadArgument;
  }
  char answer[kShowAnswerBytes];
  uint32_t size = sizeof answer;
  uint32_t elapsed = 0;
  const int32_t got = DeviceCommand(device, "show\r", '>', kShowTimeoutMs, answer, &size, &elapsed);
  int errors = 0;
  if (got > 0) {
    const char* id = AfterLabel(answer, "ID:");
    if (name) {
      return id && CopyField(id, name, kInstrumentNameLength) ? kResultOk : kErrUnreadableAnswer;
    }
    if (!id || !CopyField(id, record.deviceName, kInstrumentNameLength)) errors |= 1;

    const char* version = AfterLabel(answer, "Version:");
    int32_t number = 0;
    if (version) CopyField(version, record.versionText, kVersionLineLength);
    if (!version || ReadVersionNumber(record.versionText, &number) < 3) {
      errors |= 2;
    } else {
      record.versionNumber = number;
      if (number < kOldestReadableShow) return kErrNotForThisType;
    }
    if (ReadLabelled(answer, "Radio:", &record.radioMode) < 0) errors |= 4;
    if (ReadLabelled(answer, "Wake:", &record.wakeInterval) < 0) errors |= 8;
    int32_t resets = 0;
    const int read = ReadLabelled(answer, "Resets:", &resets);
    if (read < 0) errors |= 16;
    if (read == 0) device->resets = static_cast<uint32_t>(resets);
  }
  record.serialNumber[0] = 0;
  if (got <= 0 || errors) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "ParseShowCommand failed with errors %d and %d (%d ms)", got, errors, elapsed);
    record.deviceName[0] = 0;
    record.versionText[0] = 0;
    record.versionNumber = -1;
    record.wakeInterval = -1;
    record.radioMode = 0;
    return kErrUnreadableAnswer;
  }
  LogMessage(device->log, vexa_log_level::kError, tag,
             "ParseShowCommand found %s:%s:%d:%d:%d (%d ms)", record.deviceName, record.versionText,
             record.radioMode, record.wakeInterval, static_cast<int>(device->resets), elapsed);
  return kResultOk;
}
