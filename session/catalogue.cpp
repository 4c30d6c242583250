#include "session/catalogue.h"

#include <cstdio>
#include <cstring>

#include "link/result.h"

namespace {

// What the loader client needs to erase and program a family's flash.
struct LoaderMap {
  uint32_t flashStart;
  uint32_t flashEnd;
  uint32_t infoStart;
  uint32_t infoSegments;
  uint32_t infoStep;
  uint32_t loaderBaud;
  bool extendedAddressing;
};

constexpr LoaderMap kStandardMap = {0x1100, 0xF9FF, 0x1000, 2, 0x80, 9600, false};
constexpr LoaderMap kLargeFlashMap = {0x2100, 0x1FF00, 0x1000, 3, 0x40, 57600, true};
constexpr LoaderMap kSrbMap = {0x5C00, 0x3BFFF, 0x1800, 3, 0x80, 57600, true};
constexpr LoaderMap kTdlMap = {0x8000, 0x27FFF, 0x1800, 4, 0x80, 57600, true};
constexpr LoaderMap kSmallFlashMap = {0x8000, 0xF9FF, 0x1000, 3, 0x40, 9600, false};

constexpr uint32_t kAlways = 0;          // every version can be updated
constexpr uint32_t kNever = 0xFFFFFFFF;  // no version can be updated

struct Flags {
  bool saveSettings, eraseData, checkBattery, needsLogin, setClock, postInit, calibrationNotice;
};

struct CatalogueRow {
  const char* key;
  const char* name;
  uint32_t bootWaitMs;
  Flags flags;
  uint32_t supportedFrom;  // lowest version this program can update, or kAlways / kNever
  const LoaderMap* map;
  uint32_t windowLowest;  // both 0: no version window
  uint32_t windowHighest;
};

// One row per catalogue type, indexed by the type. The hand-held reader (14) and the digital
// sensor (10) carry their own memory maps rather than the standard one.
//   flags: save settings, erase data, check battery, needs login, set clock, post -init,
//          calibration notice
constexpr CatalogueRow kCatalogue[] = {
    {"UNKNOWN", "UNKNOWN", 7000, {0, 0, 0, 0, 0, 0, 0}, kNever, &kStandardMap, 0, 0},
    {"QD4", "Qd4", 1000, {1, 0, 1, 0, 1, 1, 0}, kNever, &kStandardMap, 0, 0},
    {"QD4B", "Qd4b", 1000, {1, 0, 1, 0, 1, 1, 0}, kAlways, &kStandardMap, 0, 0},
    {"QD40", "Qd40", 6000, {1, 1, 1, 0, 1, 1, 0}, 103, &kStandardMap, 0, 0},
    {"LD", "LinkDepot", 6000, {1, 1, 1, 0, 0, 1, 0}, 105, &kStandardMap, 0, 0},
    {"RH", "RelayHub", 4000, {1, 1, 0, 0, 0, 1, 0}, kNever, &kStandardMap, 0, 0},
    {"HLITE", "Hydrella Lite", 8500, {1, 0, 0, 1, 0, 0, 0}, 118, &kStandardMap, 0, 0},
    {"TP", "TK8 Pro", 7000, {1, 1, 1, 0, 1, 0, 0}, kAlways, &kStandardMap, 0, 0},
    {"CR60", "LumaBar CR-60", 3000, {1, 1, 0, 0, 1, 0, 1}, 150, &kStandardMap, 0, 0},
    {"LS", "Leaf Stomatrix", 7000, {1, 1, 1, 0, 1, 0, 1}, kAlways, &kStandardMap, 0, 0},
    {"AQUEL-TE", "Digital Sensor", 1000, {0, 0, 0, 0, 0, 0, 0}, kAlways, &kSmallFlashMap, 0, 0},
    {"IXIG", "Isovex IG", 2000, {1, 1, 0, 0, 1, 0, 0}, kAlways, &kStandardMap, 0, 0},
    {"H3B", "Hydrella Series 3", 2000, {1, 0, 0, 1, 0, 0, 0}, 351, &kStandardMap, 0, 0},
    {"AQD", "AQD", 7000, {1, 0, 1, 0, 0, 0, 0}, kAlways, &kStandardMap, 0, 0},
    {"FP", "FieldPal", 2000, {1, 1, 1, 0, 1, 0, 0}, kAlways, &kLargeFlashMap, 0, 0},
    {"HS4", "Hydrella 4", 14000, {1, 1, 0, 1, 1, 0, 0}, kAlways, &kLargeFlashMap, 202, 999},
    {"SRB", "Hydrella SRB", 9500, {1, 1, 0, 0, 1, 0, 0}, kAlways, &kSrbMap, 0, 0},
    {"PX3C", "PX3C", 2000, {1, 0, 0, 1, 0, 0, 0}, kAlways, &kStandardMap, 0, 0},
    {"RQ7", "rQ7", 6000, {1, 1, 1, 0, 1, 1, 0}, kAlways, &kStandardMap, 0, 0},
    {"ZRT", "ZRT2 Logger", 6000, {1, 1, 0, 0, 1, 1, 0}, kAlways, &kStandardMap, 0, 0},
    {"PRE", "Hydrella Pre", 2000, {1, 0, 0, 1, 0, 0, 0}, kAlways, &kStandardMap, 0, 0},
    {"VERNODE", "vernode", 6000, {1, 0, 0, 0, 1, 1, 0}, kAlways, &kLargeFlashMap, 0, 0},
    {"HS4TDL", "Hydrella 4 TDL", 8000, {1, 1, 0, 0, 1, 0, 0}, kAlways, &kTdlMap, 200, 299},
    {"QHI", "SOLUMEX", 8000, {1, 1, 1, 0, 1, 0, 0}, kAlways, &kLargeFlashMap, 0, 0},
    {"SERVOPUMP", "ServoPump", 2000, {1, 0, 1, 0, 0, 0, 0}, kAlways, &kSmallFlashMap, 0, 0},
};
static_assert(sizeof kCatalogue / sizeof kCatalogue[0] == kCatalogueTypeCount);

struct SensorName {
  uint32_t sensorType;
  const char* name;
};

// 260 and above are group codes naming a family of sensors that share one firmware.
constexpr SensorName kSensorNames[] = {
    {92, "AERIX 22 Anemometer"},   {93, "AERIX 41 Sensor Suite"}, {94, "GAU-1 Rain Gauge"},
    {95, "WN-2 Anemometer"},       {102, "BH-4 Sensor"},          {103, "TORVA 12 Sensor"},
    {104, "TORVA 11 Sensor"},      {107, "TORVA 21 Sensor"},      {108, "WTP-7 Sensor"},
    {109, "PX-2F Sensor"},         {112, "BH-3 Sensor"},          {113, "PX-2 Sensor"},
    {116, "KVL Sensor"},           {117, "Z4 Drain Gauge"},       {119, "HR4 Sensor"},
    {120, "7QB Sensor"},           {121, "WTP-3 Sensor"},         {122, "7QA Sensor"},
    {123, "AERIX 14 Sensor"},      {124, "AQUEL-TE Sensor"},      {125, "HV-TM Sensor"},
    {126, "AQUEL-TE Sensor"},      {127, "AQUEL-TE Sensor"},      {260, "LRN Family"},
    {261, "WTP-3 WTP-7 TORVA 21"}, {262, "KVL Family"},           {264, "TORVA 1x Family"},
};

bool IsKnownType(int type) {
  return type > kUnknownType && type < kCatalogueTypeCount;
}

bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void CopyCut(char* into, size_t size, const char* text) {
  std::strncpy(into, text, size - 1);
  into[size - 1] = '\0';
}

// The fields of a version text, read the way the format "%19s %d.%1d%1d" reads them.
struct VersionFields {
  char word[20] = {};
  int64_t major = 0;
  int minor = 0;
  int subMinor = 0;
  int items = 0;  // how many of the four were read
};

VersionFields ScanVersionText(const char* cursor) {
  VersionFields fields;
  while (IsSpace(*cursor)) ++cursor;
  size_t length = 0;
  while (*cursor && !IsSpace(*cursor) && length < sizeof fields.word - 1) {
    fields.word[length++] = *cursor++;
  }
  if (length == 0) return fields;
  fields.items = 1;

  while (IsSpace(*cursor)) ++cursor;
  bool negative = false;
  if (*cursor == '+' || *cursor == '-') negative = *cursor++ == '-';
  if (!IsDigit(*cursor)) return fields;
  for (; IsDigit(*cursor); ++cursor) {
    // Held below 2^40: far beyond any version, and no overflow however many digits come.
    if (fields.major < (int64_t{1} << 40)) fields.major = fields.major * 10 + (*cursor - '0');
  }
  if (negative) fields.major = -fields.major;
  fields.items = 2;

  if (*cursor++ != '.') return fields;
  int* const digits[] = {&fields.minor, &fields.subMinor};
  for (int* digit : digits) {
    while (IsSpace(*cursor)) ++cursor;
    if (!IsDigit(*cursor)) return fields;
    *digit = *cursor++ - '0';
    ++fields.items;
  }
  return fields;
}

}  // namespace

int CatalogueTypeOfKey(const char* key) {
  if (!key) return kUnknownType;
  for (int type = 1; type < kCatalogueTypeCount; ++type) {
    if (std::strcmp(kCatalogue[type].key, key) == 0) return type;
  }
  return kUnknownType;
}

const char* CatalogueKey(int type) {
  return kCatalogue[IsKnownType(type) ? type : kUnknownType].key;
}

void DescribeDevice(int type, uint32_t version, DeviceDescriptor* descriptor) {
  if (!descriptor) return;
  if (!IsKnownType(type)) type = kUnknownType;
  const CatalogueRow& row = kCatalogue[type];

  *descriptor = DeviceDescriptor{};
  DeviceDescriptor& d = *descriptor;
  d.type = static_cast<int8_t>(type);
  d.version = version;
  CopyCut(d.name, sizeof d.name, row.name);
  d.bootWaitMs = row.bootWaitMs;
  d.saveSettings = row.flags.saveSettings;
  d.eraseData = row.flags.eraseData;
  d.checkBattery = row.flags.checkBattery;
  d.needsLogin = row.flags.needsLogin;
  d.setClock = row.flags.setClock;
  d.postInit = row.flags.postInit;
  d.calibrationNotice = row.flags.calibrationNotice;
  d.supported = row.supportedFrom != kNever && version >= row.supportedFrom;
  d.flashStart = row.map->flashStart;
  d.flashEnd = row.map->flashEnd;
  d.extendedAddressing = row.map->extendedAddressing;
  d.infoStart = row.map->infoStart;
  d.infoSegments = row.map->infoSegments;
  d.infoStep = row.map->infoStep;
  d.loaderBaud = row.map->loaderBaud;
  d.versionWindow = row.windowHighest != 0;
  d.versionLowest = row.windowLowest;
  d.versionHighest = row.windowHighest;
}

int32_t ParseVersionText(const char* text, DeviceDescriptor* descriptor) {
  if (!text || !descriptor || !*text) return kErrMissingArgument;

  int type = kUnknownType;
  uint32_t version = 0;
  int32_t result = kResultOk;
  if (std::strchr(text, '.')) {
    VersionFields fields = ScanVersionText(text);
    // A major number that no version number can hold is as unreadable as a missing one.
    constexpr int64_t kLargestMajor = (int64_t{0xFFFFFFFF} - 99) / 100;
    if (fields.items < 3 || fields.major < 0 || fields.major > kLargestMajor) {
      return kErrUnreadableAnswer;
    }
    version = static_cast<uint32_t>(fields.major * 100 + fields.minor * 10 + fields.subMinor);
    for (char* c = fields.word; *c; ++c) {
      if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
    }
    type = CatalogueTypeOfKey(fields.word);
    if (type == kUnknownType) result = kErrUnreadableAnswer;
  }
  DescribeDevice(type, version, descriptor);
  CopyCut(descriptor->versionText, sizeof descriptor->versionText, text);
  return result;
}

char* SensorTypeName(uint32_t sensorType, char* buffer) {
  if (!buffer) return buffer;
  for (const SensorName& entry : kSensorNames) {
    if (entry.sensorType == sensorType) {
      CopyCut(buffer, kSensorNameSize, entry.name);
      return buffer;
    }
  }
  std::snprintf(buffer, kSensorNameSize, "Unknown Sensor (type %u)", sensorType);
  return buffer;
}
