// What the commands that talk to an instrument's command line share: the connection options
// (port, rate, radio), the error file, the progress line of the long steps with Ctrl-C to cancel
// them, and connecting with the message a user can act on.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

#include "cli/console_progress.h"
#include "instrument/device_context.h"
#include "session/session_context.h"

struct InstrumentArgs {
  std::string port;
  uint32_t baud = 9600;
  bool radio = false;
  std::string name;
  int channel = -1;
  int subChannel = -1;
  std::string log;
  bool verbose = false;
};

// --port, --baud, --radio, --name, --channel, --subchannel, --log, --verbose.
void AddInstrumentOptions(CLI::App* command, InstrumentArgs& args);

// What the progress line shows (on a terminal; nothing when stderr is a file or a pipe); lives as
// long as the device context that calls it.
struct ProgressLine {
  const char* label = "Waking the instrument";
  const char* unit = "packets";
  ConsoleBar bar;
};

// The families that need a login refuse every command after "get -ver" until they have it, as
// the update sequence knows; the session must have identified the instrument (DPIdentify). 1
// (also for the others), or the failed login; the instrument is let go then.
int32_t LogInWhereNeeded(SessionContext& session);

// One command's time with an instrument: the error file, the session context (and its device
// context) with the progress line and Ctrl-C installed, and the connection.
class InstrumentSession {
 public:
  explicit InstrumentSession(const InstrumentArgs& args);
  ~InstrumentSession();  // lets the instrument go

  // Checks the arguments and connects. On failure prints why (and where the log is) and returns
  // the exit code; kExitOk when connected.
  int Connect();
  // Prints where the error file is and the failure; returns the exit code.
  int Failed(const char* what, int32_t code) const;

  DeviceContext& Device() { return session_.device; }
  SessionContext& Session() { return session_; }
  ProgressLine& Progress() { return progress_; }
  const std::string& LogPath() const { return logPath_; }

 private:
  const InstrumentArgs& args_;
  std::string logPath_;
  VexaLog log_;
  ProgressLine progress_;  // outlives the device context that calls it
  SessionContext session_;
};
