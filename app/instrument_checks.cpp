#include "app/instrument_checks.h"

#include <cctype>

#include "app/update_texts.h"
#include "instrument/device_command.h"

namespace {

constexpr uint32_t kRevisionTimeoutMs = 1500;
constexpr uint32_t kRevisionAnswer = 32;

}  // namespace

bool CheckHardwareRevision(UpdateContext& c) {
  char answer[kRevisionAnswer] = {};
  uint32_t size = sizeof answer;
  const int32_t result = DeviceCommand(&c.session->device, "get -hver\r", '>', kRevisionTimeoutMs,
                                       answer, &size, nullptr);
  char revision = 0;
  if (result > 0) {
    for (uint32_t i = 0; i < kRevisionAnswer && answer[i]; ++i) {
      if (!std::isspace(static_cast<unsigned char>(answer[i]))) {
        revision = answer[i];
        break;
      }
    }
  }
  if (revision == c.hardwareRevision) return true;
  const std::string found = revision ? std::string(1, revision) : std::string();
  TellUser(c,
           "The hardware revision of the connected " + c.deviceName + " is '" + found + "'" +
               ".\n\nThis updater only works with " + c.deviceName + " hardware revision '" +
               std::string(1, c.hardwareRevision) + "'.",
           "Wrong Hardware Revision", BoxKind::kError);
  return false;
}

bool CheckFirmwareRange(UpdateContext& c) {
  const DeviceDescriptor& d = c.descriptor;
  if (!d.versionWindow) return true;
  const std::string start = "The " + c.caption + " doesn't support this " + d.name +
                            "\nrunning version " + VersionText(d.version) +
                            ".\n\nThis updater only works with firmware version ";
  std::string text;
  if (d.version > d.versionHighest) {
    text = start + VersionText(d.versionHighest) + " (or older).";
  } else if (d.version < d.versionLowest) {
    text = start + VersionText(d.versionLowest) + " (or newer).";
  } else {
    return true;
  }
  if (c.options.serviceFlag || c.options.factoryMode) {
    text += "\n\nClick OK to force the update anyway.";
    text += "\nClick CANCEL to quit the updater.";
    return ConfirmBox(c, text, "Wrong Firmware Version") == BoxAnswer::kOk;
  }
  TellUser(c, text, "Wrong Firmware Version", BoxKind::kError);
  return false;
}
