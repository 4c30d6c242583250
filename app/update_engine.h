// The engine of an update, built in one way by every front end (the window, "vexabsl update",
// "vexabsl update-sensor", the tests): the error file, the session and loader contexts, the image
// to write (the product's, or a firmware file opened in its place) and the update context with
// the port and data folder. It owns all of them, and nothing it uses is shared with another
// engine, so several engines may each run updates on a thread of their own in one process (each
// with its own data folder: the run lock and the settings file are the folder's).
//
//   UpdateEngine engine(description, &frontEnd);
//   if (engine.Status() < 0) ... report engine.FailedStep() with engine.Status() ...
//   const int32_t result = engine.Update();  // as often as the user starts a run
#pragma once

#include <cstdint>
#include <string>

#include "app/front_end.h"
#include "app/product.h"
#include "app/update_context.h"
#include "link/clock.h"
#include "link/log.h"
#include "link/result.h"
#include "loader/bsl_host.h"
#include "session/session_context.h"

// What a front end asks for.
struct EngineDescription {
  const Product* product = &kFieldPalProduct;
  std::string dataFolder;  // made already (data_folder.h)
  std::string errorFile;   // empty: the product's error file in the data folder
  uint32_t logLevel = vexa_log_level::kTrace;
  std::string portName;         // as DSOpen takes it; the window sets it when a port is chosen
  std::string portDescription;  // as the port list shows it
  std::string firmwareFile;     // a TI-Text file to write in place of the built-in image
  uint32_t sensorType = 0;      // the digital-sensor updater's type to load and set (0: default)
  MessagePump pump = nullptr;   // for the long pauses of Update's thread; none: they sleep
  // Each run appends its line to the data folder's service record (service_record.h). The
  // programs keep it; a test that looks at a data folder file by file leaves it out.
  bool serviceRecord = false;
};

// The part of the engine that could not be built.
enum class EngineStep { kNone, kSession, kBuiltinImage, kFirmwareFile };

class UpdateEngine {
 public:
  // The boxes, statuses and progress of its runs go to `ui`.
  UpdateEngine(const EngineDescription& description, FrontEnd* ui);
  UpdateEngine(const UpdateEngine&) = delete;
  UpdateEngine& operator=(const UpdateEngine&) = delete;

  // 1 when the engine can run; else the failed step's code: kErrOutOfMemory (the session or the
  // loader context), kErrImageDamaged (the built-in image), or OpenFirmwareFile's code.
  int32_t Status() const { return status_; }
  EngineStep FailedStep() const { return failedStep_; }

  // One update (RunUpdate) on the calling thread, its long pauses given to the description's
  // message pump, then its line in the service record when the description asks for one. The
  // run's result: a record that cannot be written is logged in the error file and changes nothing.
  int32_t Update();

  VexaLog& Log() { return log_; }
  VexaBSLHost& Loader() { return loader_; }
  UpdateContext& Context() { return context_; }

 private:
  // Appends the run's line to the data folder's service record.
  void Record(int32_t result, int64_t began, uint32_t elapsedMs);

  VexaLog log_;
  SessionContext session_;
  VexaBSLHost loader_;
  UpdateContext context_;
  MessagePump pump_;
  bool serviceRecord_;
  int32_t status_ = kResultOk;
  EngineStep failedStep_ = EngineStep::kNone;
};
