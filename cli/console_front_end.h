// The update's front end on a terminal (vexabsl update): statuses as lines on stdout, the
// progress as a bar on a terminal, error and warning boxes on stderr, information on stdout, and
// questions answered by --yes or --no, or asked on the terminal (Cancel without one).
#pragma once

#include <csignal>
#include <cstdio>
#include <string>

#include "app/front_end.h"

enum class Answering { kAsk, kAllOk, kAllCancel };

class ConsoleFrontEnd : public FrontEnd {
 public:
  ConsoleFrontEnd(RunOptions options, Answering answering, bool quiet);

  void SetStatus(const std::string& text) override;
  void HideStatus() override {}
  void SetProgress(int percent) override;
  void SetConnectLabel(const std::string&) override {}
  void Repaint() override { std::fflush(nullptr); }
  void ShowBox(const std::string& text, const std::string& caption, BoxKind kind) override;
  BoxAnswer Confirm(const std::string& text, const std::string& caption) override;
  void Beep(BoxKind) override {}
  bool ShouldContinue() override;
  RunOptions Options() override { return options_; }

  // Ctrl-C during a run: the first says why not to quit, a second within five seconds cancels
  // at the next point the loader allows. `warning` is what the first prints.
  static void CatchInterrupts(const std::string& warning);

 private:
  void EndBar();

  RunOptions options_;
  Answering answering_;
  FILE* statusOut_;  // stdout, or stderr when stdout carries the JSON result
  bool terminal_;
  int shownPercent_ = -1;
};
