// The version check's boxes on a terminal (vexabsl check-version): errors and warnings on stderr,
// information on stdout, the Yes/No question answered by --yes or --no, or asked on the terminal
// (No without one). A link is opened with the desktop's handler, xdg-open.
#pragma once

#include <string>

#include "cli/console_question.h"
#include "net/version_check.h"

class ConsolePrompts : public net::VersionPrompts {
 public:
  ConsolePrompts(Answering answering, bool quiet_json);

  void Show(Kind kind, const std::string& title, const std::string& text) override;
  bool AskYesNo(const std::string& title, const std::string& text) override;
  bool OpenLink(const std::string& link) override;

 private:
  Answering answering_;
  FILE* informationOut_;  // stdout, or stderr when stdout carries the JSON result
};

// Runs `program` with one argument (no shell in between) and waits for it: true when it exited 0.
bool RunHandler(const char* program, const std::string& argument);
