// The device type table of the command layer: the first word of an instrument's "get -ver"
// answer gives its type code and name, and type, firmware and version give the capability mask,
// the optional commands the instrument understands.
#pragma once

#include <cstdint>

#include "instrument/device_context.h"

namespace device_type {
constexpr uint8_t kUnknown = 0;
constexpr uint8_t kUnknownLogger = 1;
constexpr uint8_t kQd4 = 2;
constexpr uint8_t kQd40 = 3;
constexpr uint8_t kLinkDepot = 4;
constexpr uint8_t kRelayHub = 5;
constexpr uint8_t kQd4b = 6;
constexpr uint8_t kGeneric = 7;
constexpr uint8_t kAquelCommDev = 8;
constexpr uint8_t kAquelCalibrator = 9;
constexpr uint8_t kFieldPal = 10;
constexpr uint8_t kRQ7 = 11;
constexpr uint8_t kZRT2 = 12;
constexpr uint8_t kCount = 13;
}  // namespace device_type

namespace capability {
constexpr uint32_t kBaudChange = 1u << 0;
constexpr uint32_t kRadio = 1u << 8;
constexpr uint32_t kClock = 1u << 12;
constexpr uint32_t kClockSeconds = 1u << 19;
}  // namespace capability

// The type code for a "get -ver" type word, compared in upper case as a whole word; 0 (Unknown)
// when no word matches.
uint8_t DeviceTypeOfWord(const char* word);

// "Unknown", "Qd4", ... for codes 0 to 12; "Unknown" for any other code.
const char* DeviceTypeName(uint8_t code);

// The capability mask of a type with its firmware generation and version number.
uint32_t DeviceCapabilities(uint8_t code, bool newFirmware, int32_t version);

// Sets the settings record's capability mask and per-type figure from its type code,
// new-firmware flag and version number.
void UpdateCapabilities(DeviceContext* device);
