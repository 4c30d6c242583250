#include "cli/console_progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kBarWidth = 40;

}  // namespace

ConsoleBar::ConsoleBar(bool linesWhenPiped)
    : terminal_(isatty(STDERR_FILENO)), linesWhenPiped_(linesWhenPiped) {}

void ConsoleBar::Show(const std::string& label, int percent, uint32_t done, uint32_t total,
                      const char* unit) {
  percent = std::clamp(percent, 0, 100);
  if (label != label_) {
    End();
    label_ = label;
    percent_ = -1;
    tenth_ = -1;
  }
  if (!terminal_) {
    if (linesWhenPiped_ && percent / 10 != tenth_) {
      tenth_ = percent / 10;
      std::fprintf(stderr, "%s %d%%\n", label.c_str(), percent);
    }
    return;
  }
  if (percent == percent_ && done == done_) return;
  percent_ = percent;
  done_ = done;
  const int filled = percent * kBarWidth / 100;
  int width =
      std::fprintf(stderr, "\r%s [%s%s] %3d%%", label.c_str(), std::string(filled, '#').c_str(),
                   std::string(kBarWidth - filled, ' ').c_str(), percent);
  if (unit) width += std::fprintf(stderr, " %u of %u %s", done, total, unit);
  // Blanks over what a longer drawing of the same line left.
  if (drawn_ && width < width_) std::fprintf(stderr, "%*s", width_ - width, "");
  width_ = std::max(width, drawn_ ? width_ : 0);
  std::fflush(stderr);
  drawn_ = true;
}

void ConsoleBar::Show(const ProgressEvent& event) {
  Show(PhaseLabel(event.phase), event.percent, event.done, event.total,
       event.total ? PhaseUnit(event.phase) : nullptr);
}

void ConsoleBar::End() {
  if (drawn_) std::fputc('\n', stderr);
  drawn_ = false;
  width_ = 0;
  percent_ = -1;
}
