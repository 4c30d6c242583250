#include "session/catalogue.h"

#include <algorithm>
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

// The version service's file of each catalogue type, indexed by the type; null for none.
constexpr const char* kVersionFiles[] = {
    nullptr,
    "/versionfinder/Qd4-Firmware.html",
    "/versionfinder/Qd4b-Firmware.html",
    "/versionfinder/Qd40-Firmware.html",
    "/versionfinder/LinkDepot-Firmware.html",
    nullptr,
    "/versionfinder/HLite-Firmware.txt",
    "/versionfinder/tk8pro-firmware.html",
    "/versionfinder/CR60Firmware.txt",
    "/versionfinder/leafstomatrix-firmware.html",
    nullptr,
    "/versionfinder/IXIG-Firmware.txt",
    "/versionfinder/HLS3-Firmware.txt",
    nullptr,
    "/versionfinder/FieldPal-Firmware.html",
    "/versionfinder/HydrellaSeries4.txt",
    "/versionfinder/SRBFirmware.txt",
    "/versionfinder/PX3C-Firmware.txt",
    "/versionfinder/rQ7-Firmware.html",
    "/versionfinder/ZRT2-Firmware.html",
    "/versionfinder/Pre-Firmware.txt",
    nullptr,
    "/versionfinder/HS4TDL-Firmware.txt",
    "/versionfinder/QHI-Firmware.txt",
    "/versionfinder/ServoPump-Firmware.txt",
};
static_assert(sizeof kVersionFiles / sizeof kVersionFiles[0] == kCatalogueTypeCount);

constexpr const char* kPx2File = "/versionfinder/PX2-Firmware.txt";  // the PX-2 and the PX-2F

constexpr SensorMenu kNoItem = SensorMenu::kNone;
constexpr SensorMenu kShown = SensorMenu::kShown;
constexpr SensorMenu kHidden = SensorMenu::kHidden;
constexpr std::array<uint32_t, 4> kSingle = {};
constexpr MemberChoice kFamily = MemberChoice::kFamily;
constexpr MemberChoice kOwn = MemberChoice::kOwn;

// The digital sensors and sensor families: the sensor updater's menu items first, in the menu's
// order, then the numbers the menu has no item for. The families' members that have no row
// (101, 105, 106, 110, 111, 114, 115) have no name of their own. The LRN family's members do not
// go by their family in the window: they pick no item and no version file.
constexpr SensorType kSensorTypes[] = {
    {122, "7QA Sensor", "/versionfinder/7QA-Firmware.txt", "7QA", kShown, kSingle, kOwn},
    {120, "7QB Sensor", "/versionfinder/7QB-Firmware.txt", "7QB", kShown, kSingle, kOwn},
    {119, "HR4 Sensor", "/versionfinder/HR4-Firmware.txt", "HR4", kShown, kSingle, kOwn},
    {118, nullptr, "/versionfinder/JN4-Firmware.txt", "JN4", kShown, kSingle, kOwn},
    {261,
     "WTP-3 WTP-7 TORVA 21",
     "/versionfinder/WTP3-Firmware.txt",
     "WTP-3 && WTP-7",
     kShown,
     {107, 108, 121},
     kFamily},
    {117, "Z4 Drain Gauge", "/versionfinder/Z4DG-Firmware.txt", "Z4DG", kShown, kSingle, kOwn},
    {262,
     "KVL Family",
     "/versionfinder/KVL-Firmware.txt",
     "KVL Family",
     kShown,
     {101, 105, 106, 116},
     kFamily},
    {113, "PX-2 Sensor", kPx2File, "PX-2", kShown, kSingle, kOwn},
    {109, "PX-2F Sensor", kPx2File, "PX-2F", kShown, kSingle, kOwn},
    {112, "BH-3 Sensor", "/versionfinder/BH3-Firmware.txt", "BH-3", kShown, kSingle, kOwn},
    {102, "BH-4 Sensor", "/versionfinder/BH4-Firmware.txt", "BH-4", kHidden, kSingle, kOwn},
    {260,
     "LRN Family",
     "/versionfinder/LRN-Firmware.txt",
     "LRN Family",
     kShown,
     {110, 111, 114, 115},
     kOwn},
    {95, "WN-2 Anemometer", "/versionfinder/WN2-Firmware.txt", "WN-2", kHidden, kSingle, kOwn},
    {94, "GAU-1 Rain Gauge", "/versionfinder/GAU1-Firmware.txt", "GAU-1", kShown, kSingle, kOwn},
    {92, "AERIX 22 Anemometer", "/versionfinder/AERIX22-Firmware.txt", "AERIX 22", kHidden, kSingle,
     kOwn},
    {93, "AERIX 41 Sensor Suite", "/versionfinder/AERIX41-Firmware.txt", "AERIX 41", kShown,
     kSingle, kOwn},
    {264,
     "TORVA 1x Family",
     "/versionfinder/TORVA1X-Firmware.txt",
     "TORVA 1x Family",
     kShown,
     {103, 104},
     kFamily},
    // The sensor updater's own sensor, chosen at start.
    {123, "AERIX 14 Sensor", "/versionfinder/AERIX14-Firmware.txt", nullptr, kNoItem, kSingle,
     kOwn},
    {103, "TORVA 12 Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {104, "TORVA 11 Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {107, "TORVA 21 Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {108, "WTP-7 Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {116, "KVL Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {121, "WTP-3 Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {124, "AQUEL-TE Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {125, "HV-TM Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {126, "AQUEL-TE Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
    {127, "AQUEL-TE Sensor", nullptr, nullptr, kNoItem, kSingle, kOwn},
};

// The family that has `number` among its members, null when none has.
const SensorType* FamilyOf(uint32_t number) {
  if (number == 0) return nullptr;
  for (const SensorType& row : kSensorTypes) {
    for (uint32_t member : row.members) {
      if (member == number) return &row;
    }
  }
  return nullptr;
}

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

const char* CatalogueVersionFile(int type) {
  if (type < kUnknownType || type >= kCatalogueTypeCount || !kVersionFiles[type]) return "";
  return kVersionFiles[type];
}

std::span<const SensorType> SensorTypes() {
  return kSensorTypes;
}

const SensorType* FindSensorType(uint32_t number) {
  for (const SensorType& row : kSensorTypes) {
    if (row.number == number) return &row;
  }
  return nullptr;
}

bool SensorTypeAccepts(uint32_t chosen, uint32_t reported) {
  if (chosen == reported) return true;
  const SensorType* family = FindSensorType(chosen);
  if (!family || reported == 0) return false;
  return std::find(family->members.begin(), family->members.end(), reported) !=
         family->members.end();
}

uint32_t SensorChoice(uint32_t number) {
  const SensorType* family = FamilyOf(number);
  return family && family->memberChoice == MemberChoice::kFamily ? family->number : number;
}

const char* SensorVersionFile(uint32_t number) {
  const SensorType* row = FindSensorType(SensorChoice(number));
  return row && row->versionFile ? row->versionFile : "";
}

char* SensorTypeName(uint32_t sensorType, char* buffer) {
  if (!buffer) return buffer;
  const SensorType* row = FindSensorType(sensorType);
  if (row && row->name) {
    CopyCut(buffer, kSensorNameSize, row->name);
  } else {
    std::snprintf(buffer, kSensorNameSize, "Unknown Sensor (type %u)", sensorType);
  }
  return buffer;
}
