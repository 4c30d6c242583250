#include "sim/serve.h"

#include <cstdio>

void Complain(const std::string& message) {
  std::fprintf(stderr, "vexa-sim: %s\n", message.c_str());
}

void AddCommonOptions(CLI::App& command, CommonOptions& options, const std::string& faultHelp) {
  ServerOptions& server = options.server;
  command.add_option("--link", server.linkPath, "Symlink to create to the instrument's port")
      ->required();
  command.add_flag("--realtime", server.realtime,
                   "Pace the line (10 bits per byte) and the instrument's own work");
  command.add_option("--state", server.statePath,
                     "Keep the instrument's state in this file across runs");
  command.add_option("--transcript", server.transcriptPath,
                     "Write one JSON line per burst of bytes on the line");
  command.add_option("--dump-flash", server.dumpFlashPath,
                     "Write the flash as TI-Text when the simulator ends");
  command.add_option("--stats", server.statsPath,
                     "Write statistics (bytes, wire and device times, frames) as JSON at the end");
  command.add_option("--end-after", server.endAfterMs, "End by itself after this many ms")
      ->check(CLI::NonNegativeNumber);
  command.add_option("--fault", options.faults,
                     "Rehearse a failure, NAME or NAME=N (repeatable). Line: silent-after=N, "
                     "silent-for=K (with silent-after: only answers N+1 to N+K are lost), "
                     "garble-rx=N, drop-rx=N, garble-tx=N, drop-tx=N, echo. " +
                         faultHelp);
}

bool ParseFaults(const std::vector<std::string>& texts, FaultList* faults, std::string* error) {
  for (const std::string& text : texts) {
    if (!faults->Add(text, error)) return false;
  }
  return true;
}

int ServeInstrument(Instrument& instrument, CommonOptions& options, FaultList& faults) {
  std::string error;
  if (!options.server.TakeFaults(faults, &error)) {
    Complain(error);
    return kExitUsage;
  }
  const std::vector<std::string> unknown = faults.Untaken();
  if (!unknown.empty()) {
    Complain("unknown fault \"" + unknown.front() + "\" (see --help)");
    return kExitUsage;
  }
  PtyServer server(instrument, options.server);
  if (!server.Open(&error)) {
    Complain(error);
    return kExitFailed;  // the server removes its link; the files stay as they were
  }
  std::printf("%s -> %s\n", options.server.linkPath.c_str(), server.SlavePath().c_str());
  std::fflush(stdout);
  server.Serve();
  if (!server.Finish(&error)) {
    Complain(error);
    return kExitFailed;
  }
  return kExitOk;
}
