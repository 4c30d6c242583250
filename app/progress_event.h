// Progress as events: what a run (or the loader alone, in "vexabsl flash") is doing, where its
// bar stands and, where the step can count, how much of how much is done. The engine only reports
// them through the front end (front_end.h); each front end draws them its own way: the window's
// bar, the terminal's bar, JSON lines for scripts.
#pragma once

#include <cstdint>

// The phases of a run, in the order a clean run goes through them. A run that fails reports its
// failing phase last, with the bar back at 0.
enum class RunPhase : uint8_t {
  kStarting,           // the run's files, before anything talks to the instrument
  kConnecting,         // identifying the instrument (and the checks that follow)
  kCheckingBattery,    // asking the instrument (or the reader) for its battery power
  kSavingSettings,     // reading the settings into the settings file
  kStartingLoader,     // the instrument leaves its firmware for its bootstrap loader
  kErasing,            // the loader erases the information memory and the flash (segments)
  kWriting,            // the loader writes the image (bytes)
  kRestarting,         // the interrupt vectors, which restart the instrument
  kCheckingFirmware,   // the new firmware's self-test
  kRestoringSettings,  // the settings back, the clock
  kErasingData,        // the old measurements
  kFinished,           // the run succeeded
};

// One report. `done` of `total` counts the phase's own units (PhaseUnit); both are 0 where the
// phase does not count.
struct ProgressEvent {
  RunPhase phase = RunPhase::kStarting;
  int percent = 0;  // the window's bar, 0 to 100
  uint32_t done = 0;
  uint32_t total = 0;
};

// The phase's name for scripts ("erasing"), for people ("Erasing"), and what it counts
// ("segments", "bytes"; null when it counts nothing).
const char* PhaseKey(RunPhase phase);
const char* PhaseLabel(RunPhase phase);
const char* PhaseUnit(RunPhase phase);

// The phase of a loader progress call: kind 'X' erasing, 'W' writing.
RunPhase LoaderPhase(char kind);

// done of total as a whole percentage (100 when there is nothing to count).
int PercentOf(uint32_t done, uint32_t total);
