// Reading a settings file back: finding a key's value, and the readers of the three families.
#include "session/settings_readers.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "session/lab_items.h"
#include "session/settings_file.h"

namespace {

namespace bit = setting_bit;

bool AtLineStart(const char* text, const char* at) {
  return at == text || at[-1] == '\n' || at[-1] == '\r';
}

// A text item: the value cut to `size` - 1 characters; found when it is not empty.
bool ReadText(const char* text, const char* key, char* value, uint32_t size) {
  value[0] = 0;
  const char* from;
  uint32_t length;
  if (!FindSettingsValue(text, key, &from, &length)) return false;
  if (length > size - 1) length = size - 1;
  std::memcpy(value, from, length);
  value[length] = 0;
  return value[0] != 0;
}

// A number item: a signed decimal after white space, clamped to 32 bits. Found only when there
// are digits: an empty or unreadable value must not be restored as 0.
bool ReadNumber(const char* text, const char* key, int32_t* value) {
  char digits[32];
  if (!ReadText(text, key, digits, sizeof digits)) return false;
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(digits, &end, 10);
  if (end == digits) return false;
  if (parsed > INT32_MAX) parsed = INT32_MAX;
  if (parsed < INT32_MIN) parsed = INT32_MIN;
  *value = static_cast<int32_t>(parsed);
  return true;
}

// A number the file keeps as unsigned ("report", "ipport"): 32 bits of either sign.
bool ReadUnsigned(const char* text, const char* key, int32_t* value) {
  char digits[32];
  if (!ReadText(text, key, digits, sizeof digits)) return false;
  char* end = nullptr;
  long long parsed = std::strtoll(digits, &end, 10);
  if (end == digits) return false;
  if (parsed > static_cast<long long>(UINT32_MAX)) parsed = UINT32_MAX;
  if (parsed < INT32_MIN) parsed = INT32_MIN;
  *value = static_cast<int32_t>(static_cast<uint32_t>(parsed));
  return true;
}

bool ReadReal(const char* text, const char* key, double* value) {
  char digits[64];
  if (!ReadText(text, key, digits, sizeof digits)) return false;
  char* end = nullptr;
  const double parsed = std::strtod(digits, &end);
  if (end == digits || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

// Five byte values ("ports", "depth", the ADC lines). True when all five were read.
bool ReadFives(const char* text, const char* key, uint8_t* values) {
  char line[64];
  if (!ReadText(text, key, line, sizeof line)) return false;
  unsigned parsed[kFactorCount];
  if (std::sscanf(line, "%u %u %u %u %u", &parsed[0], &parsed[1], &parsed[2], &parsed[3],
                  &parsed[4]) != 5) {
    return false;
  }
  for (uint32_t i = 0; i < kFactorCount; ++i) values[i] = static_cast<uint8_t>(parsed[i]);
  return true;
}

bool HasTypeLine(const char* text, const char* name) {
  char key[48];
  std::snprintf(key, sizeof key, "type=\"%s\"", name);
  for (const char* at = std::strstr(text, key); at; at = std::strstr(at + 1, key)) {
    if (AtLineStart(text, at)) return true;
  }
  return false;
}

bool Usable(uint8_t factor) {
  return factor != 0 && factor != 255;
}

// The ADC table's two lines; present when its first slope and offset are real factors.
bool ReadAdcTable(const char* text, const char* slopesKey, const char* offsetsKey, uint8_t* slopes,
                  uint8_t* offsets) {
  const bool read = ReadFives(text, slopesKey, slopes) & ReadFives(text, offsetsKey, offsets);
  return read && Usable(slopes[0]) && Usable(offsets[0]);
}

// Type 2 also takes its ports from the keys "Port number="1" value" to "... "5" value": a missing
// key repeats the value before it.
bool ReadNumberedPorts(const char* text, uint8_t* ports) {
  int32_t value = 0;
  for (uint32_t i = 0; i < kFactorCount; ++i) {
    char key[40];
    std::snprintf(key, sizeof key, "Port number=\"%u\" value", i + 1);
    ReadNumber(text, key, &value);
    ports[i] = static_cast<uint8_t>(value);
  }
  return value > 0;
}

uint32_t ReadQd40Items(const char* text, SettingsRecord& r) {
  uint32_t mask = 0;
  const auto flag = [&mask](bool found, uint32_t setting) {
    if (found) mask |= setting;
  };
  flag(ReadText(text, "deviceid", r.deviceId, sizeof r.deviceId), bit::kDeviceId);
  flag(ReadText(text, "name", r.deviceName, sizeof r.deviceName), bit::kName);
  flag(ReadText(text, "sn", r.serialNumber, sizeof r.serialNumber), bit::kSerialNumber);
  int32_t trait = static_cast<int32_t>(r.trait);
  flag(ReadNumber(text, "trait", &trait), bit::kTrait);
  r.trait = static_cast<uint32_t>(trait);
  flag(ReadNumber(text, "wake", &r.wakeInterval), bit::kWakeInterval);
  flag(ReadNumber(text, "padc", &r.padcHertz), bit::kPadc);
  flag(ReadFives(text, "ports", r.ports), bit::kPorts);
  flag(ReadFives(text, "depth", r.depths), bit::kDepths);
  flag(ReadAdcTable(text, "ADC15 slopes", "ADC15 offsets", r.adc15Slopes, r.adc15Offsets),
       bit::kAdc15);
  flag(ReadAdcTable(text, "ADC30 slopes", "ADC30 offsets", r.adc30Slopes, r.adc30Offsets),
       bit::kAdc30);
  flag(ReadText(text, "VexaBuild", r.buildText, sizeof r.buildText), bit::kBuild);
  flag(ReadNumber(text, "data", &r.dataParameter), bit::kDataParameter);
  flag(ReadNumber(text, "rmode", &r.radioMode), bit::kRadioMode);
  flag(ReadNumber(text, "rch", &r.radioChannel), bit::kRadioChannel);
  if (ReadNumber(text, "rsch", &r.radioSubChannel)) {
    // A radio sub-channel means a known trait with a radio.
    mask |= bit::kRadioSubChannel | bit::kTrait;
    r.trait |= 0x4001;
  }
  flag(ReadText(text, "site", r.site, sizeof r.site), bit::kSite);
  flag(ReadReal(text, "lat", &r.latitude), bit::kLatitude);
  flag(ReadReal(text, "lon", &r.longitude), bit::kLongitude);
  flag(ReadNumber(text, "timezone", &r.timeZoneQuarters), bit::kTimeZone);
  flag(ReadUnsigned(text, "report", &r.reportMode), bit::kReportMode);
  flag(ReadText(text, "apn", r.apn, sizeof r.apn), bit::kApn);
  flag(ReadText(text, "user", r.apnUser, sizeof r.apnUser), bit::kApnUser);
  flag(ReadText(text, "passwd", r.apnPassword, sizeof r.apnPassword), bit::kApnPassword);
  flag(ReadText(text, "host", r.remoteHost, sizeof r.remoteHost), bit::kRemoteHost);
  flag(ReadText(text, "authkey", r.authKey, sizeof r.authKey), bit::kAuthKey);
  flag(ReadUnsigned(text, "ipport", &r.ipPort), bit::kIpPort);
  return mask;
}

uint32_t ReadQd4bItems(const char* text, SettingsRecord& r) {
  uint32_t mask = 0;
  if (ReadText(text, "name", r.deviceName, sizeof r.deviceName)) mask |= bit::kName;
  if (ReadText(text, "sn", r.serialNumber, sizeof r.serialNumber)) mask |= bit::kSerialNumber;
  if (ReadNumber(text, "wake", &r.wakeInterval)) mask |= bit::kWakeInterval;
  if (ReadNumber(text, "padc", &r.padcHertz)) mask |= bit::kPadc;
  // The ports line this program writes, else the numbered form.
  if (ReadFives(text, "ports", r.ports) || ReadNumberedPorts(text, r.ports)) mask |= bit::kPorts;
  if (ReadText(text, "VexaBuild", r.buildText, sizeof r.buildText)) mask |= bit::kBuild;
  return mask;
}

uint32_t ReadLinkDepotItems(const char* text, SettingsRecord& r) {
  uint32_t mask = 0;
  if (ReadText(text, "name", r.deviceName, sizeof r.deviceName)) mask |= bit::kName;
  if (ReadText(text, "sn", r.serialNumber, sizeof r.serialNumber)) mask |= bit::kSerialNumber;
  if (ReadNumber(text, "rch", &r.radioChannel)) mask |= bit::kRadioChannel;
  if (ReadNumber(text, "rsch", &r.radioSubChannel)) {
    // The radio pass wants a known trait with a radio; the LinkDepot keeps no trait to restore.
    mask |= bit::kRadioSubChannel;
    r.trait = 0x4001;
  }
  if (ReadNumber(text, "data", &r.dataParameter)) mask |= bit::kDataParameter;
  return mask;
}

// A lab item and the presence bit it sets when found in the file.
struct LabRead {
  const char* key;
  uint32_t bit;
};

// What each lab type keeps in the file. Beside the items every type has always been read with,
// each type reads every item it saves, so a file read back gives the same items.
struct LabReader {
  int type;
  const char* otherTypeName;  // a second accepted type line, or null
  LabRead items[9];
};

namespace lb = lab_bit;
const LabReader kLabReaders[] = {
    {6,
     nullptr,
     {{"sn", lb::kSerialNumber},
      {"lang", lb::kLanguage},
      {"contr", lb::kContrast},
      {"fvals", lb::kFvals},
      {"uvals", lb::kUvals},
      {"hadj", lb::kHadjTau}}},
    {7,
     nullptr,
     {{"sn", lb::kSerialNumber},
      {"contr", lb::kContrast},
      {"units", lb::kUnits},
      {"adc", lb::kAdc},
      {"sample", lb::kSample}}},
    {8,
     nullptr,
     {{"location", lb::kLocation},
      {"chai", lb::kChai},
      {"extCal", lb::kExtCal},
      {"adccal", lb::kAdcCal},
      {"sn", lb::kSerialNumber},
      {"contr", lb::kContrast},
      {"config", lb::kConfig}}},
    {9,
     "NX",
     {{"sn", lb::kSerialNumber},
      {"contr", lb::kContrast},
      {"units", lb::kUnits},
      {"fvals", lb::kFvals}}},
    {11, nullptr, {{"sn", lb::kSerialNumber}, {"adccal", lb::kAdcCal}}},
    {12, nullptr, {{"adccal", lb::kAdcCal}, {"config", lb::kConfig}}},
    {13, nullptr, {{"name", lb::kName}, {"sn", lb::kSerialNumber}}},
    {14,
     nullptr,
     {{"sn", lb::kSerialNumber},
      {"name", lb::kName},
      {"contr", lb::kContrast},
      {"adc15", lb::kAdc15},
      {"adc30", lb::kAdc30}}},
    {15,
     nullptr,
     {{"config", lb::kConfig},
      {"tadj", lb::kTadj},
      {"hadj", lb::kHadjTau},
      {"uvals", lb::kUvals},
      {"sn", lb::kSerialNumber}}},
    {16,
     nullptr,
     {{"config", lb::kConfig},
      {"sn", lb::kSerialNumber},
      {"tadj", lb::kTadj},
      {"fvals", lb::kPValues},
      {"uvals", lb::kPValues},
      {"calprefs", lb::kPValues}}},
    {17, nullptr, {{"config", lb::kConfig}, {"sn", lb::kSerialNumber}}},
    {20, nullptr, {{"config", lb::kConfig}, {"sn", lb::kSerialNumber}}},
    {22,
     nullptr,
     {{"config", lb::kConfig},
      {"tadj", lb::kTadj},
      {"hadj", lb::kHadjTau},
      {"uvals", lb::kUvals},
      {"sn", lb::kSerialNumber}}},
    {23,
     nullptr,
     {{"sn", lb::kSerialNumber},
      {"usage", lb::kUsage},
      {"contr", lb::kContrast},
      {"tadj", lb::kTadj},
      {"fvals", lb::kPValues},
      {"PCUnits", lb::kPcUnits}}},
    {24, nullptr, {{"sn", lb::kSerialNumber}}},
};

bool ReadLabItem(const char* text, LabSettings& lab, const char* key) {
  const LabItem* item = FindLabItemByKey(key);
  if (!item) return false;
  if (item->kind == LabValue::kText) return ReadText(text, key, item->text(lab), item->size);
  return ReadNumber(text, key, item->number(lab));
}

// Calibration entries "cal00", "cal01", ... from entry 0, stopping at the first missing one.
// Returns how many hold a value.
uint32_t ReadCalEntries(const char* text, LabSettings& lab, uint32_t firstNumber) {
  uint32_t held = 0;
  for (uint32_t i = 0; i < kCalEntryCount; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "cal%02u", i + firstNumber);
    const char* value;
    uint32_t length;
    if (!FindSettingsValue(text, key, &value, &length)) break;
    if (ReadText(text, key, lab.cal[i], kLabTextSize)) ++held;
  }
  return held;
}

}  // namespace

bool FindSettingsValue(const char* text, const char* key, const char** value, uint32_t* length) {
  const size_t keyLength = std::strlen(key);
  if (keyLength == 0) return false;
  for (const char* at = std::strstr(text, key); at; at = std::strstr(at + 1, key)) {
    // Only a key that starts a line and is followed by '=': "sn" inside a name such as
    // "Crisna", or "adc" as the start of "adccal", is not the key.
    if (!AtLineStart(text, at)) continue;
    const char* after = at + keyLength;
    while (*after == ' ' || *after == '\t') ++after;
    if (*after != '=') continue;
    const char* quote = std::strchr(after, '"');
    if (!quote) return false;
    const char* end = std::strchr(quote + 1, '"');
    *value = quote + 1;
    *length = static_cast<uint32_t>(end ? end - *value : std::strlen(*value));
    return true;
  }
  return false;
}

int32_t ReadLoggerSettings(SessionContext* session, const char* text) {
  SettingsRecord& record = session->settings;
  uint32_t mask;
  const int type = session->type;
  if (type == 2) {
    if (!HasTypeLine(text, "Qd4b")) return kErrUnreadableAnswer;
    mask = ReadQd4bItems(text, record);
    record.capabilityMask = 0x000474BE;
  } else if (type == 4) {
    if (!HasTypeLine(text, "LinkDepot")) return kErrUnreadableAnswer;
    mask = ReadLinkDepotItems(text, record);
    record.capabilityMask = 0x00024583;
  } else {
    // The Qd40, the rQ7 and the ZRT2 Logger share their settings; each file carries its own name.
    if (!HasTypeLine(text, "Qd40") && !HasTypeLine(text, "rQ7") && !HasTypeLine(text, "ZRT2")) {
      return kErrUnreadableAnswer;
    }
    mask = ReadQd40Items(text, record);
    record.capabilityMask = 0x0707FFF7;
  }
  session->savedMask = mask;
  return kResultOk;
}

int32_t ReadSensorSettings(SessionContext* session, const char* text) {
  if (!HasTypeLine(text, "Digital Sensor")) return kErrUnreadableAnswer;
  VexaSDI12& sensor = session->sensor;
  int32_t address = 0;
  if (ReadNumber(text, "addressInt", &address)) sensor.address = static_cast<char>(address);
  ReadText(text, "calibration", sensor.x4, sizeof sensor.x4);
  ReadText(text, "calibration2", sensor.xa, sizeof sensor.xa);
  ReadText(text, "sn", sensor.serialNumber, sizeof sensor.serialNumber);
  // Files written since they carry the sensor's type and offset calibration; older files leave
  // the type as the sensor object holds it.
  int32_t number = 0;
  if (ReadNumber(text, "sdiType", &number) && number > 0 && number < 256) {
    sensor.type = static_cast<uint8_t>(number);
  }
  if (ReadNumber(text, "sdiNumeric", &number)) sensor.numericType = number != 0;
  if (ReadNumber(text, "sdiVersion", &number) && number > 0) {
    sensor.version = static_cast<uint32_t>(number);
  }
  sensor.xoPresent = ReadText(text, "offsetCal", sensor.xo, sizeof sensor.xo);
  return kResultOk;
}

int32_t ReadLabSettings(SessionContext* session, const char* text) {
  const int type = session->type;
  const LabReader* reader = nullptr;
  for (const LabReader& candidate : kLabReaders) {
    if (candidate.type == type) reader = &candidate;
  }
  if (!reader) return kErrUnreadableAnswer;
  if (!HasTypeLine(text, CatalogueKey(type)) &&
      !(reader->otherTypeName && HasTypeLine(text, reader->otherTypeName))) {
    return kErrUnreadableAnswer;
  }
  LabSettings& lab = session->lab;
  lab.type = static_cast<int8_t>(type);
  for (const LabRead& item : reader->items) {
    if (!item.key) break;
    if (item.bit == lab_bit::kHadjTau) {
      // hadj and tau travel together.
      const bool hadj = ReadLabItem(text, lab, "hadj");
      const bool tau = ReadLabItem(text, lab, "tau");
      if (hadj && tau) lab.presentMask |= item.bit;
    } else if (ReadLabItem(text, lab, item.key)) {
      lab.presentMask |= item.bit;
    }
  }
  for (int i = 0; i < kLabHeldOnlyKeyCount; ++i) {
    if (ReadLabItem(text, lab, kLabHeldOnlyKeys[i])) {
      lab.presentMask |= FindLabItemByKey(kLabHeldOnlyKeys[i])->bit;
    }
  }
  if (type == 14 && ReadCalEntries(text, lab, 0) > 0) lab.presentMask |= lab_bit::kCalEntries;
  if (type == 22) {
    // Written from "cal01"; a file numbered from "cal00" is read as well.
    const char* value;
    uint32_t length;
    const uint32_t first = FindSettingsValue(text, "cal00", &value, &length) ? 0 : 1;
    if (ReadCalEntries(text, lab, first) > 0) lab.presentMask |= lab_bit::kPSet;
  }
  const auto readRecords = [&](int recordType) {
    return GetRecords_File(session, recordType, text) == kResultOk &&
           RecordSetOf(session, recordType)->count > 0;
  };
  if ((type == 15 || type == 16 || type == 22) && readRecords(record_type::kUser)) {
    lab.presentMask |= lab_bit::kUserRecords;
  }
  if ((type == 15 || type == 22) && readRecords(record_type::kEqn)) {
    lab.presentMask |= lab_bit::kEqnRecords;
  }
  return kResultOk;
}

int32_t GetRecords_File(SessionContext* session, int type, const char* text) {
  RecordSet* set = RecordSetOf(session, type);
  if (!set) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_File found an unexpected record type \"%d\"", type);
    return kErrBadArgument;
  }
  const char* name = RecordSetName(type);
  if (set->records) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_File found a non-null \"%s\" set", name);
    ReleaseRecords(set);
  }
  uint32_t count = 0;
  char key[16];
  for (; count < kMaxEqnRecords; ++count) {
    std::snprintf(key, sizeof key, "%s%02u", name, count);
    const char* value;
    uint32_t length;
    if (!FindSettingsValue(text, key, &value, &length)) break;
  }
  if (count == 0) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_File found no \"%s\" records in instrument", name);
    return 0;
  }
  if (AllocateRecords(set, count) != kResultOk) {
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_File couldn't allocate memory for %d records", static_cast<int>(count));
    return kErrOutOfMemory;
  }
  uint32_t read = 0;
  for (; read < count; ++read) {
    std::snprintf(key, sizeof key, "%s%02u", name, read);
    LabRecord& record = set->records[read];
    if (!ReadText(text, key, record.data, sizeof record.data)) break;
    LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
               "GetRecords_File found \"%s\" %d as \"%s\"", name, static_cast<int>(read),
               record.data);
  }
  LogMessage(session->log, vexa_log_level::kMilestone, kSessionTag,
             "GetRecords_File retrieved %d of %d \"%s\" records", static_cast<int>(read),
             static_cast<int>(count), name);
  set->count = read;
  return kResultOk;
}
