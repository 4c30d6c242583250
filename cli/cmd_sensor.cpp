// vexabsl sensor: connects to the hand-held reader, has it relay to the digital sensor attached to
// it, reads the sensor's identity, type, serial number and calibration strings (as an update
// saves them) and prints them. --json prints the same for scripts.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/product.h"
#include "cli/commands.h"
#include "instrument/device_context.h"
#include "instrument/session.h"
#include "sdi12/vexa_sdi12.h"
#include "session/catalogue.h"

namespace {

constexpr uint32_t kRelayStartMs = 500;  // the reader's switch to relaying, and the sensor's wake

struct SensorOptions {
  std::string port;
  bool json = false;
  std::string log;
  bool verbose = false;
};

// A letter type prints as the letter; a numeric one as the number with its catalogue name.
std::string TypeText(const VexaSDI12& sdi) {
  if (sdi.type == 0) return "unknown";
  if (!sdi.numericType) return std::string("'") + static_cast<char>(sdi.type) + "'";
  char name[kSensorNameSize];
  return std::to_string(sdi.type) + " (" + SensorTypeName(sdi.type, name) + ")";
}

void Print(const SensorOptions& options, const VexaSDI12& sdi) {
  if (options.json) {
    nlohmann::json out = {
        {"port", options.port},
        {"address", std::string(1, sdi.address)},
        {"info", sdi.info},
        {"version", sdi.version},
        {"type_code", sdi.type},
        {"numeric_type", sdi.numericType},
        {"serial_number", sdi.serialNumber},
        {"x4", sdi.x4},
        {"xa", sdi.xa},
        {"xo", sdi.xoPresent ? nlohmann::json(sdi.xo) : nlohmann::json(nullptr)},
    };
    if (sdi.numericType) {
      char name[kSensorNameSize];
      out["type_name"] = SensorTypeName(sdi.type, name);
    } else if (sdi.type != 0) {
      out["type"] = std::string(1, static_cast<char>(sdi.type));
    }
    std::printf("%s\n", out.dump().c_str());
    return;
  }
  std::printf("Address:       '%c'\n", sdi.address);
  std::printf("Info:          %s\n", sdi.info);
  std::printf("Version:       %u\n", sdi.version);
  std::printf("Type:          %s\n", TypeText(sdi).c_str());
  std::printf("Serial number: %s\n", sdi.serialNumber[0] ? sdi.serialNumber : "(none)");
  std::printf("X4:            %s\n", sdi.x4);
  std::printf("Xa:            %s\n", sdi.xa);
  std::printf("XO:            %s\n", sdi.xoPresent ? sdi.xo : "(none)");
}

int RunSensor(const SensorOptions& options) {
  if (options.port.size() > kPortNameSize) {
    std::fprintf(stderr, "vexabsl: --port is longer than %u characters\n", kPortNameSize);
    return kExitUsage;
  }
  const std::string logPath = options.log.empty() ? ErrorFilePath() : options.log;
  VexaLog log(logPath.c_str(), options.verbose ? vexa_log_level::kBytes : vexa_log_level::kTrace);
  DeviceContext device(&log);
  DeviceRelease release(&device);
  if (device.status < 0) return ReportFailure("sensor", device.status);

  ConnectionRequest request;
  std::snprintf(request.portName, sizeof request.portName, "%s", options.port.c_str());
  request.linkKind = link_kind::kSerial;
  request.baudCode = kBaudCode9600;
  const int32_t connected = ConnectDevice(&device, &request);
  if (connected < 0) {
    std::fprintf(stderr, "Log: %s\n", logPath.c_str());
    return ReportFailure("connecting to the reader", connected);
  }

  VexaSDI12 sdi(&log, &device);
  DSWrite(&device.port, "[", 1, nullptr);  // the reader relays to the sensor from now on
  PumpingWait(kRelayStartMs);
  const int32_t result = SDISaveSensor(&sdi);
  DSWrite(&device.port, "`", 1, nullptr);  // back to the reader's own command line
  DisconnectDevice(&device, false);
  if (result < 0) {
    std::fprintf(stderr, "Log: %s\n", logPath.c_str());
    return ReportFailure("reading the sensor", result);
  }
  Print(options, sdi);
  return kExitOk;
}

}  // namespace

void SetupSensorCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<SensorOptions>();
  CLI::App* sensor = app.add_subcommand(
      "sensor", "Read the settings of the digital sensor attached to a FieldPal reader");
  sensor->add_option("--port", options->port, "Serial port: ttyUSB0, or a device path")->required();
  sensor->add_flag("--json", options->json, "Print one JSON object");
  sensor->add_option("--log", options->log, "Error file (default: in the data folder)")
      ->check(FileToWrite());
  sensor->add_flag("--verbose", options->verbose, "Log every byte on the wire");
  sensor->callback([&run, options] { run = [options] { return RunSensor(*options); }; });
}
