// The catalogue of instrument families: turns the version text an instrument reports ("Qd40 1.03")
// into a catalogue type and version number, and fills the device descriptor that tells the update
// sequence which steps apply and which memory map and baud rate the loader must use. A second
// table holds the digital sensors by their type number: their names, the sensor families, the
// sensor updater's menu and the version service's files. The updaters, the window and the
// internet services all read these tables and keep none of their own.
#pragma once

#include <array>
#include <cstdint>
#include <span>

constexpr int8_t kCatalogueTypeCount = 25;  // types 0 (unknown) to 24
constexpr int8_t kUnknownType = 0;
constexpr int8_t kEndType = 25;  // ends the tables; never a device

constexpr uint32_t kDeviceNameSize = 33;
constexpr uint32_t kVersionTextSize = 22;  // keeps 21 characters of the reported text
constexpr uint32_t kSensorNameSize = 34;

// A version number is major * 100 + minor * 10 + sub-minor: 2.05 is 205.
constexpr uint32_t kAnyVersion = 999;  // a descriptor filled without asking the instrument

// What the updater knows about one instrument. Zero-filled before every fill.
struct DeviceDescriptor {
  int8_t type = 0;
  char name[kDeviceNameSize] = {};
  char versionText[kVersionTextSize] = {};
  uint32_t version = 0;
  uint32_t bootWaitMs = 0;  // after the loader hands over, before reconnecting
  bool saveSettings = false;
  bool eraseData = false;
  bool checkBattery = false;
  bool needsLogin = false;
  bool setClock = false;
  bool supported = false;  // this firmware version can be updated by this program
  bool postInit = false;   // the firmware self-test is "post -init" rather than "post"
  bool calibrationNotice = false;
  uint32_t flashStart = 0;
  uint32_t flashEnd = 0;
  bool extendedAddressing = false;  // 20-bit (five hex digit) loader addresses
  uint32_t infoStart = 0;
  uint32_t infoSegments = 0;
  uint32_t infoStep = 0;
  uint32_t loaderBaud = 0;
  bool versionWindow = false;  // only these versions may be replaced:
  uint32_t versionLowest = 0;
  uint32_t versionHighest = 0;
};

// Fills `descriptor` from a version text such as "Qd40 1.03". Returns 1; kErrMissingArgument
// without a text or a descriptor, or for an empty text; kErrUnreadableAnswer when the text cannot
// be read (the descriptor is then left as it was) or its first word is no catalogue key (the
// descriptor is then that of type 0). A text without '.' gives type 0, version 0 and result 1.
int32_t ParseVersionText(const char* text, DeviceDescriptor* descriptor);

// Fills `descriptor` for a catalogue type and version number; a type outside 1..24 gives the
// unknown type 0.
void DescribeDevice(int type, uint32_t version, DeviceDescriptor* descriptor);

// Writes the sensor type's name into `buffer` (kSensorNameSize bytes) and returns it.
char* SensorTypeName(uint32_t sensorType, char* buffer);

// The catalogue type whose key equals `key` exactly (types 1 to 24), 0 when none does. This is
// the lookup the loader context names its images with.
int CatalogueTypeOfKey(const char* key);

// The key of a catalogue type ("FP" for 14); "UNKNOWN" for a type outside 0..24.
const char* CatalogueKey(int type);

// The version service's file for a catalogue type ("/versionfinder/Qd40-Firmware.html" for 3); ""
// for the types without one (0, 5, 10, 13, 21) and outside 0..24.
const char* CatalogueVersionFile(int type);

// Where a sensor type stands in the sensor updater's Settings menu.
enum class SensorMenu : uint8_t { kNone, kShown, kHidden };

// Whether a member that a sensor reports stands for its family when the window picks the menu
// item and the version file, or only for itself (then it has neither). Either way the family
// accepts the member in the wrong-type check of an update.
enum class MemberChoice : uint8_t { kFamily, kOwn };

// A digital sensor type, or a sensor family: a group code (260 and above, never reported by a
// sensor) for sensors that share one firmware.
struct SensorType {
  uint32_t number;
  const char* name;         // null: the number has no name of its own
  const char* versionFile;  // the version service's file; null: none of its own
  const char* menuCaption;  // "&&" shows one "&"; null with SensorMenu::kNone
  SensorMenu menu;
  std::array<uint32_t, 4> members;  // a family's, 0 for none; a single sensor has none
  MemberChoice memberChoice;
};

// Every listed sensor type; the menu's items come first, in the menu's order.
std::span<const SensorType> SensorTypes();

// The listed row of a sensor type or family, null for another number.
const SensorType* FindSensorType(uint32_t number);

// True when a sensor that reports `reported` may take the firmware chosen for `chosen`: the same
// number, or a member of the chosen family.
bool SensorTypeAccepts(uint32_t chosen, uint32_t reported);

// The number whose menu item and version file stand for `number`: its family's where the family's
// members go by it (MemberChoice::kFamily), else the number itself.
uint32_t SensorChoice(uint32_t number);

// The version service's file for a sensor type or family: the one of its SensorChoice; "" when
// there is none.
const char* SensorVersionFile(uint32_t number);
