// "vexa-sim qd40", "vexa-sim qd4" and "vexa-sim radio": the loggers' subcommands.
#pragma once

#include "sim/serve.h"

void AddQd40Command(CLI::App& app, FamilyRunner& run);
void AddQd4Command(CLI::App& app, FamilyRunner& run);
void AddRadioCommand(CLI::App& app, FamilyRunner& run);
