// The loader's part of an update, the same for an instrument and for a digital sensor: erase the
// information memory and the flash by the family's memory map, then write the image and its
// vectors, with the statuses, the progress and the box of a step that fails.
#pragma once

#include <cstdint>

#include "app/update_context.h"
#include "loader/image_fit.h"
#include "session/catalogue.h"

// The memory a family's loader erases and writes, as the loader layer checks images against it.
LoaderMemoryMap MemoryMapOf(const DeviceDescriptor& family);

// Needs a connected loader (c.loader) and the family's descriptor (c.descriptor). `pause_ms` is
// waited between the erase and the upload. The loader's result: 1, or the failed step's code.
int32_t EraseAndWriteFirmware(UpdateContext& c, uint32_t pause_ms);
