// The commands' one progress bar: on a terminal, a line on stderr that redraws itself
// ("Writing [#####     ]  45% 12544 of 27648 bytes"); to a file or a pipe nothing, or, for the
// commands that ask for it, a line at every tenth ("Writing 40%").
#pragma once

#include <cstdint>
#include <string>

#include "app/progress_event.h"

class ConsoleBar {
 public:
  explicit ConsoleBar(bool linesWhenPiped = false);

  // Draws `label` at `percent`, with "done of total unit" after it when a unit is given. A new
  // label starts a line of its own.
  void Show(const std::string& label, int percent, uint32_t done = 0, uint32_t total = 0,
            const char* unit = nullptr);
  // An event: its phase as the label, its count when it has one.
  void Show(const ProgressEvent& event);
  // Ends a drawn line, so that what is printed next starts on a line of its own.
  void End();

 private:
  bool terminal_;
  bool linesWhenPiped_;
  bool drawn_ = false;  // a line is drawn and not ended
  int width_ = 0;       // the widest drawing of that line
  std::string label_;
  int percent_ = -1;
  uint32_t done_ = 0;
  int tenth_ = -1;
};
