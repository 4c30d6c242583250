#include "app/update_engine.h"

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
      pump_(d.pump) {
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

int32_t UpdateEngine::Update() {
  const MessagePumpScope pump(pump_);
  return RunUpdate(context_);
}
