// What every family's subcommand shares: the options of the line and the server, and the run
// itself (open the pseudo-terminal, print the link, serve, write the files at the end).
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/instrument.h"
#include "sim/pty_server.h"

// Exit codes: 0 served and ended normally, 1 the simulator could not start or write its files,
// 64 a usage error.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;

// The options every family takes; `faults` collects the --fault texts.
struct CommonOptions {
  ServerOptions server;
  std::vector<std::string> faults;
};
void AddCommonOptions(CLI::App& command, CommonOptions& options, const std::string& faultHelp);

// Turns the --fault texts into a list; false with a reason.
bool ParseFaults(const std::vector<std::string>& texts, FaultList* faults, std::string* error);

// Serves `instrument` until stopped. `faults` must hold only faults that were taken by now,
// apart from the line's own, which this takes.
int ServeInstrument(Instrument& instrument, CommonOptions& options, FaultList& faults);

// A family's subcommand adds itself to `app` and sets `run` for when it was chosen.
using FamilyRunner = std::function<int()>;
using FamilySetup = void (*)(CLI::App& app, FamilyRunner& run);

// Prints "vexa-sim: <message>" on stderr.
void Complain(const std::string& message);
