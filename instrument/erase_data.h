// Erasing the measurements an instrument has logged. The erase cannot be undone, so it first makes
// sure the instrument on the line is still the one the caller connected to.
#pragma once

#include <cstdint>

#include "instrument/device_context.h"

// Reads the instrument's name again and compares it with the name held since connecting, then
// sends "yes". 1; kErrIdentityChanged (the name could not be read or differs: nothing erased);
// kErrDataMemoryBroken (the data memory is broken, or the instrument refused or did not answer);
// kErrUnreadableAnswer (another answer); or the transaction's code.
int32_t EraseData(DeviceContext* device);
