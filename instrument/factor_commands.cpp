// The settings kept as five bytes: the sensor port assignments, the port depths and the two ADC
// calibration tables (five slopes and five offsets, sent pairwise with a check value).
#include <cstdio>
#include <cstring>

#include "instrument/setting_commands.h"
#include "instrument/setting_exchange.h"
#include "instrument/value_reading.h"

namespace {

constexpr uint32_t kAdcAnswerBytes = 128;
constexpr int kAdcTenValueCount = 11;  // five pairs and the check value
constexpr int kAdcOnePairCount = 3;
constexpr int32_t kFactorsNotValid = -1;

struct FiveBytes {
  const char* name;
  uint32_t capability;
  const char* option;         // "-depth"
  const char* what;           // "depths", "ports"
  const char* missing;        // "port depths": what the not-found line counts
  uint8_t withoutCapability;  // a read on an instrument without them fills this in
};

constexpr FiveBytes kDepths{"DepthCommand", capability::kSiteItems, "-depth",
                            "depths",       "port depths",          255};
constexpr FiveBytes kPorts{"PortsCommand", capability::kPorts, "-ports", "ports", "ports", 0};

int32_t FiveByteCommand(DeviceContext* device, const FiveBytes& setting, uint8_t* values,
                        SettingDirection direction) {
  if (!device || !values) return kErrMissingArgument;
  if (!(device->settings.capabilityMask & setting.capability)) {
    if (direction != SettingDirection::kWrite)
      std::memset(values, setting.withoutCapability, kFactorCount);
    return kErrNoCapability;
  }
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();
  char answer[kSettingAnswerBytes];

  if (direction == SettingDirection::kWrite) {
    char command[kSettingCommandBytes];
    std::snprintf(command, sizeof command, "set %s %d %d %d %d %d\r", setting.option, values[0],
                  values[1], values[2], values[3], values[4]);
    const int32_t result = SendSet(device, setting.name, command, false, start);
    if (result < 0) return result;
    LogMessage(device->log, vexa_log_level::kTrace, tag, "%s set %s to %d %d %d %d %d (%d ms)",
               setting.name, setting.what, values[0], values[1], values[2], values[3], values[4],
               MsSince(start));
    return kResultOk;
  }

  char command[kSettingCommandBytes];
  std::snprintf(command, sizeof command, "get %s\r", setting.option);
  const int32_t result = SettingExchange(device, command, answer, sizeof answer);
  if (result < 0) return SettingFailed(device, setting.name, result, start);
  uint8_t read[kFactorCount];
  const int count = ReadByteValues(answer, read, kFactorCount);
  if (count != static_cast<int>(kFactorCount)) {
    LogMessage(device->log, vexa_log_level::kTrace, tag, "%s only found %d of %d %s (%d ms)",
               setting.name, count, static_cast<int>(kFactorCount), setting.missing,
               MsSince(start));
    return SettingFailed(device, setting.name, kErrUnreadableAnswer, start);
  }
  std::memcpy(values, read, kFactorCount);
  LogMessage(device->log, vexa_log_level::kTrace, tag, "%s: %s are %d %d %d %d %d (%d ms)",
             setting.name, setting.what, values[0], values[1], values[2], values[3], values[4],
             MsSince(start));
  return kResultOk;
}

int32_t AdcFailed(DeviceContext* device, const char* option, int32_t result, uint32_t start) {
  LogMessage(device->log, vexa_log_level::kError, DeviceTag(device),
             "ADCcalCommand (%s) failed with error %d (%d ms)", option, result, MsSince(start));
  return result;
}

// The check value: the factors' sum as a byte, over the factors the form carries.
uint8_t AdcCheck(const uint8_t* slopes, const uint8_t* offsets, int pairs) {
  unsigned sum = 0;
  for (int i = 0; i < pairs; ++i) sum += slopes[i] + offsets[i];
  return static_cast<uint8_t>(sum % 256);
}

}  // namespace

int32_t DepthCommand(DeviceContext* device, uint8_t* depths, SettingDirection direction) {
  return FiveByteCommand(device, kDepths, depths, direction);
}

int32_t PortsCommand(DeviceContext* device, uint8_t* ports, SettingDirection direction) {
  return FiveByteCommand(device, kPorts, ports, direction);
}

int32_t ADCcalCommand(DeviceContext* device, int table, uint8_t* slopes, uint8_t* offsets,
                      SettingDirection direction) {
  if (!device) return kErrMissingArgument;
  if (!(device->settings.capabilityMask & capability::kAdcCal)) return kErrNoCapability;
  if (!slopes || !offsets) return kErrMissingArgument;
  const char* option;
  if (table == kAdc15Table) {
    option = "-adc15";
  } else if (table == kAdc30Table) {
    option = "-adc30";
  } else {
    return kErrBadArgument;
  }
  const bool onePair = device->settings.capabilityMask & capability::kAdcOnePair;
  const int pairs = onePair ? 1 : static_cast<int>(kFactorCount);
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();
  char answer[kAdcAnswerBytes];
  char command[kSettingCommandBytes];

  if (direction == SettingDirection::kWrite) {
    const uint8_t check = AdcCheck(slopes, offsets, pairs);
    if (onePair) {
      std::snprintf(command, sizeof command, "set %s %u %u %u\r", option, slopes[0], offsets[0],
                    check);
    } else {
      std::snprintf(command, sizeof command, "set %s %u %u %u %u %u %u %u %u %u %u %u\r", option,
                    slopes[0], offsets[0], slopes[1], offsets[1], slopes[2], offsets[2], slopes[3],
                    offsets[3], slopes[4], offsets[4], check);
    }
    const int32_t result = SettingExchange(device, command, answer, sizeof answer);
    if (result < 0) return AdcFailed(device, option, result, start);
    if (!SetAccepted(device, answer, false)) {
      return AdcFailed(device, option, kErrUnreadableAnswer, start);
    }
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "ADCcalCommand set %s %u %u %u %u %u %u %u %u %u %u %u (%d ms)", option, slopes[0],
               offsets[0], slopes[1], offsets[1], slopes[2], offsets[2], slopes[3], offsets[3],
               slopes[4], offsets[4], check, MsSince(start));
    return kResultOk;
  }

  std::snprintf(command, sizeof command, "get %s\r", option);
  const int32_t result = SettingExchange(device, command, answer, sizeof answer);
  if (result < 0) return AdcFailed(device, option, result, start);
  uint8_t read[kAdcTenValueCount];
  const int wanted = onePair ? kAdcOnePairCount : kAdcTenValueCount;
  const int count = ReadByteValues(answer, read, kAdcTenValueCount);
  if (count != wanted) {
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "ADCcalCommand only found %d of %d cal %s factors (%d ms)", count, kAdcTenValueCount,
               option, MsSince(start));
    return AdcFailed(device, option, kErrUnreadableAnswer, start);
  }
  // A factor of 0 or 255 is what an erased or never calibrated table holds: kept, but not valid.
  bool valid = true;
  for (int i = 0; i < pairs; ++i) {
    slopes[i] = read[2 * i];
    offsets[i] = read[2 * i + 1];
    if (slopes[i] == 0 || slopes[i] == 255 || offsets[i] == 0 || offsets[i] == 255) valid = false;
  }
  const uint8_t check = read[2 * pairs];
  if (AdcCheck(slopes, offsets, pairs) != check) valid = false;
  LogMessage(device->log, vexa_log_level::kTrace, tag,
             "ADCcalCommand found (%s) %s %u %u %u %u %u %u %u %u %u %u %u (%d ms)",
             valid ? "valid" : "not valid", option, slopes[0], offsets[0], slopes[1], offsets[1],
             slopes[2], offsets[2], slopes[3], offsets[3], slopes[4], offsets[4], check,
             MsSince(start));
  if (!valid) return AdcFailed(device, option, kFactorsNotValid, start);
  return kResultOk;
}
