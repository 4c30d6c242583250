// The record sets of the lab instruments: the "user" rows and the "eqn" equations, fetched one by
// one over the command line ("get -user 3"), put back in name order after the instrument's own
// set was emptied ("reset -users"), and named for sorting (an equation by its first word, a user
// row, base64 of a tab-separated line, by its fourth field).
#pragma once

#include <cstdint>

#include "session/session_context.h"

// Asks the instrument how many records it has ("get -user") and fetches each. 1; 0 the
// instrument has none; kErrBadArgument (another record type); kErrOutOfMemory; kErrPartlyDone
// (the list ended early: a silence or an unreadable answer after the first record, or fewer
// records than the instrument reported); or the first record's failure.
int32_t GetRecords_Serial(SessionContext* session, int type);

// Sorts the set by name and writes each record ("set -user 0 TEXT"). 1; 0 an empty set;
// kErrBadArgument (another record type); kErrPartlyDone (some records were not accepted, the
// others were written).
int32_t SetRecords_Serial(SessionContext* session, int type);

// Sorts the set by name (upper-cased, at most 32 characters; equal names end up in the opposite
// order to their arrival). 1, kErrMissingArgument (no records), kErrBadArgument (another record
// type).
int32_t AlphabetizeRecords(SessionContext* session, int type);

// Fills each record's name from its data. 1, kErrMissingArgument (no records), kErrBadArgument
// (another record type).
int32_t ExtractNames(SessionContext* session, int type);

// Sends a reset ("reset -users\r", "reset -eqn\r"): up to three tries until "OK"; "reset -users"
// takes the first answer. 1, or the transaction's result.
int32_t ResetRecords(SessionContext* session, const char* command);
