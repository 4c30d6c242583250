// Subcommands of the vexabsl tool. Each lives in its own file and registers its options on the
// tool's parser; main.cpp lists them.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

// Exit codes: 0 success, 1 an operation failed (its result code is printed), 64 a usage error.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;

// A subcommand adds itself to `app` and sets `run` to what it does once the arguments are parsed.
using CommandRunner = std::function<int()>;
using CommandSetup = void (*)(CLI::App& app, CommandRunner& run);

// Prints "vexabsl: <what> failed [Error <code>] <meaning>" on stderr and returns kExitFailed.
int ReportFailure(const char* what, int32_t code);
