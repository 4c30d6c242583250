#include "session/record_sets.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>

#include "instrument/device_command.h"

namespace {

constexpr uint32_t kRecordTimeoutMs = 2000;
constexpr uint32_t kCountAnswer = 32;
constexpr uint32_t kResetTries = 3;
constexpr uint32_t kResetTimeoutMs = 9500;
constexpr uint32_t kResetAnswer = 128;
constexpr uint32_t kResetPauseMs = 1000;
constexpr uint32_t kNameCompared = 32;
constexpr uint32_t kEqnNameLength = 20;
constexpr uint32_t kUserNameLength = 9;

// The instrument's own end of a list: a refusal, or an empty value (the bare prompt).
bool EndsList(int32_t result) {
  return result == kErrRefused || result == kErrBarePrompt;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 0;  // '=' and anything outside the alphabet
}

// Decodes whole groups of four characters into `out` (at least 3 * length / 4 + 1 bytes).
void DecodeBase64(const char* text, char* out) {
  const size_t length = std::strlen(text);
  size_t written = 0;
  for (size_t i = 0; i + 4 <= length; i += 4) {
    const uint32_t group = (Base64Value(text[i]) << 18) | (Base64Value(text[i + 1]) << 12) |
                           (Base64Value(text[i + 2]) << 6) | Base64Value(text[i + 3]);
    out[written++] = static_cast<char>(group >> 16);
    out[written++] = static_cast<char>(group >> 8);
    out[written++] = static_cast<char>(group);
  }
  out[written] = 0;
}

void EqnName(const char* data, char* name) {
  uint32_t i = 0;
  for (; i < kEqnNameLength && data[i] && data[i] != ' '; ++i) {
    name[i] = data[i] == '_' ? ' ' : data[i] == '`' ? ',' : data[i];
  }
  name[i] = 0;
}

void UserName(const char* data, char* name) {
  char row[kRecordDataSize] = {};
  DecodeBase64(data, row);
  const char* field = row;
  for (int tabs = 0; tabs < 3; ++tabs) {
    field = std::strchr(field, '\t');
    if (!field) {
      name[0] = 0;  // fewer than four fields: no name
      return;
    }
    ++field;
  }
  uint32_t i = 0;
  for (; i < kUserNameLength && field[i] && field[i] != '\t'; ++i) name[i] = field[i];
  name[i] = 0;
}

// True when `a` sorts before `b`: compared upper-cased over at most 32 characters, a name that
// ends first or at the same point counts as lower; 32 equal characters do not.
bool NameLower(const char* a, const char* b) {
  for (uint32_t i = 0; i < kNameCompared; ++i) {
    const int ca = std::toupper(static_cast<unsigned char>(a[i]));
    const int cb = std::toupper(static_cast<unsigned char>(b[i]));
    if (ca == 0) return true;
    if (ca != cb) return ca < cb;
  }
  return false;
}

}  // namespace

int32_t ExtractNames(SessionContext* session, int type) {
  RecordSet* set = RecordSetOf(session, type);
  if (set && !set->records) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "ExtractNames found an null record pointer");
    return kErrMissingArgument;
  }
  if (!set) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "ExtractNames found an unexpected record type \"%d\"", type);
    return kErrBadArgument;
  }
  for (uint32_t i = 0; i < set->count; ++i) {
    LabRecord& record = set->records[i];
    if (type == record_type::kEqn) {
      EqnName(record.data, record.name);
    } else {
      UserName(record.data, record.name);
    }
  }
  return kResultOk;
}

int32_t AlphabetizeRecords(SessionContext* session, int type) {
  if (!RecordSetOf(session, type)) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "AlphabetizeRecords found an unexpected record type \"%d\"", type);
    return kErrBadArgument;
  }
  const int32_t named = ExtractNames(session, type);
  if (named < 0) return named;
  RecordSet* set = RecordSetOf(session, type);
  LabRecord* records = set->records.get();
  for (uint32_t i = 1; i < set->count; ++i) {
    const LabRecord moving = records[i];
    uint32_t j = i;
    while (j > 0 && NameLower(moving.name, records[j - 1].name)) {
      records[j] = records[j - 1];
      --j;
    }
    records[j] = moving;
  }
  return kResultOk;
}

int32_t GetRecords_Serial(SessionContext* session, int type) {
  RecordSet* set = RecordSetOf(session, type);
  if (!set) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_Serial found an unexpected record type \"%d\"", type);
    return kErrBadArgument;
  }
  const char* name = RecordSetName(type);
  if (set->records) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_Serial found a non-null \"%s\" set", name);
    ReleaseRecords(set);
  }
  char command[32];
  std::snprintf(command, sizeof command, "get -%s\r", name);
  char answer[kCountAnswer];
  uint32_t size = sizeof answer;
  int count = 0;
  const int32_t asked =
      DeviceCommand(&session->device, command, '>', kRecordTimeoutMs, answer, &size, nullptr);
  // Without an answer, fetch up to the most the instrument can hold.
  const bool reported = asked > 0 && std::sscanf(answer, " %d", &count) == 1;
  if (!reported) count = type == record_type::kEqn ? kMaxEqnRecords : kMaxUserRecords;
  if (count <= 0) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_Serial found no \"%s\" records in instrument", name);
    return 0;
  }
  LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
             "GetRecords_Serial instrument reports %d \"%s\" records", count, name);
  if (AllocateRecords(set, static_cast<uint32_t>(count)) != kResultOk) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_Serial couldn't allocate memory for %d records", count);
    return kErrOutOfMemory;
  }
  uint32_t fetched = 0;
  int32_t last = kResultOk;
  for (; fetched < set->count; ++fetched) {
    std::snprintf(command, sizeof command, "get -%s %u", name, fetched);
    last = GetValueString(&session->device, command, kRecordTimeoutMs, set->records[fetched].data,
                          kRecordDataSize - 1);
    if (last != kResultOk) break;
  }
  LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
             "GetRecords_Serial retrieved %d of %d \"%s\" records", static_cast<int>(fetched),
             count, name);
  set->count = fetched;
  // A list that ends on a silence or an unreadable answer, or short of the count the instrument
  // gave, is not the instrument's whole set.
  const bool whole = (last == kResultOk || EndsList(last)) &&
                     (!reported || fetched == static_cast<uint32_t>(count));
  return whole ? kResultOk : kErrPartlyDone;
}

int32_t SetRecords_Serial(SessionContext* session, int type) {
  RecordSet* set = RecordSetOf(session, type);
  if (!set) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "SetRecords_Serial found an unexpected record type \"%d\"", type);
    return kErrBadArgument;
  }
  const char* name = RecordSetName(type);
  if (set->count == 0 || !set->records) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "SetRecords_Serial found an empty \"%s\" set", name);
    return 0;
  }
  AlphabetizeRecords(session, type);
  uint32_t index = 0;
  uint32_t refused = 0;
  for (; index < set->count && set->records[index].data[0]; ++index) {
    const LabRecord& record = set->records[index];
    char command[kRecordDataSize + 32];
    std::snprintf(command, sizeof command, "set -%s %u %s\r", name, index, record.data);
    char answer[kCountAnswer];
    uint32_t size = sizeof answer;
    uint32_t elapsed = 0;
    const int32_t result =
        DeviceCommand(&session->device, command, '>', kRecordTimeoutMs, answer, &size, &elapsed);
    if (result > 0 && std::strstr(answer, "OK")) {
      LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
                 "SetRecords_Serial set \"%s\" %d to \"%s\" (%d ms)", name, static_cast<int>(index),
                 record.data, static_cast<int>(elapsed));
    } else {
      ++refused;
    }
  }
  LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
             "SetRecords_Serial retrieved %d of %d \"%s\" records", static_cast<int>(index),
             static_cast<int>(set->count), name);
  // A record the instrument did not take is lost with the settings file: say so.
  return refused ? kErrPartlyDone : kResultOk;
}

int32_t ResetRecords(SessionContext* session, const char* command) {
  // The log shows the command without its carriage return.
  char shown[32];
  std::snprintf(shown, sizeof shown, "%.*s", static_cast<int>(std::strcspn(command, "\r")),
                command);
  int32_t result = kErrNoAnswer;
  for (uint32_t attempt = 0; attempt < kResetTries; ++attempt) {
    char answer[kResetAnswer];
    uint32_t size = sizeof answer;
    uint32_t elapsed = 0;
    result =
        DeviceCommand(&session->device, command, '>', kResetTimeoutMs, answer, &size, &elapsed);
    if (std::strstr(command, "user")) {
      LogMessage(session->log, vexa_log_level::kError, kSessionTag, "\"%s\" returned %d (%d ms)",
                 shown, result, static_cast<int>(elapsed));
      return result;
    }
    if (result > 0 && std::strstr(answer, "OK")) return kResultOk;
    LogMessage(session->log, vexa_log_level::kError, kSessionTag,
               "\"%s\" failed with error %d (%d ms)", shown, result, static_cast<int>(elapsed));
    PumpingWait(kResetPauseMs);
  }
  return result;
}
