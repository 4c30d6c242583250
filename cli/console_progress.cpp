#include "cli/console_progress.h"

namespace {

constexpr int kBarWidth = 40;

const char* PhaseName(char kind) {
  return kind == 'X' ? "Erasing" : "Writing";
}

}  // namespace

bool ShowLoaderProgress(void* context, uint32_t total, uint32_t done, int phase, char kind) {
  ConsoleProgress* progress = static_cast<ConsoleProgress*>(context);
  if (progress->cancel && *progress->cancel) return false;
  if (progress->kind != kind) {
    progress->kind = kind;
    progress->lastTenth = -1;
  }
  const int percent = phase == 2 || total == 0
                          ? 100
                          : static_cast<int>(100ull * (done > total ? total : done) / total);
  if (progress->terminal) {
    const int filled = percent * kBarWidth / 100;
    std::fprintf(progress->out, "\r%s [%.*s%*s] %3d%%", PhaseName(kind), filled,
                 "########################################", kBarWidth - filled, "", percent);
    if (phase == 2) std::fputc('\n', progress->out);
    std::fflush(progress->out);
    return true;
  }
  const int tenth = percent / 10;
  if (tenth != progress->lastTenth) {
    progress->lastTenth = tenth;
    std::fprintf(progress->out, "%s %d%%\n", PhaseName(kind), percent);
  }
  return true;
}
