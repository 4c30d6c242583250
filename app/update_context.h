// The application's state for updates: the long-lived engine objects, the product and image the
// build carries (or a firmware file opened in their place), the port picked, and what the last
// run met and did. One per engine (update_engine.h), which owns it, reused by every run.
#pragma once

#include <cstdint>
#include <string>

#include "app/front_end.h"
#include "app/product.h"
#include "link/log.h"
#include "loader/bsl_host.h"
#include "session/catalogue.h"
#include "session/session_context.h"

// The progress a loader call moves the bar by: one step per erased segment; the write increment
// per written block is sized so the built-in image's upload moves it from 21 to about 90.
constexpr float kBuiltinWriteIncrement = 0.22899814f;
constexpr float kWriteSpan = 35328.0f;  // a loaded image's increment: this / its length

struct UpdateContext {
  // For the product given (the FieldPal when none is).
  UpdateContext(VexaLog* log, SessionContext* session, VexaBSLHost* loader, FrontEnd* ui,
                const Product& product = kFieldPalProduct);

  VexaLog* log;
  SessionContext* session;
  VexaBSLHost* loader;
  FrontEnd* ui;

  std::string caption;     // the window's caption: "FieldPal Firmware Updater"
  std::string deviceName;  // "FieldPal", or the family of an opened firmware file
  int productType;         // the catalogue type this build updates (14)
  uint32_t imageVersion;   // of the image the next run writes (200 for 2.00)
  char hardwareRevision;   // the only revision the image runs on
  // The digital-sensor updater: a run updates the sensor behind a reader (UpdateSensor), whose
  // type a run finally sets to the chosen one (a sensor type, or a family 260 to 264).
  bool digitalSensor = false;
  uint32_t sensorType = 0;
  std::string dataFolder;
  std::string portName;         // as DSOpen takes it
  std::string portDescription;  // as the port list shows it
  int eraseStep = 1;
  float writeIncrement = kBuiltinWriteIncrement;

  // One run's state.
  DeviceDescriptor descriptor;
  RunOptions options;
  std::string settingsPath;
  int progress = 0;
  float accumulator = 0;
  RunPhase phase = RunPhase::kStarting;  // the phase the last status started

  // What the last run did, for the front ends' reports.
  bool settingsSaved = false;
  bool settingsRestored = false;
  bool restoreIncomplete = false;
  int32_t restoreResult = 0;     // the failed restore's code
  std::string keptSettingsFile;  // a settings file kept for a later "vexabsl settings --restore"
  uint32_t seconds = 0;
  // The firmware the instrument ran when the run met it, and the new firmware once it answered
  // (150 for 1.50); 0 while the run has not learnt it, as for an instrument found in its loader.
  uint32_t versionBefore = 0;
  uint32_t versionAfter = 0;
};

// The image's target type (a loaded image that names none is for the product type).
int ImageTargetType(const UpdateContext& context);

// Any box of the run, whatever its kind (a failure, a warning, a notice: the name is the one the
// update sequence has always used); after the user closed it, what they were told goes to the
// error file.
void ShowErrorBox(UpdateContext& context, const std::string& text, const std::string& caption,
                  BoxKind kind);
BoxAnswer ConfirmBox(UpdateContext& context, const std::string& text, const std::string& caption);

// The loader's progress hook (context: the UpdateContext): each call of the erase steps the bar
// by the erase step, each of the write adds the write increment; the front end gets the bar with
// the loader's count (segments erased, bytes written). The answer is whether to go on.
bool LoaderProgress(void* context, uint32_t total, uint32_t done, int phase, char kind);

// Progress bar moves, reported in the current phase: set to a value, or step by the bar's step
// of 2.
void SetProgress(UpdateContext& context, int percent);
void StepProgress(UpdateContext& context);
// A new phase: its status line, then its event with the bar where it stands.
void ShowStatus(UpdateContext& context, RunPhase phase, const std::string& text);

// The digital-sensor updater's chosen sensor type (a type, or a family 260 to 264): the type the
// run loads and finally sets, and the device name (its SensorTypeName) the texts use.
void SetSensorType(UpdateContext& context, uint32_t sensorType);

// Loads a TI-Text file in place of the image (Open Firmware File): on success the device name,
// image version and write increment follow the file. The file must fit the memory map of the
// family it is for. 1, or the loader's code (kErrNotTiText, kErrOutOfMemory,
// kErrImageOutsideMemory, kErrImageOverlaps, kErrImageNoCode, kErrImageNoResetVector, ...); on
// failure everything stays as it was.
int32_t OpenFirmwareFile(UpdateContext& context, const char* path);
