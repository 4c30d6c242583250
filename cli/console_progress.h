// Loader progress on the console: a bar that redraws itself on a terminal, plain lines at every
// tenth when the output goes to a file or a pipe.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>

struct ConsoleProgress {
  FILE* out = stderr;
  bool terminal = false;  // redraw one line instead of printing lines
  char kind = 0;          // the phase being shown: 'X' erase, 'W' write
  int lastTenth = -1;
  const volatile sig_atomic_t* cancel = nullptr;  // set (by a signal handler) to stop
};

// Matches LoaderProgressHook; `context` is a ConsoleProgress. Cancels once *cancel is set.
bool ShowLoaderProgress(void* context, uint32_t total, uint32_t done, int phase, char kind);
