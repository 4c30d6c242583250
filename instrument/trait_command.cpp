// The trait word: what an instrument carries beyond its type (a radio, the network modem).
// Loggers that know their trait keep its low byte inverted; for the others it is worked out
// from the link and from asking the radio.
#include <cstdio>

#include "instrument/device_types.h"
#include "instrument/radio_modem.h"
#include "instrument/setting_commands.h"
#include "instrument/setting_exchange.h"
#include "instrument/value_reading.h"

namespace {

constexpr const char* kTrait = "TraitCommand";
constexpr uint32_t kRadioTrait = trait::kKnown | trait::kRadio;  // 16,385
constexpr uint32_t kRadioVersionBit = 0x1000;

uint32_t Inverted(uint32_t value) {
  return 255 - (value & 0xFF);
}

int32_t WriteTrait(DeviceContext* device, const uint32_t* traitWord) {
  const uint32_t start = MsClock();
  if (!(device->settings.capabilityMask & capability::kSiteItems)) {
    return SettingFailed(device, kTrait, kErrTraitNotWritable, start);
  }
  // A trait that was never read says nothing about the instrument; writing it would wipe the
  // instrument's own.
  if (!(*traitWord & trait::kKnown)) return SettingFailed(device, kTrait, kErrBadArgument, start);
  char command[kSettingCommandBytes];
  std::snprintf(command, sizeof command, "set -trait %d\r", static_cast<int>(Inverted(*traitWord)));
  const int32_t result = SendSet(device, kTrait, command, false, start);
  if (result < 0) return result;
  LogMessage(device->log, vexa_log_level::kTrace, DeviceTag(device),
             "TraitCommand set trait to %d (%d ms)", static_cast<int>(*traitWord), MsSince(start));
  return kResultOk;
}

}  // namespace

int32_t TraitCommand(DeviceContext* device, uint32_t* traitWord, SettingDirection direction) {
  if (!device || !traitWord) return kErrMissingArgument;
  if (direction == SettingDirection::kWrite) return WriteTrait(device, traitWord);

  const SettingsRecord& record = device->settings;
  const char* tag = DeviceTag(device);
  const uint32_t start = MsClock();
  if (record.deviceType == device_type::kLinkDepot) {
    *traitWord = kRadioTrait;
    LogMessage(device->log, vexa_log_level::kTrace, tag,
               "TraitCommand: set trait to %d for LinkDepot", static_cast<int>(*traitWord));
    return kResultOk;
  }
  if (record.capabilityMask & capability::kTraitRead) {
    char answer[kSettingAnswerBytes];
    int32_t result = SettingExchange(device, "get -trait\r", answer, sizeof answer);
    if (result < 0) return SettingFailed(device, kTrait, result, start);
    int32_t stored = 0;
    result = ReadNumberValue(answer, false, &stored);
    if (result < 0 || stored < 0 || stored > 255) {
      return SettingFailed(device, kTrait, kErrUnreadableAnswer, start);
    }
    *traitWord = Inverted(static_cast<uint32_t>(stored)) | trait::kKnown;
    LogMessage(device->log, vexa_log_level::kTrace, tag, "TraitCommand: found %d (%d ms)",
               static_cast<int>(*traitWord), MsSince(start));
    return kResultOk;
  }
  if (!(record.capabilityMask & capability::kRadio)) {
    *traitWord = trait::kKnown;
    return kResultOk;
  }
  if (device->request.linkKind == link_kind::kRadio) {
    *traitWord = kRadioTrait;
    LogMessage(device->log, vexa_log_level::kTrace, tag, "TraitCommand (emulated): knows %d",
               static_cast<int>(*traitWord));
    return kResultOk;
  }
  // A serial link to an instrument that may have a radio: ask for the radio's version.
  char version[kRadioVersionLength + 1] = {};
  uint32_t mask = kRadioVersionBit;
  const int32_t asked =
      MSRadioCommand(device, nullptr, nullptr, version, SettingDirection::kRead, &mask);
  if (asked < 0) return 0;
  *traitWord = (mask & kRadioVersionBit) ? kRadioTrait : trait::kKnown;
  LogMessage(device->log, vexa_log_level::kTrace, tag, "TraitCommand (emulated): found %d",
             static_cast<int>(*traitWord));
  return kResultOk;
}
