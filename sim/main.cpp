// vexa-sim: virtual instruments on pseudo-terminals, for the tests, the demo and the benchmarks.
// Each instrument family is a subcommand; the rest of the simulator is shared.
#include <cstdio>

#include "sim/fieldpal_command.h"
#include "sim/hs4_command.h"
#include "sim/logger_command.h"
#include "sim/serve.h"

namespace {

// Every family, in the order --help lists them.
const FamilySetup kFamilies[] = {
    AddFieldPalCommand,  // the hand-held reader
    AddQd40Command,      // the loggers on a cable: current firmware
    AddRq7Command,       // its own command set
    AddQd4Command,       // the oldest firmware
    AddRadioCommand,     // a logger behind a radio modem
    AddHs4Command,       // the bench instrument
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vexa-sim - virtual Norvane instruments on pseudo-terminals"};
  app.require_subcommand(1);
  FamilyRunner run;
  for (FamilySetup setup : kFamilies) setup(app, run);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "vexa-sim: %s (try 'vexa-sim --help')\n", e.what());
    return kExitUsage;
  }
  return run ? run() : kExitUsage;
}
