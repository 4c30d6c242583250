// vexabsl identify: connects to an instrument's command line (by cable, or through a radio modem
// with --radio), prints what it is, and lets it go again. --json prints the same for scripts.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/product.h"
#include "cli/commands.h"
#include "instrument/device_context.h"
#include "instrument/identify.h"
#include "instrument/radio_login.h"
#include "instrument/session.h"

namespace {

struct IdentifyOptions {
  std::string port;
  uint32_t baud = 9600;
  bool radio = false;
  std::string name;
  int channel = -1;
  int subChannel = -1;
  bool json = false;
  std::string log;
  bool verbose = false;
};

volatile sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) {
  g_interrupted = 1;
}

struct WakeDisplay {
  bool terminal = false;  // redraw one line on stderr; nothing when it is a file or a pipe
};

// The radio wake takes about 50 s: show how far it is, and let Ctrl-C cancel it.
bool ShowWakeProgress(void* context, uint32_t total, uint32_t done, int phase) {
  const WakeDisplay* display = static_cast<const WakeDisplay*>(context);
  if (display->terminal && phase == progress_phase::kWorking) {
    std::fprintf(stderr, "\rWaking the instrument: %u of %u packets", done, total);
  } else if (display->terminal && phase == progress_phase::kFinished) {
    std::fputc('\n', stderr);
  }
  return !g_interrupted;
}

uint8_t BaudCodeOf(uint32_t baud) {
  for (uint8_t code = 1; code < kBaudCodeCount; ++code) {
    if (BaudOfCode(code) == baud) return code;
  }
  return 0;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

void Print(const IdentifyOptions& options, const DeviceContext& device) {
  const SettingsRecord& record = device.settings;
  if (options.json) {
    nlohmann::json out = {
        {"port", options.port},
        {"link", options.radio ? "radio" : "serial"},
        {"baud", device.port.baud},
        {"type_code", record.deviceType},
        {"type_name", record.deviceTypeName},
        {"version_text", record.versionText},
        {"version", record.versionNumber},
        {"new_firmware", record.newFirmware != 0},
        {"capabilities", Hex(record.capabilityMask)},
    };
    if (options.radio) out["device_name"] = record.deviceName;
    std::printf("%s\n", out.dump().c_str());
    return;
  }
  std::printf("Device type:   %u (%s)\n", record.deviceType, record.deviceTypeName);
  std::printf("Version:       %s (%d)\n", record.versionText, record.versionNumber);
  std::printf("New firmware:  %s\n", record.newFirmware ? "yes" : "no");
  std::printf("Capabilities:  %s\n", Hex(record.capabilityMask).c_str());
  if (options.radio) std::printf("Device name:   %s\n", record.deviceName);
  std::printf("Baud rate:     %u\n", device.port.baud);
}

int RunIdentify(const IdentifyOptions& options) {
  const uint8_t baudCode = BaudCodeOf(options.baud);
  if (baudCode == 0) {
    std::fprintf(stderr, "vexabsl: --baud %u is not a rate of the instruments\n", options.baud);
    return kExitUsage;
  }
  if (!options.name.empty() && CheckDeviceName(options.name.c_str()) != kResultOk) {
    std::fprintf(stderr, "vexabsl: --name %s is not an instrument name (error %d)\n",
                 options.name.c_str(), CheckDeviceName(options.name.c_str()));
    return kExitUsage;
  }
  if (options.port.size() > kPortNameSize) {
    std::fprintf(stderr, "vexabsl: --port is longer than %u characters\n", kPortNameSize);
    return kExitUsage;
  }

  const std::string logPath = options.log.empty() ? ErrorFilePath() : options.log;
  VexaLog log(logPath.c_str(), options.verbose ? 40 : 30);
  WakeDisplay display;  // outlives the device context that calls it
  display.terminal = isatty(STDERR_FILENO);
  DeviceContext device(&log);
  if (device.status < 0) return ReportFailure("identify", device.status);
  device.options.progressEnabled = 1;
  device.progressHook = ShowWakeProgress;
  device.progressContext = &display;
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  ConnectionRequest request;
  std::snprintf(request.portName, sizeof request.portName, "%s", options.port.c_str());
  request.linkKind = options.radio ? link_kind::kRadio : link_kind::kSerial;
  request.baudCode = options.radio ? kBaudCode9600 : baudCode;
  std::snprintf(request.deviceName, sizeof request.deviceName, "%s", options.name.c_str());
  if (options.channel >= 0) {
    request.configureRadioModem = 1;
    request.radioChannel = options.channel;
    request.radioSubChannel = options.subChannel;
  }

  int32_t result = ConnectDevice(&device, &request);
  if (result < 0) {
    if (result == kErrLoaderRunning || result == kErrLoaderWaiting) {
      std::fprintf(stderr,
                   "The instrument runs its bootstrap loader, not its firmware "
                   "(vexabsl flash can program it)\n");
    }
    std::fprintf(stderr, "Log: %s\n", logPath.c_str());
    return ReportFailure("connecting", result);
  }
  // Over the radio the login names the instrument; what it is comes from its version text.
  // The oldest firmware tells its version through "show", which the connect leaves out.
  if (options.radio || !device.settings.newFirmware) result = VerCommand(&device, false);
  if (result >= 0) Print(options, device);
  DisconnectDevice(&device, false);
  if (result < 0) {
    std::fprintf(stderr, "Log: %s\n", logPath.c_str());
    return ReportFailure("identifying", result);
  }
  return kExitOk;
}

}  // namespace

void SetupIdentifyCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<IdentifyOptions>();
  CLI::App* identify =
      app.add_subcommand("identify", "Connect to an instrument's command line and identify it");
  identify->add_option("--port", options->port, "Serial port: ttyUSB0, or a device path")
      ->required();
  identify->add_option("--baud", options->baud, "Rate to agree on after connecting at 9600")
      ->capture_default_str();
  CLI::Option* radio =
      identify->add_flag("--radio", options->radio, "Reach the instrument through a radio modem");
  identify->add_option("--name", options->name, "Radio: the instrument to log into")->needs(radio);
  CLI::Option* channel =
      identify->add_option("--channel", options->channel, "Radio: set the modem's channel first")
          ->check(CLI::Range(0, 6))
          ->needs(radio);
  CLI::Option* subChannel =
      identify->add_option("--subchannel", options->subChannel, "Radio: the modem's sub-channel")
          ->check(CLI::Range(0, 65535))
          ->needs(radio);
  channel->needs(subChannel);
  subChannel->needs(channel);
  identify->add_flag("--json", options->json, "Print one JSON object");
  identify->add_option("--log", options->log, "Error file (default: in the data folder)");
  identify->add_flag("--verbose", options->verbose, "Log every byte on the wire");
  identify->callback([&run, options] { run = [options] { return RunIdentify(*options); }; });
}
