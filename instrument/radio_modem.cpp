#include "instrument/radio_modem.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "instrument/device_command.h"
#include "instrument/device_types.h"

namespace {

constexpr uint32_t kAnswerBytes = 32;
constexpr uint32_t kModemTimeoutMs = 1500;
constexpr uint32_t kModemSaveTimeoutMs = 2000;
constexpr uint32_t kInstrumentRadioTimeoutMs = 2000;
constexpr uint32_t kCommandModeAttempts = 2;
constexpr uint32_t kPassThroughPauseMs = 500;
constexpr uint32_t kLineEndMs = 100;  // the rest of an "OK" line, a byte or two at 9600 baud
constexpr int32_t kMaxInstrumentChannel = 7;         // channels 0 to 6
constexpr int32_t kMaxInstrumentSubChannel = 65536;  // sub-channels 0 to 65535
constexpr uint32_t kChannelBit = 0x400;
constexpr uint32_t kSubChannelBit = 0x800;
constexpr uint32_t kVersionBit = 0x1000;

struct Exchange {
  int32_t result = 0;
  char answer[kAnswerBytes] = {};
  uint32_t ms = 0;
};

Exchange Send(DeviceContext* device, const char* command, char terminator, uint32_t timeoutMs) {
  Exchange exchange;
  uint32_t size = sizeof exchange.answer;
  exchange.result =
      DeviceCommand(device, command, terminator, timeoutMs, exchange.answer, &size, &exchange.ms);
  return exchange;
}

bool Accepted(const Exchange& exchange) {
  return exchange.result > 0 && std::strstr(exchange.answer, "OK");
}

// Reads a hexadecimal value; false when there is none or it does not fit 32 bits.
bool ReadHex(const char* text, int32_t* value) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text, &end, 16);
  if (end == text || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

// Reads one word of at most 8 characters into `word` (9 bytes).
bool ReadWord(const char* text, char* word) {
  word[0] = 0;
  return std::sscanf(text, "%8s", word) == 1;
}

// An instrument's value: after the "OK" and its line end when there is one.
const char* ValueOf(const char* answer) {
  const char* k = std::strchr(answer, 'K');
  if (!k) return answer;
  return k[1] ? k + 2 : k + 1;
}

bool IsFourHexDigits(const char* word) {
  if (std::strlen(word) != 4) return false;
  for (int i = 0; i < 4; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(word[i]))) return false;
  }
  return true;
}

}  // namespace

int32_t Mx2Config(DeviceContext* device, int32_t* channel, int32_t* subChannel, char* version,
                  SettingDirection direction, uint32_t* mask) {
  if (!device || !mask) return kErrMissingArgument;
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();
  const uint32_t wanted = *mask;

  // The modem enters AT command mode on "+++" framed by its guard time of silence.
  int32_t entered = kErrModemCommandMode;
  for (uint32_t attempt = 0; attempt < kCommandModeAttempts; ++attempt) {
    const Exchange plus = Send(device, "+++", 'K', kModemTimeoutMs);
    entered = Accepted(plus) ? kResultOk : (plus.result < 0 ? plus.result : kErrModemCommandMode);
    if (entered == kResultOk) break;
  }
  if (entered == kResultOk) {
    // The wait for "K" returns before the carriage return that ends the modem's "OK". The reads
    // below end on a carriage return: one arriving late would be taken for the channel's answer
    // and every later answer would then be read one command late.
    DSWait(&device->port, kLineEndMs, '\r');
  }
  if (entered < 0) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "Mx2Config failed to get into AT command mode: %d (%d ms)", entered, MsSince(start));
    *mask = 0;
    return kErrModemCommandMode;
  }

  int32_t result = kResultOk;
  uint32_t errors = 0;
  uint32_t done = 0;
  char command[32];
  if (direction == SettingDirection::kWrite) {
    if ((wanted & kChannelBit) && channel) {
      std::snprintf(command, sizeof command, "ATHP%X\r", static_cast<unsigned>(*channel));
      const Exchange set = Send(device, command, 'K', kModemTimeoutMs);
      if (Accepted(set)) {
        LogMessage(device->log, vexa_log_level::kTrace, tag, "Mx2Config set rch to %d (%d ms)",
                   *channel, set.ms);
        done |= kChannelBit;
      } else {
        errors += 1;
        if (set.result < 0) result = set.result;
      }
    }
    if ((wanted & kSubChannelBit) && subChannel) {
      std::snprintf(command, sizeof command, "ATDT%X\r", static_cast<unsigned>(*subChannel));
      const Exchange set = Send(device, command, 'K', kModemTimeoutMs);
      if (Accepted(set)) {
        LogMessage(device->log, vexa_log_level::kTrace, tag, "Mx2Config set rsch to %d (%d ms)",
                   *subChannel, set.ms);
        done |= kSubChannelBit;
      } else {
        errors += 2;
        if (set.result < 0) result = set.result;
      }
    }
    const Exchange save = Send(device, "ATWR\r", 'K', kModemSaveTimeoutMs);
    if (Accepted(save)) {
      LogMessage(device->log, vexa_log_level::kTrace, tag, "Mx2Config saved configuration (%d ms)",
                 save.ms);
      result = kResultOk;
    } else {
      errors += 8;
    }
  } else {
    if ((wanted & kChannelBit) && channel) {
      const Exchange get = Send(device, "ATHP\r", '\r', kModemTimeoutMs);
      int32_t value = 0;
      if (get.result > 0 && ReadHex(get.answer, &value)) {
        *channel = value;
        done |= kChannelBit;
        LogMessage(device->log, vexa_log_level::kTrace, tag, "Mx2Config found rch %d (%d ms)",
                   value, get.ms);
      } else {
        LogMessage(device->log, vexa_log_level::kTrace, tag, "Mx2Config could not find rch (%d ms)",
                   get.ms);
        errors += 1;
      }
    }
    if ((wanted & kSubChannelBit) && subChannel) {
      const Exchange get = Send(device, "ATDT\r", '\r', kModemTimeoutMs);
      int32_t value = 0;
      if (get.result > 0 && ReadHex(get.answer, &value)) {
        *subChannel = value;
        done |= kSubChannelBit;
        LogMessage(device->log, vexa_log_level::kTrace, tag, "Mx2Config found rsch %d (%d ms)",
                   value, get.ms);
      } else {
        LogMessage(device->log, vexa_log_level::kTrace, tag,
                   "Mx2Config could not find rsch (%d ms)", get.ms);
        errors += 2;
      }
    }
    if ((wanted & kVersionBit) && version) {
      const Exchange get = Send(device, "ATVR\r", '\r', kModemTimeoutMs);
      if (get.result > 0 && ReadWord(get.answer, version)) {
        done |= kVersionBit;
        LogMessage(device->log, vexa_log_level::kTrace, tag, "Mx2Config found rver %s (%d ms)",
                   version, get.ms);
      } else {
        LogMessage(device->log, vexa_log_level::kTrace, tag,
                   "Mx2Config could not find rver (%d ms)", get.ms);
        errors += 4;
      }
    }
  }

  const Exchange leave = Send(device, "ATCN\r", 'K', kModemTimeoutMs);
  const int32_t left = leave.result > 0 && !Accepted(leave) ? -1 : leave.result;
  if (left < 0) {
    LogMessage(device->log, vexa_log_level::kError, tag,
               "Mx2Config failed to get out of AT command mode: %d (%d ms)", left, MsSince(start));
    return left;
  }

  if (result < 0 || errors != 0) {
    if (done != 0) {
      result = kErrPartlyDone;
    } else if (result > 0) {
      result = kErrUnreadableAnswer;  // nothing wanted was done: no success to report
    }
    LogMessage(device->log, vexa_log_level::kError, tag,
               "Mx2Config failed with error %d and %d (%d ms)", result, errors, MsSince(start));
  }
  *mask = done;
  PumpingWait(100);
  return result;
}

namespace {

// One "set -rch"/"set -rsch" through the instrument, tried up to the context's tries.
// Returns true when accepted; sets *noRadio on "No Radio".
bool SetInstrumentRadio(DeviceContext* device, const char* option, int32_t value, uint32_t attempts,
                        bool* noRadio, uint32_t* ms) {
  char command[32];
  std::snprintf(command, sizeof command, "set -%s %X\r", option, static_cast<unsigned>(value));
  const bool qd4 = device->settings.deviceType == device_type::kQd4;
  for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
    const Exchange set = Send(device, command, '>', kInstrumentRadioTimeoutMs);
    *ms = set.ms;
    if (set.result > 0 && std::strstr(set.answer, "No Radio")) {
      *noRadio = true;
      return false;
    }
    if (set.result > 0 && std::strstr(set.answer, qd4 ? "OK\r\rOK" : "OK")) return true;
  }
  return false;
}

enum class ReadOutcome { kFound, kFailed, kBarePrompt, kNoRadio };

// One "get -rch"/"get -rsch" through the instrument: a hexadecimal value below `limit`.
ReadOutcome GetInstrumentRadio(DeviceContext* device, const char* command, int32_t limit,
                               uint32_t attempts, int32_t* value, uint32_t* ms) {
  ReadOutcome outcome = ReadOutcome::kFailed;
  for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
    const Exchange get = Send(device, command, '>', kInstrumentRadioTimeoutMs);
    *ms = get.ms;
    if (get.result == kErrBarePrompt) {
      outcome = ReadOutcome::kBarePrompt;
      continue;
    }
    if (get.result <= 0) {
      outcome = ReadOutcome::kFailed;
      continue;
    }
    if (std::strstr(get.answer, "No Radio")) return ReadOutcome::kNoRadio;
    int32_t parsed = 0;
    if (ReadHex(ValueOf(get.answer), &parsed) && parsed >= 0 && parsed < limit) {
      *value = parsed;
      return ReadOutcome::kFound;
    }
    outcome = ReadOutcome::kFailed;
  }
  return outcome;
}

int32_t InstrumentRadio(DeviceContext* device, int32_t* channel, int32_t* subChannel, char* version,
                        SettingDirection direction, uint32_t* mask) {
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();
  const uint32_t wanted = *mask;
  const uint32_t attempts = device->tries ? device->tries : 1;
  const uint32_t savedTries = device->tries;
  device->tries = 1;  // each command is retried here, one transaction at a time
  int32_t result = kResultOk;
  uint32_t failed = 0;
  uint32_t done = 0;
  uint32_t ms = 0;

  if (direction == SettingDirection::kWrite) {
    struct Write {
      uint32_t bit;
      const char* option;
      int32_t* value;
    };
    const Write writes[] = {
        {kChannelBit, "rch", channel},
        {kSubChannelBit, "rsch", subChannel},
    };
    for (const Write& write : writes) {
      if (!(wanted & write.bit) || !write.value) continue;
      bool noRadio = false;
      if (SetInstrumentRadio(device, write.option, *write.value, attempts, &noRadio, &ms)) {
        LogMessage(device->log, vexa_log_level::kTrace, tag, "MSRadioCommand set %s to %d (%d ms)",
                   write.option, *write.value, ms);
        done |= write.bit;
      } else {
        failed |= write.bit;
        if (noRadio) result = kErrNoRadio;
      }
    }
  } else {
    if ((wanted & kVersionBit) && version) {
      bool found = false;
      for (uint32_t attempt = 0; attempt < attempts && result != kErrNoRadio; ++attempt) {
        const Exchange get = Send(device, "get -rver\r", '>', kInstrumentRadioTimeoutMs);
        ms = get.ms;
        if (get.result == kErrBarePrompt) {
          result = 0;
          continue;
        }
        if (get.result <= 0) continue;
        if (std::strstr(get.answer, "No Radio")) {
          result = kErrNoRadio;
          break;
        }
        char word[kRadioVersionLength + 1];
        if (!ReadWord(ValueOf(get.answer), word)) continue;
        if (std::strncmp(word, "00", 2) == 0) {
          result = kErrNoRadio;
          version[0] = 0;
          break;
        }
        if (IsFourHexDigits(word)) {
          std::memcpy(version, word, sizeof word);
          LogMessage(device->log, vexa_log_level::kTrace, tag,
                     "MSRadioCommand found rver %s (%d ms)", version, ms);
          found = true;
          break;
        }
      }
      if (found) {
        done |= kVersionBit;
      } else {
        failed |= kVersionBit;
        LogMessage(device->log, vexa_log_level::kTrace, tag,
                   "MSRadioCommand could not find rver (%d ms)", ms);
      }
    }
    struct Read {
      uint32_t bit;
      const char* command;
      int32_t limit;
      int32_t* value;
      const char* name;
    };
    const Read reads[] = {
        {kChannelBit, "get -rch\r", kMaxInstrumentChannel, channel, "rch"},
        {kSubChannelBit, "get -rsch\r", kMaxInstrumentSubChannel, subChannel, "rsch"},
    };
    for (const Read& read : reads) {
      if (!(wanted & read.bit) || !read.value || result == kErrNoRadio) continue;
      int32_t value = 0;
      const ReadOutcome outcome =
          GetInstrumentRadio(device, read.command, read.limit, attempts, &value, &ms);
      if (outcome == ReadOutcome::kFound) {
        *read.value = value;
        done |= read.bit;
        LogMessage(device->log, vexa_log_level::kTrace, tag, "MSRadioCommand found %s %d (%d ms)",
                   read.name, value, ms);
        continue;
      }
      failed |= read.bit;
      if (outcome == ReadOutcome::kBarePrompt) result = 0;
      if (outcome == ReadOutcome::kNoRadio) {
        result = kErrNoRadio;
        continue;
      }
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "MSRadioCommand could not find %s (%d ms)", read.name, ms);
    }
  }
  device->tries = savedTries;

  if ((result == 0 || result == kErrNoRadio) && done == 0) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "MSRadioCommand couldn't find a radio (%d ms)", MsSince(start));
    *mask = 0;
    return result;
  }
  if (result < 0 || failed != 0) {
    if (done != 0) {
      result = kErrPartlyDone;
    } else if (result > 0) {
      result = kErrUnreadableAnswer;  // nothing wanted was done: no success to report
    }
    LogMessage(device->log, vexa_log_level::kError, tag,
               "MSRadioCommand failed with error %d setting %d (%d ms)", result, failed,
               MsSince(start));
  }
  *mask = done;
  return result;
}

}  // namespace

int32_t MSRadioCommand(DeviceContext* device, int32_t* channel, int32_t* subChannel, char* version,
                       SettingDirection direction, uint32_t* mask) {
  if (!device || !mask) return kErrMissingArgument;
  const char* tag = DeviceTag(device);
  if (!(device->settings.capabilityMask & capability::kRadio)) {
    *mask = 0;
    return kErrNoCapability;
  }

  if (device->request.linkKind == link_kind::kRadio) {
    if (direction == SettingDirection::kWrite) {
      *mask = 0;
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "MSRadioCommand can't set radio parameters while connected over the radio");
      return kErrRadioWriteOverRadio;
    }
    if (version) version[0] = 0;
    if (device->request.configureRadioModem) {
      if (channel) *channel = device->request.radioChannel;
      if (subChannel) *subChannel = device->request.radioSubChannel;
      *mask = kChannelBit | kSubChannelBit;
      LogMessage(device->log, vexa_log_level::kTrace, tag,
                 "MSRadioCommand knows the RCH is %d and RSCH is %d (can't get RVER)",
                 device->request.radioChannel, device->request.radioSubChannel);
      return kResultOk;
    }
    int32_t localChannel = 0;
    int32_t localSubChannel = 0;
    uint32_t modemMask = kChannelBit | kSubChannelBit;
    PumpingWait(kPassThroughPauseMs);  // the modem's guard time before "+++"
    const int32_t result = Mx2Config(device, &localChannel, &localSubChannel, nullptr,
                                     SettingDirection::kRead, &modemMask);
    if (channel && (modemMask & kChannelBit)) *channel = localChannel;
    if (subChannel && (modemMask & kSubChannelBit)) *subChannel = localSubChannel;
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "MSRadioCommand asked the Mx2 and found the RCH is %d and RSCH is %d (can't get "
               "RVER)",
               localChannel, localSubChannel);
    *mask = modemMask;
    return result;
  }

  if (!device->settings.newFirmware) {
    // The oldest firmware has no radio commands: a "Qd4" passes the line through to its own
    // modem after "term" until the next "term".
    if (device->settings.deviceType != device_type::kQd4) return kErrNoAnswer;
    DSWrite(&device->port, "term\r", 5, nullptr);
    PumpingWait(kPassThroughPauseMs);
    const int32_t result = Mx2Config(device, channel, subChannel, version, direction, mask);
    PumpingWait(kPassThroughPauseMs);
    Send(device, "term\r", '>', kModemTimeoutMs);
    return result;
  }
  return InstrumentRadio(device, channel, subChannel, version, direction, mask);
}
