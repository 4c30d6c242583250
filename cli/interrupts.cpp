#include "cli/interrupts.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace {

constexpr time_t kSecondInterruptSeconds = 5;

// What the handler reads and writes: only sig_atomic_t flags and a text set before it is
// installed, and only async-signal-safe calls (clock_gettime, write).
volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_warnFirst = 0;
volatile sig_atomic_t g_warnedAt = 0;  // CLOCK_MONOTONIC seconds of the first Ctrl-C, 0: none
char g_warning[1024];
size_t g_warningLength = 0;

void OnInterrupt(int) {
  if (!g_warnFirst) {
    g_stop = 1;
    return;
  }
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (g_warnedAt != 0 && now.tv_sec - g_warnedAt <= kSecondInterruptSeconds) {
    g_stop = 1;
    static const char kCancelling[] = "\nCancelling at the next step the instrument allows...\n";
    (void)!write(STDERR_FILENO, kCancelling, sizeof kCancelling - 1);
    return;
  }
  g_warnedAt = static_cast<sig_atomic_t>(now.tv_sec ? now.tv_sec : 1);
  (void)!write(STDERR_FILENO, g_warning, g_warningLength);
}

void Catch(int signal, int flags) {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = flags;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void StopOnInterrupt() {
  g_warnFirst = 0;
  // Calls in progress go on (as signal() installs a handler): the hooks stop the work.
  Catch(SIGINT, SA_RESTART);
  Catch(SIGTERM, SA_RESTART);
}

void WarnOnInterrupt(const std::string& warning) {
  const std::string text = "\n" + warning + "\n(Press Ctrl-C again within 5 seconds to cancel.)\n";
  g_warningLength = std::min(text.size(), sizeof g_warning);
  std::memcpy(g_warning, text.data(), g_warningLength);
  g_warnFirst = 1;
  Catch(SIGINT, 0);
}

bool StopRequested() {
  return g_stop != 0;
}
