// The loader's part of programming, the same for an instrument, a digital sensor and "vexabsl
// flash": erase the information memory and the flash by the family's memory map, then write the
// image and its vectors. For an update, with its statuses, its progress and the box of a step that
// fails.
#pragma once

#include <cstdint>
#include <functional>

#include "app/update_context.h"
#include "loader/image_fit.h"
#include "session/catalogue.h"

// The memory a family's loader erases and writes, as the loader layer checks images against it.
LoaderMemoryMap MemoryMapOf(const DeviceDescriptor& family);

// The loader's programming steps, in the order they run.
enum class LoaderStep { kEraseInfo, kEraseFlash, kWriteFirmware, kWriteVectors };

// Runs the steps on a connected loader with the family's memory map; `beforeStep`, when given, is
// called before each. 1; or the failing step's code, with *failed set to the step.
int32_t EraseAndWrite(VexaBSLHost* loader, const DeviceDescriptor& family,
                      const std::function<void(LoaderStep)>& beforeStep, LoaderStep* failed);

// An update's erase and write. Needs a connected loader (c.loader) and the family's descriptor
// (c.descriptor). `pause_ms` is waited between the erase and the upload. The loader's result: 1,
// or the failed step's code.
int32_t EraseAndWriteFirmware(UpdateContext& c, uint32_t pause_ms);
