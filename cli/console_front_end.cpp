#include "cli/console_front_end.h"

#include <time.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

namespace {

constexpr int kBarWidth = 40;
constexpr time_t kSecondInterruptSeconds = 5;

volatile sig_atomic_t g_cancelled = 0;
volatile sig_atomic_t g_warnedAt = 0;  // CLOCK_MONOTONIC seconds of the first Ctrl-C, 0: none
char g_warning[1024];
size_t g_warningLength = 0;

void OnInterrupt(int) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (g_warnedAt != 0 && now.tv_sec - g_warnedAt <= kSecondInterruptSeconds) {
    g_cancelled = 1;
    static const char kCancelling[] = "\nCancelling at the next step the instrument allows...\n";
    (void)!write(STDERR_FILENO, kCancelling, sizeof kCancelling - 1);
    return;
  }
  g_warnedAt = static_cast<sig_atomic_t>(now.tv_sec ? now.tv_sec : 1);
  (void)!write(STDERR_FILENO, g_warning, g_warningLength);
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(RunOptions options, Answering answering, bool quiet)
    : options_(std::move(options)),
      answering_(answering),
      statusOut_(quiet ? stderr : stdout),
      terminal_(isatty(STDERR_FILENO)) {}

void ConsoleFrontEnd::CatchInterrupts(const std::string& warning) {
  const std::string text = "\n" + warning + "\n(Press Ctrl-C again within 5 seconds to cancel.)\n";
  g_warningLength = std::min(text.size(), sizeof g_warning);
  std::memcpy(g_warning, text.data(), g_warningLength);
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
}

void ConsoleFrontEnd::EndBar() {
  if (shownPercent_ >= 0 && terminal_) std::fputc('\n', stderr);
  shownPercent_ = -1;
}

void ConsoleFrontEnd::SetStatus(const std::string& text) {
  EndBar();
  std::fprintf(statusOut_, "%s\n", text.c_str());
}

void ConsoleFrontEnd::SetProgress(int percent) {
  if (!terminal_ || percent == shownPercent_) return;
  shownPercent_ = percent;
  const int filled = percent * kBarWidth / 100;
  std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, ' ').c_str(), percent);
}

void ConsoleFrontEnd::ShowBox(const std::string& text, const std::string& caption, BoxKind kind) {
  EndBar();
  FILE* out = kind == BoxKind::kError || kind == BoxKind::kWarning ? stderr : statusOut_;
  std::fprintf(out, "%s\n%s\n", caption.c_str(), text.c_str());
}

BoxAnswer ConsoleFrontEnd::Confirm(const std::string& text, const std::string& caption) {
  EndBar();
  std::fprintf(stderr, "%s\n%s\n", caption.c_str(), text.c_str());
  if (answering_ == Answering::kAllOk || answering_ == Answering::kAllCancel) {
    const bool ok = answering_ == Answering::kAllOk;
    std::fprintf(stderr, "-> %s\n", ok ? "OK" : "Cancel");
    return ok ? BoxAnswer::kOk : BoxAnswer::kCancel;
  }
  if (!isatty(STDIN_FILENO)) {
    std::fprintf(stderr, "-> Cancel (no terminal to ask; --yes answers OK)\n");
    return BoxAnswer::kCancel;
  }
  for (;;) {
    std::fprintf(stderr, "OK or Cancel? [o/c] ");
    std::string line;
    if (!std::getline(std::cin, line)) return BoxAnswer::kCancel;
    if (line == "o" || line == "O" || line == "ok" || line == "OK") return BoxAnswer::kOk;
    if (line == "c" || line == "C" || line == "cancel" || line == "Cancel") {
      return BoxAnswer::kCancel;
    }
  }
}

bool ConsoleFrontEnd::ShouldContinue() {
  return !g_cancelled;
}
