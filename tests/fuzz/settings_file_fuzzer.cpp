// libFuzzer target for the settings file. During an update the file is the only copy of an
// instrument's settings, so two things must hold for any input:
//  - the input picks a catalogue type and fills that family's items with anything the file can
//    carry (no double quote, line end or zero byte in a text, texts within their fields, any
//    32-bit number, positions to five decimals); the file written for it reads back, in a fresh
//    context of the same type, into the same items and presence bits;
//  - the input itself, read as a settings file by every family's reader, gives a result the
//    caller knows and no out-of-bounds access.
// A mismatch aborts, so libFuzzer keeps the input.
//
// Build and run with tools/fuzz.
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "link/result.h"
#include "session/lab_items.h"
#include "session/session_context.h"
#include "session/settings_file.h"

namespace {

namespace bit = setting_bit;
namespace lb = lab_bit;

int gType = 0;  // the family under test, for the message of a failed check

void Fail(const char* what, int line) {
  std::fprintf(stderr, "settings_file_fuzzer:%d: %s does not hold (catalogue type %d)\n", line,
               what, gType);
  std::abort();
}
#define Check(holds) ((holds) ? (void)0 : Fail(#holds, __LINE__))

// A catalogue type and the items a save of it collects (the lab types' and loggers' save masks;
// what the file can give back).
struct Family {
  int type;
  uint32_t saved;
};
constexpr Family kFamilies[] = {
    {2, 0x08000077},  {3, 0x0FFFEFFF},  {4, 0x00000D07},  {18, 0x0FFFEFFF}, {19, 0x0FFFEFFF},
    {6, 0x4000007A},  {7, 0x00100192},  {8, 0x07000C12},  {9, 0x000000B2},  {11, 0x80027402},
    {12, 0x00000C00}, {13, 0x00000003}, {14, 0x002C0013}, {15, 0x38000842}, {16, 0x28400802},
    {17, 0x00000802}, {20, 0x00000802}, {22, 0x38000806}, {23, 0x20C08012}, {24, 0x00000002},
    {10, 0},
};

// A text the file can carry in a field of `size` bytes; never empty when `held`.
void Text(FuzzedDataProvider& input, char* field, size_t size, bool held = true) {
  std::string text = input.ConsumeRandomLengthString(size - 1);
  std::string kept;
  for (char c : text) {
    if (c != '"' && c != '\r' && c != '\n' && c != 0) kept += c;
  }
  if (held && kept.empty()) kept = "x";
  std::snprintf(field, size, "%s", kept.c_str());
}
#define TEXT(field) Text(input, field, sizeof(field))

void Factors(FuzzedDataProvider& input, uint8_t* values, bool usableFirst) {
  for (uint32_t i = 0; i < kFactorCount; ++i) values[i] = input.ConsumeIntegral<uint8_t>();
  // A table is kept only when its first factor is real (neither 0 nor 255).
  if (usableFirst && (values[0] == 0 || values[0] == 255)) values[0] = 1;
}

double Position(FuzzedDataProvider& input, int32_t limit) {
  return input.ConsumeIntegralInRange<int32_t>(-limit, limit) / 100000.0;
}

void FillLogger(FuzzedDataProvider& input, SessionContext* session, uint32_t saved) {
  SettingsRecord& r = session->settings;
  const int type = session->type;
  uint32_t mask = input.ConsumeIntegral<uint32_t>() & saved & ~bit::kIdentification;
  // The reader takes a radio sub-channel to mean a known trait with a radio (the LinkDepot: the
  // value only).
  if (type != 4 && (mask & bit::kRadioSubChannel)) mask |= bit::kTrait;
  r.presentMask = mask;
  const char* name = type == 2 ? "Qd4b" : type == 4 ? "LinkDepot" : type == 18 ? "rQ7" : "Qd40";
  if (type == 19) name = "ZRT2";
  std::snprintf(r.deviceTypeName, sizeof r.deviceTypeName, "%s", name);
  const auto held = [mask](uint32_t setting) { return (mask & setting) != 0; };
  if (held(bit::kDeviceId)) TEXT(r.deviceId);
  if (held(bit::kName)) TEXT(r.deviceName);
  if (held(bit::kSerialNumber)) TEXT(r.serialNumber);
  if (held(bit::kTrait)) r.trait = input.ConsumeIntegral<uint32_t>();
  if (type != 4 && held(bit::kRadioSubChannel)) r.trait |= 0x4001;
  if (type == 4 && held(bit::kRadioSubChannel)) r.trait = 0x4001;
  if (held(bit::kWakeInterval)) r.wakeInterval = input.ConsumeIntegral<int32_t>();
  if (held(bit::kPadc)) r.padcHertz = input.ConsumeIntegral<int32_t>();
  if (held(bit::kPorts)) Factors(input, r.ports, false);
  if (held(bit::kDepths)) Factors(input, r.depths, false);
  if (held(bit::kAdc15)) {
    Factors(input, r.adc15Slopes, true);
    Factors(input, r.adc15Offsets, true);
  }
  if (held(bit::kAdc30)) {
    Factors(input, r.adc30Slopes, true);
    Factors(input, r.adc30Offsets, true);
  }
  if (held(bit::kRadioMode)) r.radioMode = input.ConsumeIntegral<int32_t>();
  if (held(bit::kRadioChannel)) r.radioChannel = input.ConsumeIntegral<int32_t>();
  if (held(bit::kRadioSubChannel)) r.radioSubChannel = input.ConsumeIntegral<int32_t>();
  if (held(bit::kDataParameter)) r.dataParameter = input.ConsumeIntegral<int32_t>();
  if (held(bit::kSite)) TEXT(r.site);
  if (held(bit::kLatitude)) r.latitude = Position(input, 9000000);
  if (held(bit::kLongitude)) r.longitude = Position(input, 18000000);
  if (held(bit::kTimeZone)) r.timeZoneQuarters = input.ConsumeIntegral<int32_t>();
  if (held(bit::kReportMode)) r.reportMode = input.ConsumeIntegral<int32_t>();
  if (held(bit::kApn)) TEXT(r.apn);
  if (held(bit::kApnUser)) TEXT(r.apnUser);
  if (held(bit::kApnPassword)) TEXT(r.apnPassword);
  if (held(bit::kRemoteHost)) TEXT(r.remoteHost);
  if (held(bit::kAuthKey)) TEXT(r.authKey);
  if (held(bit::kIpPort)) r.ipPort = input.ConsumeIntegral<int32_t>();
  if (held(bit::kBuild)) TEXT(r.buildText);
}

void FillRecords(FuzzedDataProvider& input, RecordSet* set) {
  const uint32_t count = input.ConsumeIntegralInRange<uint32_t>(1, 5);
  AllocateRecords(set, count);
  for (uint32_t i = 0; i < count; ++i) {
    Text(input, set->records[i].data, kRecordDataSize);
  }
}

// Fills the lab items of the type's save mask that the input picks.
void FillLab(FuzzedDataProvider& input, SessionContext* session, uint32_t saved) {
  LabSettings& lab = session->lab;
  const int type = session->type;
  uint32_t mask = input.ConsumeIntegral<uint32_t>() & saved;
  lab.presentMask = mask;
  lab.type = static_cast<int8_t>(type);
  std::vector<const char*> keys(kLabFileKeys, kLabFileKeys + kLabFileKeyCount);
  keys.insert(keys.end(), kLabHeldOnlyKeys, kLabHeldOnlyKeys + kLabHeldOnlyKeyCount);
  for (const char* key : keys) {
    const LabItem* item = FindLabItemByKey(key);
    if (!item || !(mask & item->bit) || item->bit == lb::kPValues) continue;
    if (item->kind == LabValue::kText) {
      Text(input, item->text(lab), item->size);
    } else {
      *item->number(lab) = input.ConsumeIntegral<int32_t>();
    }
  }
  if (mask & lb::kPValues) {
    TEXT(lab.fvals);
    if (type == 16) {
      Text(input, lab.uvals, sizeof lab.uvals, false);
      Text(input, lab.calprefs, sizeof lab.calprefs, false);
    }
  }
  if (mask & lb::kPSet) {
    // A held p-set has a value; the others may be empty.
    Text(input, lab.cal[0], kLabTextSize);
    for (uint32_t i = 1; i < kCalEntryCount; ++i) Text(input, lab.cal[i], kLabTextSize, false);
  }
  if (mask & lb::kCalEntries) {
    const uint32_t count = input.ConsumeIntegralInRange<uint32_t>(1, kCalEntryCount);
    for (uint32_t i = 0; i < count; ++i) Text(input, lab.cal[i], kLabTextSize);
  }
  if (mask & lb::kUserRecords) FillRecords(input, &session->users);
  if (mask & lb::kEqnRecords) FillRecords(input, &session->eqns);
}

using Lines = std::vector<std::pair<std::string, std::string>>;
Lines LinesOf(SessionContext* session) {
  Lines lines;
  ForEachSettingsLine(session, [&](const char* key, const char* value) {
    lines.emplace_back(key, value);
    return true;
  });
  return lines;
}

// A folder of this process's own in memory where there is one: the writer flushes every file to
// the disk. A plain array, so that it outlives the clean-up at exit.
char gFolder[64];

void RemoveFolder() {
  unlink((std::string(gFolder) + "/written.txt").c_str());
  unlink((std::string(gFolder) + "/input.txt").c_str());
  rmdir(gFolder);
}

const char* Folder() {
  if (!gFolder[0]) {
    std::snprintf(gFolder, sizeof gFolder, "%s/vexa_settings_fuzz_XXXXXX",
                  access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    Check(mkdtemp(gFolder) != nullptr);
    std::atexit(RemoveFolder);
  }
  return gFolder;
}

SessionContext& Context(int which) {
  static SessionContext written(nullptr), read(nullptr);
  SessionContext& session = which == 0 ? written : read;
  ClearSessionSettings(&session);
  return session;
}

void RoundTrip(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const Family& family = input.PickValueInArray(kFamilies);
  gType = family.type;
  SessionContext& written = Context(0);
  written.type = static_cast<int8_t>(family.type);
  if (IsLoggerType(family.type)) {
    FillLogger(input, &written, family.saved);
  } else if (family.type == kDigitalSensorType) {
    VexaSDI12& sensor = written.sensor;
    sensor.address = input.ConsumeIntegral<char>();
    if (sensor.address == '"' || sensor.address == '\r' || sensor.address == '\n' ||
        sensor.address == 0) {
      sensor.address = '0';
    }
    Text(input, sensor.info, sizeof sensor.info, false);
    Text(input, sensor.x4, sizeof sensor.x4, false);
    Text(input, sensor.xa, sizeof sensor.xa, false);
    Text(input, sensor.serialNumber, sizeof sensor.serialNumber, false);
  } else {
    FillLab(input, &written, family.saved);
  }
  const std::string path = std::string(Folder()) + "/written.txt";
  Check(WriteInfoFile(&written, path.c_str()) == kResultOk);

  SessionContext& read = Context(1);
  read.type = written.type;
  Check(ReadInfoFile(&read, path.c_str()) == kResultOk);
  if (IsLoggerType(family.type)) {
    Check(read.savedMask == written.settings.presentMask);
    // The type line names the family; it is not read into the record.
    read.settings.presentMask = read.savedMask;
    std::memcpy(read.settings.deviceTypeName, written.settings.deviceTypeName,
                sizeof read.settings.deviceTypeName);
  } else if (family.type == kDigitalSensorType) {
    Check(read.sensor.address == written.sensor.address);
    std::memcpy(read.sensor.info, written.sensor.info, sizeof read.sensor.info);
  } else {
    Check(read.lab.presentMask == written.lab.presentMask);
    Check(read.lab.type == written.lab.type);
  }
  Check(LinesOf(&read) == LinesOf(&written));
}

// The input as a settings file, for every family.
void ReadRaw(const uint8_t* data, size_t size) {
  const std::string path = std::string(Folder()) + "/input.txt";
  FILE* file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr);
  Check(std::fwrite(data, 1, size, file) == size || size == 0);
  std::fclose(file);
  for (int type = 0; type <= kEndType; ++type) {
    SessionContext& session = Context(1);
    session.type = static_cast<int8_t>(type);
    gType = type;
    const int32_t result = ReadInfoFile(&session, path.c_str());
    Check(result == kResultOk || result == kErrUnreadableAnswer || result == kErrNotForThisType);
    Check(session.users.count <= kMaxEqnRecords && session.eqns.count <= kMaxEqnRecords);
    for (uint32_t i = 0; i < session.users.count; ++i) {
      Check(std::strlen(session.users.records[i].data) < kRecordDataSize);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RoundTrip(data, size);
  ReadRaw(data, size);
  return 0;
}
