// Runs one of the project's programs as a user runs it, for tests of the command-line tools.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct ToolOutcome {
  int exit = -1;       // the exit status, -1 when the program did not exit normally
  std::string output;  // stdout and stderr together
};

// Runs `program` with `arguments` (a shell-quoted argument string) and collects its output
// (stdout alone when `withStderr` is false).
inline ToolOutcome RunTool(const std::string& program, const std::string& arguments,
                           bool withStderr = true) {
  ToolOutcome outcome;
  const std::string command =
      "'" + program + "' " + arguments + (withStderr ? " 2>&1" : " 2>/dev/null");
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) outcome.output.append(chunk, got);
  const int status = pclose(pipe);
  outcome.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}
