// The setting commands: one operation per instrument setting, reading it with "get -OPTION" or
// writing it with "set -OPTION VALUE". Each takes the device context, the value in the caller's
// representation (the settings record's field) and a direction: kWrite writes the value, kRead
// reads it. A read overwrites the value only on success (except where noted).
//
// Results: 1 done; kErrNoCapability (the instrument lacks the capability, nothing is sent);
// kErrMissingArgument (a missing value); kErrBadArgument (a value that may not be written, never
// sent); kErrUnreadableAnswer (an answer without the acceptance text or without a readable
// value); kErrBarePrompt (an empty value); otherwise the transaction's code (kErrRefused,
// kErrNoAnswer, ...). Every failure but kErrNoCapability is logged.
#pragma once

#include <cstdint>

#include "instrument/device_context.h"
#include "instrument/setting_direction.h"

// Capability bits the setting commands need (the mask is set at identification).
namespace capability {
constexpr uint32_t kWake = 1u << 4;  // measurement interval and PADC
constexpr uint32_t kPorts = 1u << 5;
constexpr uint32_t kTraitRead = 1u << 6;
constexpr uint32_t kRadioMode = 1u << 9;
constexpr uint32_t kAdcCal = 1u << 16;
constexpr uint32_t kDataParameter = 1u << 17;
constexpr uint32_t kBuild = 1u << 18;
constexpr uint32_t kAdcOnePair = 1u << 20;
constexpr uint32_t kSiteItems = 1u << 24;  // ID, report, depths, site, time zone, trait write
constexpr uint32_t kPosition = 1u << 26;
}  // namespace capability

// The trait word: bit 14 known, bit 0 a radio, bit 3 the network modem settings. The instrument
// keeps the low byte inverted.
namespace trait {
constexpr uint32_t kKnown = 0x4000;
constexpr uint32_t kRadio = 0x1;
constexpr uint32_t kNetwork = 0x8;
}  // namespace trait

// Time zone value meaning "the computer's own zone".
constexpr int32_t kComputerTimeZone = -2;
// ADC calibration tables.
constexpr int kAdc30Table = 1;
constexpr int kAdc15Table = 2;

// Texts: `name`, `id` 9 bytes; `serial` 16; `site` 32 (25 used); `build` 17; APN, user and
// password 36; `key` 33; `host` 64. Fives: five bytes.
int32_t NameCommand(DeviceContext* device, char* name, SettingDirection direction);
int32_t DeviceIDCommand(DeviceContext* device, char* id, SettingDirection direction);
int32_t ReportCommand(DeviceContext* device, int32_t* mode, SettingDirection direction);
int32_t DepthCommand(DeviceContext* device, uint8_t* depths, SettingDirection direction);
int32_t SiteCommand(DeviceContext* device, char* site, SettingDirection direction);
// 0.0 is written as an empty position (it clears the instrument's position).
int32_t LatitudeCommand(DeviceContext* device, double* latitude, SettingDirection direction);
int32_t LongitudeCommand(DeviceContext* device, double* longitude, SettingDirection direction);
// Quarter hours; writing kComputerTimeZone writes (and stores back) the computer's own offset.
int32_t TimeZoneCommand(DeviceContext* device, int32_t* quarterHours, SettingDirection direction);
// The read tries up to the context's tries until a serial number arrives.
int32_t SNCommand(DeviceContext* device, char* serial, SettingDirection direction);
int32_t WakeCommand(DeviceContext* device, int32_t* interval, SettingDirection direction);
// Hertz; the oldest firmware below version 1.65 has none (value -1, result kErrNoCapability).
int32_t PADCCommand(DeviceContext* device, int32_t* hertz, SettingDirection direction);
int32_t PortsCommand(DeviceContext* device, uint8_t* ports, SettingDirection direction);
// `table` kAdc30Table or kAdc15Table; five slopes and five offsets. A read stores every factor
// it found and fails with -1 (the factors are not valid) when one is 0 or 255 or the check
// value does not match.
int32_t ADCcalCommand(DeviceContext* device, int table, uint8_t* slopes, uint8_t* offsets,
                      SettingDirection direction);
int32_t DataParameterCommand(DeviceContext* device, int32_t* parameter, SettingDirection direction);
int32_t VexaBuildCommand(DeviceContext* device, char* build, SettingDirection direction);
// Writing needs capability bit 24 (else kErrTraitNotWritable) and a known trait (else
// kErrBadArgument).
int32_t TraitCommand(DeviceContext* device, uint32_t* traitWord, SettingDirection direction);
// The network modem items of a Qd40 whose trait carries them; kErrNoCapability for any other
// instrument.
int32_t APNCommand(DeviceContext* device, char* apn, SettingDirection direction);
int32_t APNUserCommand(DeviceContext* device, char* user, SettingDirection direction);
int32_t APNPasswdCommand(DeviceContext* device, char* password, SettingDirection direction);
// 32 hexadecimal digits; a write cuts the caller's key to 32 characters.
int32_t AuthKeyCommand(DeviceContext* device, char* key, SettingDirection direction);
int32_t HostCommand(DeviceContext* device, char* host, SettingDirection direction);
int32_t IPPortCommand(DeviceContext* device, int32_t* port, SettingDirection direction);
int32_t RmodeCommand(DeviceContext* device, int32_t* mode, SettingDirection direction);
