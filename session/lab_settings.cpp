#include "session/lab_settings.h"

#include <cstdio>
#include <cstring>

#include "instrument/device_command.h"
#include "session/lab_items.h"
#include "session/record_sets.h"

namespace {

namespace bit = lab_bit;

constexpr uint32_t kGetTimeoutMs = 2000;
constexpr uint32_t kSetTimeoutMs = 2000;
constexpr uint32_t kSerialSetTimeoutMs = 4000;
constexpr uint32_t kSerialTries = 3;
constexpr uint32_t kSetAnswer = 64;
constexpr int kMaxSerialRetries = 4;  // kErrUninitialised in a row before the collection gives up

// The order the items are read and written in, one a pass.
constexpr uint32_t kGetOrder[] = {
    bit::kLanguage, bit::kSerialNumber, bit::kContrast,    bit::kConfig,    bit::kFvals,
    bit::kUvals,    bit::kUnits,        bit::kAdc,         bit::kSample,    bit::kUsage,
    bit::kInterval, bit::kAdcCal,       bit::kWtOffset,    bit::kWtFactory, bit::kP1Offset,
    bit::kSys,      bit::kAuto,         bit::kPcUnits,     bit::kName,      bit::kAdc15,
    bit::kAdc30,    bit::kPSet,         bit::kCalEntries,  bit::kLocation,  bit::kChai,
    bit::kExtCal,   bit::kEqnRecords,   bit::kUserRecords, bit::kTadj,      bit::kHadjTau,
    bit::kPValues,
};
constexpr uint32_t kSetOrder[] = {
    bit::kSerialNumber, bit::kLanguage,   bit::kContrast,  bit::kFvals,      bit::kConfig,
    bit::kUvals,        bit::kUnits,      bit::kAdc,       bit::kSample,     bit::kUsage,
    bit::kAdcCal,       bit::kWtOffset,   bit::kWtFactory, bit::kP1Offset,   bit::kSys,
    bit::kAuto,         bit::kPcUnits,    bit::kName,      bit::kAdc15,      bit::kAdc30,
    bit::kPSet,         bit::kCalEntries, bit::kLocation,  bit::kChai,       bit::kExtCal,
    bit::kTadj,         bit::kHadjTau,    bit::kPValues,   bit::kEqnRecords, bit::kUserRecords,
};

// The p-set: seven values in the calibration area. p0 and p1 are written only when held.
struct PSetValue {
  const char* name;  // the option, also the label of the set line
  int entry;
  bool optional;
};
constexpr PSetValue kPSet[] = {
    {"p0", pset_entry::kP0, true},        {"p3", pset_entry::kP3, false},
    {"p5", pset_entry::kP5, false},       {"lwidth", pset_entry::kLwidth, false},
    {"ltemp", pset_entry::kLtemp, false}, {"current", pset_entry::kCurrent, false},
    {"p1", pset_entry::kP1, true},
};

bool UsesPvUser(int type) {
  return type == 15 || type == 22;
}

// The calibration entries' option and numbering: "get -cal 0" up to 20 entries; the vernode
// (type 21) "get -cal1" up to 7.
struct CalNumbering {
  const char* prefix;
  uint32_t first;
  uint32_t count;
};
CalNumbering CalEntriesOf(int type) {
  return type == 21 ? CalNumbering{"-cal", 1, 7} : CalNumbering{"-cal ", 0, kCalEntryCount};
}

// An instrument's own end of a list: a refusal, or an empty value (the bare prompt).
bool EndsList(int32_t result) {
  return result == kErrRefused || result == kErrBarePrompt;
}

int32_t GetText(SessionContext* session, const char* command, char* value, uint32_t size) {
  return GetValueString(&session->device, command, kGetTimeoutMs, value, size - 1);
}

// One item's read. `obtained` says whether its presence bit is set; a result that is not
// negative counts as a success of the pass.
struct Got {
  int32_t result = kResultOk;
  bool obtained = false;
};

Got GetSerialNumber(SessionContext* session) {
  LabSettings& lab = session->lab;
  Got got;
  for (uint32_t attempt = 0; attempt < kSerialTries; ++attempt) {
    got.result = GetText(session, "get -sn", lab.serialNumber, sizeof lab.serialNumber);
    // Some firmware answers a command it took for a set with "OK": that is no serial number.
    if (got.result == kResultOk && std::strstr(lab.serialNumber, "OK")) {
      lab.serialNumber[0] = 0;
      got.result = kErrUnreadableAnswer;
      continue;
    }
    if (got.result == kResultOk) break;
  }
  got.obtained = got.result == kResultOk;
  return got;
}

Got GetPSet(SessionContext* session) {
  LabSettings& lab = session->lab;
  Got got;
  got.result = kErrUnreadableAnswer;
  for (const PSetValue& value : kPSet) {
    char command[24];
    std::snprintf(command, sizeof command, "get -%s", value.name);
    const int32_t result = GetText(session, command, lab.cal[value.entry], kLabTextSize);
    if (result == kResultOk) {
      got.obtained = true;
      got.result = kResultOk;
    } else if (!got.obtained) {
      got.result = result;
    }
  }
  return got;
}

Got GetCalEntries(SessionContext* session) {
  LabSettings& lab = session->lab;
  const CalNumbering numbering = CalEntriesOf(session->type);
  Got got;
  for (uint32_t i = 0; i < numbering.count; ++i) {
    char command[24];
    std::snprintf(command, sizeof command, "get %s%u", numbering.prefix, numbering.first + i);
    const int32_t result = GetText(session, command, lab.cal[i], kLabTextSize);
    if (result == kResultOk) continue;
    lab.cal[i][0] = 0;
    if (i == 0) {
      got.result = result;
    } else if (!EndsList(result)) {
      // A silence or an unreadable answer in the middle: the list is not whole.
      got.result = kErrPartlyDone;
    }
    break;
  }
  got.obtained = got.result == kResultOk;
  return got;
}

Got GetPValues(SessionContext* session) {
  LabSettings& lab = session->lab;
  Got got;
  got.result = GetText(session, "get -p", lab.fvals, sizeof lab.fvals);
  got.obtained = got.result == kResultOk;
  if (got.obtained && session->type == 16) {
    GetText(session, "get -pv", lab.uvals, sizeof lab.uvals);
    GetText(session, "get -c76", lab.calprefs, sizeof lab.calprefs);
  }
  return got;
}

Got GetHadjTau(SessionContext* session) {
  LabSettings& lab = session->lab;
  Got got;
  if (GetText(session, "get -hadj", lab.hadj, sizeof lab.hadj) == kResultOk) {
    got.obtained = GetValueLong(&session->device, "get -tau", kGetTimeoutMs, &lab.tau) == kResultOk;
  }
  return got;  // counts as done either way
}

Got GetRecords(SessionContext* session, int type) {
  Got got;
  got.result = GetRecords_Serial(session, type);
  got.obtained = got.result == kResultOk && RecordSetOf(session, type)->count > 0;
  return got;
}

Got GetItem(SessionContext* session, uint32_t item) {
  LabSettings& lab = session->lab;
  switch (item) {
    case bit::kSerialNumber:
      return GetSerialNumber(session);
    case bit::kUvals: {
      Got got;
      got.result = GetText(session, UsesPvUser(session->type) ? "get -pvuser" : "get -uvals",
                           lab.uvals, sizeof lab.uvals);
      got.obtained = got.result == kResultOk;
      return got;
    }
    case bit::kPSet:
      return GetPSet(session);
    case bit::kCalEntries:
      return GetCalEntries(session);
    case bit::kPValues:
      return GetPValues(session);
    case bit::kHadjTau:
      return GetHadjTau(session);
    case bit::kUserRecords:
      return GetRecords(session, record_type::kUser);
    case bit::kEqnRecords:
      return GetRecords(session, record_type::kEqn);
    default:
      break;
  }
  Got got;
  const LabItem* plain = FindPlainLabItem(item);
  if (!plain) return got;
  if (plain->kind == LabValue::kText) {
    got.result = GetText(session, plain->getCommand, plain->text(lab), plain->size);
  } else {
    got.result =
        GetValueLong(&session->device, plain->getCommand, kGetTimeoutMs, plain->number(lab));
  }
  got.obtained = got.result == kResultOk;
  if (item == bit::kSample && got.result < 0) got.result = kResultOk;  // optional on most firmware
  return got;
}

// The first item of `order` still in `mask`, 0 when none is.
template <size_t N>
uint32_t NextItem(const uint32_t (&order)[N], uint32_t mask) {
  for (uint32_t item : order) {
    if (mask & item) return item;
  }
  return 0;
}

// One write: the command, then "OK" makes it 1 and logs "SetInstInfo set LABEL to "VALUE"".
// A positive answer without "OK" is left as the transaction gave it.
int32_t Send(SessionContext* session, const char* label, const char* command, const char* shown,
             uint32_t timeoutMs = kSetTimeoutMs) {
  // A line end inside a value would end the command early and run the rest as another.
  if (std::strpbrk(shown, "\r\n")) return kErrBadArgument;
  char answer[kSetAnswer];
  uint32_t size = sizeof answer;
  uint32_t elapsed = 0;
  int32_t result =
      DeviceCommand(&session->device, command, '>', timeoutMs, answer, &size, &elapsed);
  if (result > 0 && std::strstr(answer, "OK")) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "SetInstInfo set %s to \"%s\" (%d ms)", label, shown, static_cast<int>(elapsed));
    result = kResultOk;
  }
  return result;
}

// Writes "<option> <value>\r" ("set -p3 12.5").
int32_t SendText(SessionContext* session, const char* label, const char* option,
                 const char* value) {
  char command[kLabTextSize + 48];
  std::snprintf(command, sizeof command, "%s %s\r", option, value);
  return Send(session, label, command, value);
}

// The table's formats are checked against their values where the table is defined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
int32_t SendTableText(SessionContext* session, const LabItem& item, const char* value) {
  char command[kLabTextSize + 48];
  std::snprintf(command, sizeof command, item.setFormat, value);
  return Send(session, item.label, command, value);
}
int32_t SendTableNumber(SessionContext* session, const LabItem& item, long value) {
  char shown[16], command[48];
  std::snprintf(shown, sizeof shown, "%ld", value);
  std::snprintf(command, sizeof command, item.setFormat, value);
  return Send(session, item.label, command, shown);
}
#pragma GCC diagnostic pop

int32_t SetSerialNumber(SessionContext* session) {
  const char* serial = session->lab.serialNumber;
  char command[kLabSerialSize + 16];
  std::snprintf(command, sizeof command, "set -sn %s\r", serial);
  int32_t result = kErrNoAnswer;
  for (uint32_t attempt = 0; attempt < kSerialTries; ++attempt) {
    result = Send(session, "device serial number", command, serial, kSerialSetTimeoutMs);
    if (result > 0) break;
  }
  return result == kErrRefused ? kErrSerialRefused : result;
}

// The first failure of a group of writes, else 1.
void Keep(int32_t* first, int32_t result) {
  if (result < 0 && *first >= 0) *first = result;
}

int32_t SetPSet(SessionContext* session) {
  LabSettings& lab = session->lab;
  int32_t result = kResultOk;
  for (const PSetValue& value : kPSet) {
    const char* text = lab.cal[value.entry];
    if (value.optional && !text[0]) continue;
    char option[24];
    std::snprintf(option, sizeof option, "set -%s", value.name);
    Keep(&result, SendText(session, value.name, option, text));
  }
  return result;
}

int32_t SetCalEntries(SessionContext* session) {
  LabSettings& lab = session->lab;
  const CalNumbering numbering = CalEntriesOf(session->type);
  int32_t result = kResultOk;
  for (uint32_t i = 0; i < numbering.count && lab.cal[i][0]; ++i) {
    char label[16], command[kLabTextSize + 32];
    std::snprintf(label, sizeof label, "cal %u", i);
    std::snprintf(command, sizeof command, "set %s%u %s\r", numbering.prefix, numbering.first + i,
                  lab.cal[i]);
    Keep(&result, Send(session, label, command, lab.cal[i]));
  }
  return result;
}

int32_t SetPValues(SessionContext* session) {
  LabSettings& lab = session->lab;
  int32_t result = SendText(session, "-p", "set -p", lab.fvals);
  if (session->type == 16) {
    Keep(&result, SendText(session, "-pv", "set -pv", lab.uvals));
    if (lab.calprefs[0]) SendText(session, "-c76", "set -c76", lab.calprefs);  // optional
  }
  return result;
}

int32_t SetHadjTau(SessionContext* session) {
  LabSettings& lab = session->lab;
  char tau[16], command[48];
  std::snprintf(tau, sizeof tau, "%ld", static_cast<long>(lab.tau));
  std::snprintf(command, sizeof command, "set -tau %s\r", tau);
  int32_t result = Send(session, "tau", command, tau);
  Keep(&result, SendText(session, "hadj", "set -hadj", lab.hadj));
  return result;
}

int32_t SetRecords(SessionContext* session, int type) {
  ResetRecords(session, type == record_type::kUser ? "reset -users\r" : "reset -eqn\r");
  return SetRecords_Serial(session, type);  // written whatever the reset gave
}

// One item's write.
int32_t SetItem(SessionContext* session, uint32_t item) {
  LabSettings& lab = session->lab;
  switch (item) {
    case bit::kSerialNumber:
      return SetSerialNumber(session);
    case bit::kUvals:
      return SendText(session, "uvals/pvuser",
                      UsesPvUser(session->type) ? "set -pvuser" : "set -uvals", lab.uvals);
    case bit::kPSet:
      return SetPSet(session);
    case bit::kCalEntries:
      return SetCalEntries(session);
    case bit::kPValues:
      return SetPValues(session);
    case bit::kHadjTau:
      return SetHadjTau(session);
    case bit::kUserRecords:
      return SetRecords(session, record_type::kUser);
    case bit::kEqnRecords:
      return SetRecords(session, record_type::kEqn);
    default:
      break;
  }
  const LabItem* plain = FindPlainLabItem(item);
  if (!plain || !plain->setFormat) return kErrUnreadableAnswer;
  if (plain->kind == LabValue::kText) return SendTableText(session, *plain, plain->text(lab));
  return SendTableNumber(session, *plain, *plain->number(lab));
}

}  // namespace

int32_t GetInstInfo(SessionContext* session, uint32_t mask) {
  if (!session) return kErrMissingArgument;
  session->failedMask = 0;
  if (mask == 0) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetInstInfo should be called with non-zero flags");
    return 0;
  }
  LabSettings& lab = session->lab;
  lab.type = session->type;
  uint32_t work = mask;
  int32_t result = kResultOk;
  int32_t last = kResultOk;
  int serialRetries = 0;
  for (bool first = true;; first = false) {
    if (!first) {
      if (last == kErrEchoed || last == kErrNoAnswer) {
        result = last;
        break;
      }
      if (last == kErrUninitialised) {
        if (++serialRetries > kMaxSerialRetries) {
          result = last;
          break;
        }
        work |= bit::kSerialNumber;  // fetch the serial number again
      } else if (last < 0) {
        result = kErrPartlyDone;
      } else {
        serialRetries = 0;
      }
    }
    const uint32_t item = NextItem(kGetOrder, work);
    if (item == 0) break;
    const Got got = GetItem(session, item);
    work &= ~item;
    last = got.result;
    if (got.obtained) lab.presentMask |= item;
    if (got.result < 0) session->failedMask |= item;
  }
  if (result == kResultOk && last < 0) result = last;
  if (result < 0) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetInstInfo could not collect all settings");
  }
  return result;
}

int32_t SetInstInfo(SessionContext* session, uint32_t mask) {
  if (!session) return kErrMissingArgument;
  session->failedMask = 0;
  if (mask == 0) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "SetInstInfo should be called with non-zero flags");
    return 0;
  }
  uint32_t work = mask;
  int32_t result = kResultOk;
  int32_t last = kResultOk;
  for (bool first = true;; first = false) {
    if (!first) {
      if (last == kErrEchoed || last == kErrRelayEchoes || last == kErrNoAnswer) {
        result = last;
        break;
      }
      if (last < 0) result = kErrPartlyDone;
    }
    if (work == 0) break;
    const uint32_t item = NextItem(kSetOrder, work);
    if (item == 0) {
      // Only items that are never written back are left.
      session->failedMask |= work;
      last = kErrUnreadableAnswer;
      break;
    }
    last = SetItem(session, item);
    work &= ~item;
    if (last < 0) session->failedMask |= item;
  }
  if (result == kResultOk && last < 0) result = last;
  if (result < 0) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "SetInstInfo could not restore all settings");
  }
  return result;
}
