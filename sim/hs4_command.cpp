#include "sim/hs4_command.h"

#include <memory>

#include "sim/hs4.h"

namespace {

struct Hs4Options {
  CommonOptions common;
  Hs4Config config;
};

int RunHs4(Hs4Options& options) {
  FaultList faults;
  std::string error;
  if (!ParseFaults(options.common.faults, &faults, &error) ||
      !options.common.server.TakePowerCut(faults, &error)) {
    Complain(error);
    return kExitUsage;
  }
  options.config.TakeFaults(faults);
  Hs4 hs4(options.config);
  return ServeInstrument(hs4, options.common, faults);
}

}  // namespace

void AddHs4Command(CLI::App& app, FamilyRunner& run) {
  CLI::App* command = app.add_subcommand(
      "hs4", "A Hydrella 4 bench instrument: command line at 9600 baud, settings and record sets");
  auto options = std::make_shared<Hs4Options>();
  Hs4Config& config = options->config;
  AddCommonOptions(*command, options->common,
                   "Hydrella 4: code-corrupt, dataflash-fail, power-cut-after=N (the power fails "
                   "right after the N-th answer).");
  command->add_option("--type-word", config.typeWord, "First word of the version text")
      ->capture_default_str();
  command->add_option("--version", config.version, "Firmware version")->capture_default_str();
  command->add_option("--hver", config.hardwareRevision, "Hardware revision")
      ->capture_default_str();
  command->add_option("--answer-ms", config.answerMs, "Command line answer time")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_option("--data-erase-ms", config.dataEraseMs, "Time to erase the stored data")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command
      ->add_option("--power-off-ms", config.powerOffMs,
                   "How long a power cut lasts (0: until the simulator ends)")
      ->check(CLI::NonNegativeNumber)
      ->capture_default_str();
  command->add_flag("--factory-reset", config.factoryReset,
                    "Start with factory settings (after the state file, which keeps the rest)");
  command->callback([options, &run] { run = [options] { return RunHs4(*options); }; });
}
