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

constexpr const char* kFaultHelp = "Loggers: only the faults of the line.";

int Serve(Instrument& instrument, CommonOptions& common) {
  FaultList faults;
  std::string error;
  if (!ParseFaults(common.faults, &faults, &error)) {
    Complain(error);
    return kExitUsage;
  }
  return ServeInstrument(instrument, common, faults);
}

void AddLoggerOptions(CLI::App& command, LoggerConfig& config) {
  command.add_option("--type-word", config.typeWord, "First word of the version text")
      ->capture_default_str();
  command.add_option("--version", config.version, "Firmware version")->capture_default_str();
  command.add_option("--name", config.name, "The logger's name (1 to 8 characters)")
      ->check([](const std::string& name) {
        return name.empty() || name.size() > 8 || name.find(' ') != std::string::npos
                   ? std::string("1 to 8 characters without blanks")
                   : std::string();
      })
      ->capture_default_str();
  command.add_option("--answer-ms", config.answerMs, "Command line answer time")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command.add_flag(
      "--no-radio", [&config](int64_t) { config.hasRadio = false; },
      "The logger has no radio (\"No Radio\")");
}

void AddRadioChannelOptions(CLI::App& command, LoggerConfig& config) {
  command.add_option("--channel", config.radioChannel, "The logger's radio channel")
      ->check(CLI::Range(0, 6))
      ->capture_default_str();
  command.add_option("--subchannel", config.radioSubChannel, "The logger's radio sub-channel")
      ->check(CLI::Range(0, 0xFFFF))
      ->capture_default_str();
}

}  // namespace

void AddQd40Command(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "qd40", "A Qd40 logger with current firmware: get -ver, set -baud, radio commands");
  auto options = std::make_shared<LoggerOptions>();
  AddCommonOptions(*command, options->common, kFaultHelp);
  AddLoggerOptions(*command, options->logger);
  AddRadioChannelOptions(*command, options->logger);
  command
      ->add_option("--idle-ms", options->logger.idleMs,
                   "Back to 9600 baud after this long without a byte")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  command->callback([options, &run] {
    run = [options] {
      Logger logger(options->logger);
      return Serve(logger, options->common);
    };
  });
}

void AddQd4Command(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "qd4", "A Qd4 logger with the oldest firmware: refuses get -ver, answers show");
  auto options = std::make_shared<LoggerOptions>();
  options->logger.typeWord = "Qd4";
  options->logger.version = "1.12";
  options->logger.name = "QD4UNIT";
  options->logger.oldFirmware = true;
  AddCommonOptions(*command, options->common, kFaultHelp);
  AddLoggerOptions(*command, options->logger);
  command->add_option("--radio-mode", options->logger.radioMode, "\"Radio:\" of show")
      ->capture_default_str();
  command->add_option("--wake", options->logger.wakeInterval, "\"Wake:\" of show")
      ->capture_default_str();
  command->add_option("--resets", options->logger.resets, "\"Resets:\" of show")
      ->capture_default_str();
  command->callback([options, &run] {
    run = [options] {
      Logger logger(options->logger);
      return Serve(logger, options->common);
    };
  });
}

void AddRadioCommand(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "radio", "A Digi PKG-U radio modem with a Qd40 logger asleep behind its partner");
  auto options = std::make_shared<LoggerOptions>();
  options->logger.name = "RADIO1";
  AddCommonOptions(*command, options->common, kFaultHelp);
  AddLoggerOptions(*command, options->logger);
  AddRadioChannelOptions(*command, options->logger);
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
  command->add_option("--guard-ms", options->modem.guardMs, "Guard time around \"+++\"")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->callback([options, &run] {
    run = [options] {
      RadioModemConfig modem = options->modem;
      modem.channel =
          options->modemChannel >= 0 ? options->modemChannel : options->logger.radioChannel;
      modem.subChannel = options->modemSubChannel >= 0 ? options->modemSubChannel
                                                       : options->logger.radioSubChannel;
      RadioModem radio(modem, options->logger);
      return Serve(radio, options->common);
    };
  });
}
