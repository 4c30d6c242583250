// "vexa-sim fieldpal": the FieldPal's subcommand and its options.
#pragma once

#include "sim/serve.h"

void AddFieldPalCommand(CLI::App& app, FamilyRunner& run);
