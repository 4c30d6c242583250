// The update's front end on a terminal (vexabsl update): statuses as lines on stdout, the
// progress as a bar on a terminal (console_progress.h), error and warning boxes on stderr,
// information on stdout, and questions answered by --yes or --no, or asked on the terminal (Cancel
// without one). With --json-events every progress event is also a JSON line on stdout.
#pragma once

#include <cstdio>
#include <string>

#include "app/front_end.h"
#include "cli/console_progress.h"
#include "cli/console_question.h"

class ConsoleFrontEnd : public FrontEnd {
 public:
  // `quiet`: stdout carries JSON only, so the statuses and the information go to stderr.
  // `jsonEvents`: the progress events are JSON lines on stdout.
  ConsoleFrontEnd(RunOptions options, Answering answering, bool quiet, bool jsonEvents = false);

  void SetStatus(const std::string& text) override;
  void HideStatus() override {}
  void ShowProgress(const ProgressEvent& event) override;
  void SetConnectLabel(const std::string&) override {}
  void ShowBox(const std::string& text, const std::string& caption, BoxKind kind) override;
  BoxAnswer Confirm(const std::string& text, const std::string& caption) override;
  void Beep() override {}
  bool ShouldContinue() override;
  RunOptions Options() override { return options_; }

  // Ends the bar's line at the end of a run, before what the command prints after it.
  void EndProgress() { bar_.End(); }

 private:
  RunOptions options_;
  Answering answering_;
  FILE* statusOut_;  // stdout, or stderr when stdout carries JSON
  bool jsonEvents_;
  ConsoleBar bar_;
};
