#include "app/progress_event.h"

#include <cstddef>

namespace {

struct PhaseNames {
  const char* key;
  const char* label;
  const char* unit;
};

// In the order of RunPhase.
constexpr PhaseNames kPhases[] = {
    {"starting", "Starting", nullptr},
    {"connecting", "Connecting", nullptr},
    {"checking_battery", "Checking battery", nullptr},
    {"saving_settings", "Saving settings", nullptr},
    {"starting_loader", "Starting loader", nullptr},
    {"erasing", "Erasing", "segments"},
    {"writing", "Writing", "bytes"},
    {"restarting", "Restarting", nullptr},
    {"checking_firmware", "Checking firmware", nullptr},
    {"restoring_settings", "Restoring settings", nullptr},
    {"erasing_data", "Erasing data", nullptr},
    {"finished", "Finished", nullptr},
};
static_assert(sizeof kPhases / sizeof kPhases[0] == static_cast<size_t>(RunPhase::kFinished) + 1);

const PhaseNames& NamesOf(RunPhase phase) {
  return kPhases[static_cast<size_t>(phase)];
}

}  // namespace

const char* PhaseKey(RunPhase phase) {
  return NamesOf(phase).key;
}

const char* PhaseLabel(RunPhase phase) {
  return NamesOf(phase).label;
}

const char* PhaseUnit(RunPhase phase) {
  return NamesOf(phase).unit;
}

RunPhase LoaderPhase(char kind) {
  return kind == 'X' ? RunPhase::kErasing : RunPhase::kWriting;
}

int PercentOf(uint32_t done, uint32_t total) {
  if (total == 0) return 100;
  return static_cast<int>(100ull * (done > total ? total : done) / total);
}
