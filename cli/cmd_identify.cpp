// vexabsl identify: connects to an instrument's command line (by cable, or through a radio modem
// with --radio), prints what it is, and lets it go again. --json prints the same for scripts.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/instrument_link.h"
#include "instrument/identify.h"
#include "instrument/session.h"

namespace {

struct IdentifyOptions {
  InstrumentArgs link;
  bool json = false;
};

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

void Print(const IdentifyOptions& options, const DeviceContext& device) {
  const SettingsRecord& record = device.settings;
  const bool radio = options.link.radio;
  if (options.json) {
    nlohmann::json out = {
        {"port", options.link.port},
        {"link", radio ? "radio" : "serial"},
        {"baud", device.port.baud},
        {"type_code", record.deviceType},
        {"type_name", record.deviceTypeName},
        {"version_text", record.versionText},
        {"version", record.versionNumber},
        {"new_firmware", record.newFirmware != 0},
        {"capabilities", Hex(record.capabilityMask)},
    };
    if (radio) out["device_name"] = record.deviceName;
    std::printf("%s\n", out.dump().c_str());
    return;
  }
  std::printf("Device type:   %u (%s)\n", record.deviceType, record.deviceTypeName);
  std::printf("Version:       %s (%d)\n", record.versionText, record.versionNumber);
  std::printf("New firmware:  %s\n", record.newFirmware ? "yes" : "no");
  std::printf("Capabilities:  %s\n", Hex(record.capabilityMask).c_str());
  if (radio) std::printf("Device name:   %s\n", record.deviceName);
  std::printf("Baud rate:     %u\n", device.port.baud);
}

int RunIdentify(const IdentifyOptions& options) {
  InstrumentSession session(options.link);
  const int connected = session.Connect();
  if (connected != kExitOk) return connected;
  DeviceContext& device = session.Device();

  // Over the radio the login names the instrument; what it is comes from its version text.
  // The oldest firmware tells its version through "show", which the connect leaves out.
  int32_t result = kResultOk;
  if (options.link.radio || !device.settings.newFirmware) result = VerCommand(&device, false);
  if (result >= 0) Print(options, device);
  DisconnectDevice(&device, false);
  if (result < 0) return session.Failed("identifying", result);
  return kExitOk;
}

}  // namespace

void SetupIdentifyCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<IdentifyOptions>();
  CLI::App* identify =
      app.add_subcommand("identify", "Connect to an instrument's command line and identify it");
  AddInstrumentOptions(identify, options->link);
  identify->add_flag("--json", options->json, "Print one JSON object");
  identify->callback([&run, options] { run = [options] { return RunIdentify(*options); }; });
}
