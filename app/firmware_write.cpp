#include "app/firmware_write.h"

#include "app/unfinished_run.h"
#include "app/update_texts.h"
#include "link/clock.h"
#include "loader/bsl_protocol.h"

namespace {

// The caption of the box of a step that fails, in the order of LoaderStep.
const char* const kFailureCaptions[] = {"INFO Memory Erase Error", "Firmware Erase Error",
                                        "Firmware Upload Error", "Firmware Upload Error"};

}  // namespace

LoaderMemoryMap MemoryMapOf(const DeviceDescriptor& family) {
  LoaderMemoryMap map;
  map.flashStart = family.flashStart;
  map.flashEnd = family.flashEnd;
  map.infoStart = family.infoStart;
  map.infoSegments = family.infoSegments;
  map.infoStep = family.infoStep;
  return map;
}

int32_t EraseAndWrite(VexaBSLHost* loader, const DeviceDescriptor& d,
                      const std::function<void(LoaderStep)>& beforeStep, LoaderStep* failed) {
  const bool ext = d.extendedAddressing;
  const auto step = [&](LoaderStep next) {
    *failed = next;
    if (beforeStep) beforeStep(next);
  };
  step(LoaderStep::kEraseInfo);
  int32_t result = BSLEraseINFO(loader, d.infoStart, d.infoSegments, d.infoStep, ext);
  if (result < 0) return result;
  step(LoaderStep::kEraseFlash);
  result = BSLEraseFlash(loader, d.flashStart, d.flashEnd, ext);
  if (result < 0) return result;
  step(LoaderStep::kWriteFirmware);
  result = BSLSendFirmware(loader, ext);
  if (result < 0) return result;
  step(LoaderStep::kWriteVectors);
  result = BSLSendVectors(loader);
  return result < 0 ? result : kResultOk;
}

int32_t EraseAndWriteFirmware(UpdateContext& c, uint32_t pause_ms) {
  const int32_t noted = NoteErasing(c);
  if (noted < 0) return noted;
  const auto showStep = [&c, pause_ms](LoaderStep step) {
    switch (step) {
      case LoaderStep::kEraseInfo:
        StepProgress(c);
        ShowStatus(c, RunPhase::kErasing, "Erasing firmware memory...");
        break;
      case LoaderStep::kEraseFlash:
        break;
      case LoaderStep::kWriteFirmware:
        c.accumulator = 21.0f;
        SetProgress(c, 21);
        ShowStatus(c, RunPhase::kWriting, "Uploading new firmware code...");
        if (pause_ms > 0) PumpingWait(pause_ms);
        break;
      case LoaderStep::kWriteVectors:
        ShowStatus(c, RunPhase::kRestarting, "Restarting the " + c.deviceName + ", please wait...");
        break;
    }
  };
  LoaderStep failed = LoaderStep::kEraseInfo;
  const int32_t result = EraseAndWrite(c.loader, c.descriptor, showStep, &failed);
  if (result < 0) {
    ShowErrorBox(c, LoaderFailureText(c, result), kFailureCaptions[static_cast<int>(failed)],
                 BoxKind::kError);
  }
  return result;
}
