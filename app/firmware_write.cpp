#include "app/firmware_write.h"

#include "app/unfinished_run.h"
#include "app/update_texts.h"
#include "link/clock.h"
#include "loader/bsl_protocol.h"

LoaderMemoryMap MemoryMapOf(const DeviceDescriptor& family) {
  LoaderMemoryMap map;
  map.flashStart = family.flashStart;
  map.flashEnd = family.flashEnd;
  map.infoStart = family.infoStart;
  map.infoSegments = family.infoSegments;
  map.infoStep = family.infoStep;
  return map;
}

int32_t EraseAndWriteFirmware(UpdateContext& c, uint32_t pause_ms) {
  VexaBSLHost* loader = c.loader;
  const DeviceDescriptor& d = c.descriptor;
  const int32_t noted = NoteErasing(c);
  if (noted < 0) return noted;
  StepProgress(c);
  ShowStatus(c, "Erasing firmware memory...");
  int32_t result =
      BSLEraseINFO(loader, d.infoStart, d.infoSegments, d.infoStep, d.extendedAddressing);
  if (result < 0) {
    ShowErrorBox(c, LoaderFailureText(c, result), "INFO Memory Erase Error", BoxKind::kError);
    return result;
  }
  result = BSLEraseFlash(loader, d.flashStart, d.flashEnd, d.extendedAddressing);
  if (result < 0) {
    ShowErrorBox(c, LoaderFailureText(c, result), "Firmware Erase Error", BoxKind::kError);
    return result;
  }
  c.accumulator = 21.0f;
  SetProgress(c, 21);
  ShowStatus(c, "Uploading new firmware code...");
  if (pause_ms > 0) PumpingWait(pause_ms);
  result = BSLSendFirmware(loader, d.extendedAddressing);
  if (result < 0) {
    ShowErrorBox(c, LoaderFailureText(c, result), "Firmware Upload Error", BoxKind::kError);
    return result;
  }
  ShowStatus(c, "Restarting the " + c.deviceName + ", please wait...");
  result = BSLSendVectors(loader);
  if (result < 0) {
    ShowErrorBox(c, LoaderFailureText(c, result), "Firmware Upload Error", BoxKind::kError);
    return result;
  }
  return kResultOk;
}
