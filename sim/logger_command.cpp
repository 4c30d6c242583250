#include "sim/logger_command.h"

#include <memory>

#include "sim/logger.h"
#include "sim/radio_modem.h"

namespace {

struct LoggerOptions {
  CommonOptions common;
  LoggerConfig logger;
  RadioModemConfig modem;
  int modemChannel = -1;  // -1: the logger's own
  int modemSubChannel = -1;
};

constexpr const char* kRadioFaultHelp = "Loggers: dataflash-fail.";
constexpr const char* kCableFaultHelp =
    "Loggers: dataflash-fail, power-cut-after=N (the power fails right after the N-th answer).";

// Parses the --fault texts and takes the loggers' own; false (a usage error) on a bad text.
bool TakeLoggerFaults(LoggerOptions& options, FaultList* faults) {
  std::string error;
  if (!ParseFaults(options.common.faults, faults, &error)) {
    Complain(error);
    return false;
  }
  options.logger.TakeFaults(*faults);
  return true;
}

// Serves a logger on a cable.
int ServeLogger(LoggerOptions& options) {
  FaultList faults;
  if (!TakeLoggerFaults(options, &faults)) return kExitUsage;
  std::string error;
  if (!options.common.server.TakePowerCut(faults, &error)) {
    Complain(error);
    return kExitUsage;
  }
  Logger logger(options.logger);
  return ServeInstrument(logger, options.common, faults);
}

void AddLoggerOptions(CLI::App& command, LoggerConfig& config) {
  command.add_option("--type-word", config.typeWord, "First word of the version text")
      ->capture_default_str();
  command.add_option("--version", config.version, "Firmware version")->capture_default_str();
  command.add_option("--name", config.settings.name, "The logger's name (1 to 8 characters)")
      ->check([](const std::string& name) {
        return name.empty() || name.size() > 8 || name.find(' ') != std::string::npos
                   ? std::string("1 to 8 characters without blanks")
                   : std::string();
      })
      ->capture_default_str();
  command.add_option("--answer-ms", config.answerMs, "Command line answer time")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command.add_option("--data-erase-ms", config.dataEraseMs, "Time to erase the stored data (yes)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command.add_flag(
      "--no-radio", [&config](int64_t) { config.hasRadio = false; },
      "The logger has no radio (\"No Radio\")");
}

// What only a logger on a cable has: a reset before the run and a power supply that may fail.
void AddCableOptions(CLI::App& command, LoggerConfig& config) {
  command.add_flag("--factory-reset", config.factoryReset,
                   "Start with factory settings (after the state file, which keeps the rest)");
  command
      .add_option("--power-off-ms", config.powerOffMs,
                  "How long a power cut lasts (0: until the simulator ends)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
}

void AddRadioChannelOptions(CLI::App& command, LoggerConfig& config) {
  command.add_option("--channel", config.radioChannel, "The logger's radio channel")
      ->check(CLI::Range(0, 6))
      ->capture_default_str();
  command.add_option("--subchannel", config.radioSubChannel, "The logger's radio sub-channel")
      ->check(CLI::Range(0, 0xFFFF))
      ->capture_default_str();
}

void AddGuardTimeOption(CLI::App& command, double& guardMs) {
  command.add_option("--guard-ms", guardMs, "Guard time around \"+++\"")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
}

void AddCurrentFirmwareOptions(CLI::App& command, LoggerConfig& config) {
  AddRadioChannelOptions(command, config);
  command
      .add_option_function<int>(
          "--trait", [&config](const int& trait) { config.settings.SetTrait(trait); },
          "The trait as the updater sees it (stored and answered as 255 - N; default 9: radio "
          "and network modem)")
      ->check(CLI::Range(0, 255));
  command
      .add_option("--idle-ms", config.idleMs, "Back to 9600 baud after this long without a byte")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
}

void AddTeaKeyOption(CLI::App& command, LoggerConfig& config) {
  command.add_flag("--teakey", config.teaKey,
                   "Older key form: get -authkey is refused, get -teakey answers the key");
}

}  // namespace

void AddQd40Command(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "qd40", "A Qd40 logger with current firmware: get -ver, set -baud, settings, radio");
  auto options = std::make_shared<LoggerOptions>();
  AddCommonOptions(*command, options->common, kCableFaultHelp);
  AddLoggerOptions(*command, options->logger);
  AddCableOptions(*command, options->logger);
  AddCurrentFirmwareOptions(*command, options->logger);
  AddTeaKeyOption(*command, options->logger);
  command->callback([options, &run] { run = [options] { return ServeLogger(*options); }; });
}

void AddRq7Command(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "rq7", "An rQ7 logger: the Qd40's settings without radio mode, build and network modem");
  auto options = std::make_shared<LoggerOptions>();
  LoggerConfig& config = options->logger;
  config.model = LoggerModel::kRq7;
  config.typeWord = "RQ7";
  config.version = "1.20";
  config.settings.name = "RQ7UNIT1";
  AddCommonOptions(*command, options->common, kCableFaultHelp);
  AddLoggerOptions(*command, config);
  AddCableOptions(*command, config);
  AddCurrentFirmwareOptions(*command, config);
  command->callback([options, &run] { run = [options] { return ServeLogger(*options); }; });
}

void AddQd4Command(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "qd4",
      "A Qd4 logger with the oldest firmware: refuses get -ver, answers show, passes the line "
      "through to its radio modem after term");
  auto options = std::make_shared<LoggerOptions>();
  LoggerConfig& config = options->logger;
  config.model = LoggerModel::kQd4;
  config.typeWord = "Qd4";
  config.version = "1.12";
  config.settings.name = "QD4UNIT";
  AddCommonOptions(*command, options->common, kCableFaultHelp);
  AddLoggerOptions(*command, config);
  AddCableOptions(*command, config);
  command->add_option("--radio-mode", config.settings.radioMode, "\"Radio:\" of show")
      ->check(CLI::Range(0, 255))
      ->capture_default_str();
  command->add_option("--wake", config.settings.wakeInterval, "\"Wake:\" of show")
      ->check(CLI::Range(0, 86400))
      ->capture_default_str();
  command->add_option("--resets", config.resets, "\"Resets:\" of show")->capture_default_str();
  AddRadioChannelOptions(*command, config);
  AddGuardTimeOption(*command, config.modem.guardMs);
  command->callback([options, &run] { run = [options] { return ServeLogger(*options); }; });
}

void AddRadioCommand(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "radio", "A Digi PKG-U radio modem with a Qd40 logger asleep behind its partner");
  auto options = std::make_shared<LoggerOptions>();
  options->logger.settings.name = "RADIO1";
  AddCommonOptions(*command, options->common, kRadioFaultHelp);
  AddLoggerOptions(*command, options->logger);
  AddCurrentFirmwareOptions(*command, options->logger);
  AddTeaKeyOption(*command, options->logger);
  command
      ->add_option("--modem-channel", options->modemChannel,
                   "The modem's channel at the start (default: the logger's)")
      ->check(CLI::Range(0, 6));
  command
      ->add_option("--modem-subchannel", options->modemSubChannel,
                   "The modem's sub-channel at the start (default: the logger's)")
      ->check(CLI::Range(0, 0xFFFF));
  command->add_flag("--awake", options->logger.awake, "The logger starts awake, listening");
  command
      ->add_option("--wake-packets", options->logger.wakePackets,
                   "Carriage returns that wake the logger")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  AddGuardTimeOption(*command, options->modem.timing.guardMs);
  command->callback([options, &run] {
    run = [options] {
      FaultList faults;
      if (!TakeLoggerFaults(*options, &faults)) return kExitUsage;
      RadioModemConfig modem = options->modem;
      modem.channel =
          options->modemChannel >= 0 ? options->modemChannel : options->logger.radioChannel;
      modem.subChannel = options->modemSubChannel >= 0 ? options->modemSubChannel
                                                       : options->logger.radioSubChannel;
      RadioModem radio(modem, options->logger);
      return ServeInstrument(radio, options->common, faults);
    };
  });
}
