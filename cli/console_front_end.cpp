#include "cli/console_front_end.h"

#include <nlohmann/json.hpp>

#include "cli/interrupts.h"

namespace {

// An event as one line of JSON: {"phase":"writing","percent":45,"done":12544,"total":27648}.
std::string ProgressEventJson(const ProgressEvent& event) {
  const nlohmann::ordered_json line = {{"phase", PhaseKey(event.phase)},
                                       {"percent", event.percent},
                                       {"done", event.done},
                                       {"total", event.total}};
  return line.dump();
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(RunOptions options, Answering answering, bool quiet,
                                 bool jsonEvents)
    : options_(std::move(options)),
      answering_(answering),
      statusOut_(quiet || jsonEvents ? stderr : stdout),
      jsonEvents_(jsonEvents) {}

void ConsoleFrontEnd::SetStatus(const std::string& text) {
  bar_.End();
  std::fprintf(statusOut_, "%s\n", text.c_str());
  std::fflush(statusOut_);
}

void ConsoleFrontEnd::ShowProgress(const ProgressEvent& event) {
  if (jsonEvents_) {
    std::printf("%s\n", ProgressEventJson(event).c_str());
    std::fflush(stdout);
  }
  // The status line says that the run finished.
  if (event.phase != RunPhase::kFinished) bar_.Show(event);
}

void ConsoleFrontEnd::ShowBox(const std::string& text, const std::string& caption, BoxKind kind) {
  bar_.End();
  FILE* out = kind == BoxKind::kError || kind == BoxKind::kWarning ? stderr : statusOut_;
  std::fprintf(out, "%s\n%s\n", caption.c_str(), text.c_str());
  std::fflush(out);
}

BoxAnswer ConsoleFrontEnd::Confirm(const std::string& text, const std::string& caption) {
  bar_.End();
  const bool ok = AskQuestion(answering_, stderr, caption, text, {"OK", "Cancel"});
  return ok ? BoxAnswer::kOk : BoxAnswer::kCancel;
}

bool ConsoleFrontEnd::ShouldContinue() {
  return !StopRequested();
}
