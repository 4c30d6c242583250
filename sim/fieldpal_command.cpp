#include "sim/fieldpal_command.h"

#include <memory>

#include "sim/fieldpal.h"

namespace {

struct FieldPalOptions {
  CommonOptions common;
  FieldPalConfig config;
};

// A sensor's firmware version as its identification carries it: "360".
CLI::Validator ThreeDigits() {
  return CLI::Validator(
      [](std::string& text) {
        const bool digits = text.find_first_not_of("0123456789") == std::string::npos;
        return text.size() == 3 && digits ? std::string() : std::string("three digits");
      },
      "NNN");
}

int RunFieldPal(FieldPalOptions& options) {
  options.config.sensorAttached = !options.config.sensor.type.empty();
  FaultList faults;
  std::string error;
  if (!ParseFaults(options.common.faults, &faults, &error) ||
      !options.config.TakeFaults(faults, &error) ||
      !options.common.server.TakePowerCut(faults, &error)) {
    Complain(error);
    return kExitUsage;
  }
  FieldPal fieldpal(options.config);
  return ServeInstrument(fieldpal, options.common, faults);
}

}  // namespace

void AddFieldPalCommand(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "fieldpal", "A FieldPal hand-held reader: command line at 9600 baud, loader at 57600");
  auto options = std::make_shared<FieldPalOptions>();
  FieldPalConfig& config = options->config;
  AddCommonOptions(
      *command, options->common,
      "FieldPal: no-loader, loader-running, loader-waiting, low-battery, wrong-hver, code-corrupt, "
      "dataflash-fail, reject-block=K, reject-block-always=K, power-loss=K, power-cut-after=N "
      "(the power fails right after the N-th answer); with --sensor: "
      "sensor-miss=N, sensor-corrupt, sensor-no-bsl.");
  command->add_option("--type-word", config.typeWord, "First word of the version text")
      ->capture_default_str();
  command->add_option("--version", config.version, "Firmware version on a first start")
      ->capture_default_str();
  command->add_option("--image-version", config.imageVersion, "Firmware version after an upload")
      ->capture_default_str();
  command->add_option("--hver", config.hardwareRevision, "Hardware revision")
      ->capture_default_str();
  command->add_option("--battery", config.battery, "Battery level in percent")
      ->check(CLI::Range(0, 100))
      ->capture_default_str();
  command->add_option("--loader-version", config.loader.version, "Loader version (\"g\")")
      ->check(CLI::Range(0, 99999))
      ->capture_default_str();
  command->add_option("--answer-ms", config.answerMs, "Command line answer time")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_option("--loader-baud", config.loader.baud, "Loader baud rate")
      ->check(CLI::IsMember({9600, 19200, 38400, 57600, 115200}))
      ->capture_default_str();
  command->add_option("--loader-answer-ms", config.loader.answerMs, "Loader answer time")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_option("--erase-ms", config.loader.eraseMs, "Flash segment erase time")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command
      ->add_option("--program-ms", config.loader.programMs, "Programming time of a 256-byte block")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_option("--restart-ms", config.restartMs, "Restart time after the vectors")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_option("--data-erase-ms", config.dataEraseMs, "Time to erase the stored data")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command
      ->add_option("--power-off-ms", config.powerOffMs,
                   "How long a power loss lasts (0: until the simulator ends)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_flag("--factory-reset", config.factoryReset,
                    "Start with factory settings (after the state file, which keeps the rest)");
  DigitalSensorConfig& sensor = config.sensor;
  CLI::Option* attach = command->add_option(
      "--sensor", sensor.type, "Attach a digital sensor of this type (a letter or a number)");
  command->add_option("--sensor-address", sensor.address, "The sensor's SDI-12 address")
      ->needs(attach)
      ->capture_default_str();
  command
      ->add_option("--sensor-version", sensor.version,
                   "The sensor's firmware version, three digits")
      ->check(ThreeDigits())
      ->needs(attach)
      ->capture_default_str();
  command
      ->add_option("--sensor-image-version", sensor.imageVersion,
                   "The sensor's firmware version after an upload, three digits")
      ->check(ThreeDigits())
      ->needs(attach)
      ->capture_default_str();
  command->add_option("--sensor-model", sensor.model, "The sensor's model, six characters")
      ->needs(attach);
  command->add_option("--sensor-sn", sensor.serial, "The sensor's serial number (empty: none)")
      ->needs(attach)
      ->capture_default_str();
  command->add_option("--sensor-x4", sensor.x4, "Main calibration")
      ->needs(attach)
      ->capture_default_str();
  command->add_option("--sensor-xa", sensor.xa, "Secondary calibration")
      ->needs(attach)
      ->capture_default_str();
  command->add_option("--sensor-xo", sensor.xo, "Offset calibration (empty: none)")->needs(attach);
  command
      ->add_option("--sensor-answer-ms", sensor.answerMs,
                   "The sensor's answer time through the relay")
      ->check(CLI::NonNegativeNumber)
      ->needs(attach)
      ->capture_default_str();
  command->callback([options, &run] { run = [options] { return RunFieldPal(*options); }; });
}
