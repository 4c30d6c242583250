// Subcommands of the vexabsl tool. Each lives in its own file and registers its options on the
// tool's parser; main.cpp lists them.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

// Exit codes: 0 success, 1 an operation failed (its result code is printed), 64 a usage error.
// An update whose firmware went in but whose settings did not all go back exits with 2, so that a
// script sees the settings file it must restore by hand.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitSettingsNotRestored = 2;
constexpr int kExitUsage = 64;

// A subcommand adds itself to `app` and sets `run` to what it does once the arguments are parsed.
using CommandRunner = std::function<int()>;
using CommandSetup = void (*)(CLI::App& app, CommandRunner& run);

// Prints "vexabsl: <what> failed [Error <code>] <meaning>" on stderr and returns kExitFailed.
int ReportFailure(const char* what, int32_t code);

// The folder a run keeps its files in: `named` (--data-dir) or the user's data folder, made when
// missing. False, with the folder and the system's reason on stderr, when it cannot be made; a
// fallback folder is named on stderr before it is used.
bool UseDataFolder(const std::string& named, std::string* folder);

// Checks of options that name files. A FIFO would block the tool in its open() beyond the reach
// of Ctrl-C, and a device would feed a reader endless bytes: a file to read may not be a FIFO, a
// socket or a device, and a file to write may not be a FIFO or a socket (the null device stays
// allowed for a log nobody wants). A missing file or a folder passes: its reader or writer says
// what is wrong with it in the command's own words.
const CLI::Validator& FileToRead();
const CLI::Validator& FileToWrite();
// --new-sn: what an instrument takes as its serial number, checked before it is touched.
const CLI::Validator& NewSerialNumber();
