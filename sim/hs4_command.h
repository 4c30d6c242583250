// "vexa-sim hs4": the Hydrella 4's subcommand and its options.
#pragma once

#include "sim/serve.h"

void AddHs4Command(CLI::App& app, FamilyRunner& run);
