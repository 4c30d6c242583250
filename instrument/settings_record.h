// The settings record: everything the updater knows about the connected instrument, kept inside
// the device context and copied whole to and from its users. The first word says which settings
// the record holds; the identification fields are filled at connect, the others by the settings
// read. Cleared to zero at every connect and disconnect.
#pragma once

#include <cstdint>

constexpr uint32_t kInstrumentNameLength = 8;  // an instrument's own name, its ID
constexpr uint32_t kTypeNameSize = 31;         // the type table's names, terminated
constexpr uint32_t kSerialNumberLength = 15;
constexpr uint32_t kVersionLineLength = 20;  // the first line of the "get -ver" answer
constexpr uint32_t kBuildTextLength = 16;
constexpr uint32_t kSiteSize = 32;  // at most 25 characters are used
constexpr uint32_t kRadioVersionLength = 8;
constexpr uint32_t kApnLength = 35;  // APN, its user and password
constexpr uint32_t kAuthKeyLength = 32;
constexpr uint32_t kRemoteHostLength = 63;
constexpr uint32_t kFactorCount = 5;  // ports, depths, ADC slopes and offsets

// Setting bits of the present mask (a numbering of their own, not the capability bits).
namespace setting_bit {
constexpr uint32_t kName = 1u << 0;
constexpr uint32_t kSerialNumber = 1u << 1;
constexpr uint32_t kIdentification = 1u << 2;
constexpr uint32_t kTrait = 1u << 3;
constexpr uint32_t kWakeInterval = 1u << 4;
constexpr uint32_t kPorts = 1u << 5;
constexpr uint32_t kPadc = 1u << 6;
constexpr uint32_t kDeviceId = 1u << 7;
constexpr uint32_t kDataParameter = 1u << 8;
constexpr uint32_t kRadioMode = 1u << 9;
constexpr uint32_t kRadioChannel = 1u << 10;     // 0x400
constexpr uint32_t kRadioSubChannel = 1u << 11;  // 0x800
constexpr uint32_t kRadioVersion = 1u << 12;     // 0x1000
constexpr uint32_t kDepths = 1u << 13;
constexpr uint32_t kSite = 1u << 14;
constexpr uint32_t kLatitude = 1u << 15;
constexpr uint32_t kLongitude = 1u << 16;
constexpr uint32_t kTimeZone = 1u << 17;
constexpr uint32_t kApn = 1u << 18;
constexpr uint32_t kApnUser = 1u << 19;
constexpr uint32_t kApnPassword = 1u << 20;
constexpr uint32_t kRemoteHost = 1u << 21;
constexpr uint32_t kAuthKey = 1u << 22;
constexpr uint32_t kIpPort = 1u << 23;
constexpr uint32_t kReportMode = 1u << 24;
constexpr uint32_t kAdc30 = 1u << 25;
constexpr uint32_t kAdc15 = 1u << 26;
constexpr uint32_t kBuild = 1u << 27;
}  // namespace setting_bit

struct SettingsRecord {
  uint32_t presentMask = 0;
  uint32_t capabilityMask = 0;
  uint8_t deviceType = 0;  // the type table's code, 0 to 12
  char deviceTypeName[kTypeNameSize] = {};
  uint8_t newFirmware = 0;  // 1: answered "get -ver"; 0: the oldest firmware
  char deviceId[kInstrumentNameLength + 1] = {};
  char deviceName[kInstrumentNameLength + 1] = {};
  char serialNumber[kSerialNumberLength + 1] = {};
  char versionText[kVersionLineLength + 1] = {};
  int32_t versionNumber = 0;  // major * 100 + minor * 10 + third digit
  uint32_t trait = 0;
  char buildText[kBuildTextLength + 1] = {};
  int32_t wakeInterval = 0;
  uint8_t ports[kFactorCount] = {};
  uint8_t depths[kFactorCount] = {};
  int32_t padcHertz = 0;
  uint32_t typeFigure = 0;  // set with the capability mask; not a setting
  char site[kSiteSize] = {};
  double latitude = 0;
  double longitude = 0;
  int32_t timeZoneQuarters = 0;
  uint8_t adc30Slopes[kFactorCount] = {};
  uint8_t adc30Offsets[kFactorCount] = {};
  uint8_t adc15Slopes[kFactorCount] = {};
  uint8_t adc15Offsets[kFactorCount] = {};
  int32_t dataParameter = 0;
  int32_t reportMode = 0;
  int32_t radioMode = 0;
  int32_t radioChannel = 0;
  int32_t radioSubChannel = 0;
  char radioVersion[kRadioVersionLength + 1] = {};
  char apn[kApnLength + 1] = {};
  char apnUser[kApnLength + 1] = {};
  char apnPassword[kApnLength + 1] = {};
  char authKey[kAuthKeyLength + 1] = {};
  char remoteHost[kRemoteHostLength + 1] = {};
  int32_t ipPort = 0;
};
