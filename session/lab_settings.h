// Saving and restoring a lab instrument (and the hand-held reader) item by item over its command
// line: GetInstInfo reads the items of a mask into the lab block, SetInstInfo writes them back,
// one item a pass in a fixed priority, so a failed item does not stop the others.
#pragma once

#include <cstdint>

#include "session/session_context.h"

// Reads the items of `mask` (lab bits) into the lab block and sets the presence bits of those it
// obtained. 1; 0 for an empty mask (nothing sent); kErrPartlyDone (some items failed);
// kErrNoAnswer or kErrEchoed (the instrument stopped answering or echoes: the passes stop);
// kErrUninitialised (the serial number stayed unreadable); or the last item's failure. The failed
// items are left in session->failedMask.
int32_t GetInstInfo(SessionContext* session, uint32_t mask);

// Writes the items of `mask` back. 1; 0 for an empty mask; kErrPartlyDone (some items failed);
// kErrNoAnswer, kErrEchoed or kErrRelayEchoes (the passes stopped); kErrUnreadableAnswer (the
// mask holds an item that is never written back: the interval); or the last item's failure. The
// failed items are left in session->failedMask.
int32_t SetInstInfo(SessionContext* session, uint32_t mask);
