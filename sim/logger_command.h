// "vexa-sim qd40", "vexa-sim rq7", "vexa-sim qd4" and "vexa-sim radio": the loggers'
// subcommands.
#pragma once

#include "sim/serve.h"

// Adds "qd40" and, after it, "rq7", the logger of the same kind with its own command set.
void AddQd40Command(CLI::App& app, FamilyRunner& run);
void AddRq7Command(CLI::App& app, FamilyRunner& run);
void AddQd4Command(CLI::App& app, FamilyRunner& run);
void AddRadioCommand(CLI::App& app, FamilyRunner& run);
