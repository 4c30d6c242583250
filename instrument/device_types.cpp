#include "instrument/device_types.h"

#include <cctype>
#include <cstring>
#include <iterator>

namespace {

struct TypeWord {
  const char* word;
  uint8_t code;
};

// Tried in this order; each must equal the whole word.
constexpr TypeWord kTypeWords[] = {
    {"QD4", device_type::kQd4},
    {"QD4B", device_type::kQd4b},
    {"QD40", device_type::kQd40},
    {"LD", device_type::kLinkDepot},
    {"RH", device_type::kRelayHub},
    {"AQD", device_type::kAquelCommDev},
    {"AQUEL_CAL", device_type::kAquelCalibrator},
    {"FP", device_type::kFieldPal},
    {"RQ7", device_type::kRQ7},
    {"ZRT", device_type::kZRT2},
};

constexpr const char* kTypeNames[device_type::kCount] = {
    "Unknown",        "Unknown Logger",   "Qd4",      "Qd40",
    "LinkDepot",      "RelayHub",         "Qd4b",     "Generic",
    "AQUEL Comm Dev", "AQUEL Calibrator", "FieldPal", "rQ7",
    "ZRT2",
};

constexpr uint32_t kBasicCapabilities = 0x1005;

// Capabilities that a firmware version adds: `bits` once the version is above `above`.
struct VersionStep {
  int32_t above;
  uint32_t bits;
};

uint32_t WithSteps(uint32_t base, int32_t version, const VersionStep* steps, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (version > steps[i].above) base |= steps[i].bits;
  }
  return base;
}

// The figure kept beside the capability mask for each family.
uint32_t TypeFigure(uint8_t code) {
  switch (code) {
    case device_type::kQd4:
      return 3384;
    case device_type::kQd40:
    case device_type::kRQ7:
    case device_type::kZRT2:
      return 36864;
    case device_type::kLinkDepot:
      return 28672;
    case device_type::kQd4b:
      return 3348;
    case device_type::kFieldPal:
      return 5000;
    default:
      return 0;
  }
}

}  // namespace

uint8_t DeviceTypeOfWord(const char* word) {
  if (!word) return device_type::kUnknown;
  char upper[16];
  size_t length = 0;
  for (; word[length]; ++length) {
    if (length + 1 >= sizeof upper) return device_type::kUnknown;  // longer than any type word
    upper[length] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[length])));
  }
  upper[length] = 0;
  for (const TypeWord& entry : kTypeWords) {
    if (std::strcmp(upper, entry.word) == 0) return entry.code;
  }
  return device_type::kUnknown;
}

const char* DeviceTypeName(uint8_t code) {
  return code < device_type::kCount ? kTypeNames[code] : kTypeNames[device_type::kUnknown];
}

uint32_t DeviceCapabilities(uint8_t code, bool newFirmware, int32_t version) {
  switch (code) {
    case device_type::kQd4:
      return newFirmware ? 0x371F : 0x331C;
    case device_type::kQd40: {
      constexpr VersionStep steps[] = {{104, 0x80},      {107, 0x40},     {111, 0x8800},
                                       {113, 0x70000},   {117, 0xC00000}, {118, 0x200000},
                                       {199, 0x1000000}, {201, 0x4000000}};
      return WithSteps(0x7737, version, steps, std::size(steps));
    }
    case device_type::kLinkDepot: {
      constexpr VersionStep steps[] = {{104, 0x80}, {108, 0x20000}};
      return WithSteps(0x4503, version, steps, std::size(steps));
    }
    case device_type::kQd4b: {
      constexpr VersionStep steps[] = {{203, 0x40000}};
      return WithSteps(0x74BE, version, steps, std::size(steps));
    }
    case device_type::kAquelCommDev:
      return 0x3007;
    case device_type::kAquelCalibrator:
      return 0x10026;
    case device_type::kFieldPal:
      return 0x1D3083;
    case device_type::kRQ7:
      return 0x5E3FFF7;
    case device_type::kZRT2:
      return 0x7C3F6F7;
    default:
      return kBasicCapabilities;
  }
}

void UpdateCapabilities(DeviceContext* device) {
  SettingsRecord& record = device->settings;
  record.capabilityMask =
      DeviceCapabilities(record.deviceType, record.newFirmware != 0, record.versionNumber);
  record.typeFigure = TypeFigure(record.deviceType);
}
