// One update of the instrument on the chosen port, as the Start button (or "vexabsl update")
// runs it: connect and identify, refuse what must be refused, save the settings, program the
// flash through the bootstrap loader, reconnect, test the new firmware, restore the settings, set
// the clock and erase the old data. Every step reports its status and progress to the front end;
// every failure ends in one box and a negative result.
//
// A run cut off anywhere is finished by the next run: an instrument left in its loader is found
// there and programmed again, and the settings of an instrument whose restore never ended are
// taken from the settings file instead of being saved over it (update_journal.h).
#pragma once

#include <cstdint>

#include "app/update_context.h"

// The run wrapper: clears what an earlier run left, runs UpdateInstrument, then reports success
// (the elapsed seconds, the calibration notice) or cleans up after a failure. Returns the run's
// result: 1, or the failure's code.
int32_t RunUpdate(UpdateContext& context);

// The sequence itself. 1; -20 no connection; -40 cancelled by the user; -110 the loader could not
// be reached; -112 no working loader; -120 not supported; -121 wrong device; -130 battery too
// low; or the failing step's own code.
int32_t UpdateInstrument(UpdateContext& context);
