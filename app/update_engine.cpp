#include "app/update_engine.h"

#include <ctime>

#include "app/service_record.h"
#include "app/update_run.h"
#include "session/catalogue.h"

namespace {

std::string ErrorFileOf(const EngineDescription& d) {
  return d.errorFile.empty() ? ErrorFilePath(d.dataFolder, *d.product) : d.errorFile;
}

}  // namespace

UpdateEngine::UpdateEngine(const EngineDescription& d, FrontEnd* ui)
    : log_(ErrorFileOf(d).c_str(), d.logLevel),
      session_(&log_),
      loader_(&log_, CatalogueTypeOfKey, d.product->image),
      context_(&log_, &session_, &loader_, ui, *d.product),
      pump_(d.pump),
      serviceRecord_(d.serviceRecord) {
  if (d.product->digitalSensor && d.sensorType != 0) SetSensorType(context_, d.sensorType);
  context_.dataFolder = d.dataFolder;
  context_.portName = d.portName;
  context_.portDescription = d.portDescription;
  if (session_.status < 0) {
    status_ = session_.status;
    failedStep_ = EngineStep::kSession;
  } else if (loader_.image.status < 0) {
    status_ = loader_.image.status;
    failedStep_ = EngineStep::kBuiltinImage;
  } else if (!d.firmwareFile.empty()) {
    const int32_t opened = OpenFirmwareFile(context_, d.firmwareFile.c_str());
    if (opened < 0) {
      status_ = opened;
      failedStep_ = EngineStep::kFirmwareFile;
    }
  }
}

// Every front end (the window, "vexabsl update" and "update-sensor") runs its updates through
// here, so each run is recorded once, whichever program started it.
int32_t UpdateEngine::Update() {
  const MessagePumpScope pump(pump_);
  const int64_t began = std::time(nullptr);
  const uint32_t start = MsClock();
  const int32_t result = RunUpdate(context_);
  if (serviceRecord_) Record(result, began, MsClock() - start);
  return result;
}

void UpdateEngine::Record(int32_t result, int64_t began, uint32_t elapsedMs) {
  if (context_.dataFolder.empty()) {
    LogMessage(&log_, vexa_log_level::kError, "VexaBSL Host",
               "No data folder: the update is not in the service record");
    return;
  }
  const std::string path = ServiceRecordPath(context_.dataFolder);
  const int32_t written =
      AppendServiceEntry(path, ServiceEntryOfRun(context_, result, began, elapsedMs));
  if (written < 0) {
    LogMessage(&log_, vexa_log_level::kError, "VexaBSL Host",
               "Could not add the update to the service record %s: error %d (%s)", path.c_str(),
               written, ResultText(written));
  }
}
