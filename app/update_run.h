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

// The run wrapper: owns the data folder's files for the whole run (run_lock.h), clears what an
// earlier run left, runs UpdateInstrument (UpdateSensor in the digital-sensor updater), then
// reports success (the elapsed seconds, the calibration notice) or cleans up after a failure.
// Returns the run's result: 1, or the failure's code; kErrDataFolderBusy when another run owns
// the folder's files, kErrFileIsLink when one of them is a symbolic link, and a file code
// (kErrDiskFull, kErrDiskReadOnly, ...) when the folder cannot take the files a broken run would
// need: then the flash has not been touched.
int32_t RunUpdate(UpdateContext& context);

// The sequence itself. 1; kErrNothingListening (no connection); kErrCancelled (by the user);
// kErrLoaderHandshake (the loader could not be reached); kErrNoLoader (no working loader);
// kErrNotSupported; kErrWrongDevice; kErrBatteryLow; or the failing step's own code.
int32_t UpdateInstrument(UpdateContext& context);

// The digital-sensor updater's sequence: the sensor behind a FieldPal (version 1.23 or later,
// hardware revision 'B' or later) or an AQUEL communication device, reached through the reader's
// relay. 1; kErrNothingListening; kErrCancelled; kErrFirmwareCorrupt (the new firmware's
// self-test); kErrLoaderHandshake; kErrNoLoader; kErrNotSupported (a reader that cannot relay a
// loader); kErrWrongDevice (no reader); kErrBatteryLow; or the failing step's own code. A sensor
// found in its loader (a run cut off) is programmed at once and gets the settings file's settings
// back.
int32_t UpdateSensor(UpdateContext& context);

// The digital-sensor updater's cleanup after a failure: the reader back to its command line
// ("`"), the borrowed port returned to the reader.
void EndSensorRelay(UpdateContext& context);
