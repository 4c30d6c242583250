// The wire protocol of the instruments' resident bootstrap loader (VexaBSL): start it from the
// instrument's command line, connect, erase, write the image in 256-byte blocks, write the
// vectors. Every exchange is retried `tries` times with fixed pauses; every outcome is logged with
// the tag "VexaBSL".
//
// An instrument update runs BSLConnect, BSLEraseINFO, BSLEraseFlash, BSLSendFirmware,
// BSLSendVectors, BSLDisconnect. A sensor behind a reader borrows the reader's open port:
// BSLHandOff, BSLCheck, BSLAttach, the same erase and write steps, BSLHandBack.
#pragma once

#include <cstdint>

#include "loader/bsl_host.h"

constexpr uint32_t kMaxPayload = 512;  // characters of one frame's payload
constexpr uint32_t kMaxValues = 128;   // values of one frame
constexpr uint32_t kAnswerSize = 21;   // an exchange reads at most 20 answer bytes

// Frame checksum: 46 (the period) plus the character codes of the letter and the payload,
// modulo 65535.
uint32_t BSLFrameChecksum(char letter, const char* payload, uint32_t length);

// One exchange: sends letter + payload + ".XXXX\r", waits up to 1 s for `awaited` and reads the
// answer (zero-terminated, at least kAnswerSize bytes). Returns the answer's byte count when the
// loader accepted ("+" first, or second), kErrLoaderRejected when it answered "-" or "?" or
// nothing usable, kErrNoAnswer without an answer (or without an open port), kErrMissingArgument
// or kErrBadArgument for missing or oversized arguments.
int32_t BSLCommand(VexaBSLHost* host, char letter, const char* payload, uint32_t length,
                   char awaited, char* answer, uint32_t* elapsedMs);
// The same with a payload of values, each "%04X" (or "%05X" with extended addressing).
int32_t BSLCommandValues(VexaBSLHost* host, char letter, const uint32_t* values, uint32_t count,
                         char awaited, char* answer, uint32_t* elapsedMs, bool extended);

// Opens the port at 9600, starts the loader and connects at `loaderBaud`, then asks the loader
// version. Finds a loader left running, or waiting after a power loss, by an earlier run.
// Returns the loader version (> 0) or a negative code.
int32_t BSLConnect(VexaBSLHost* host, const char* portName, uint32_t loaderBaud, bool progress,
                   uint32_t tries);
// Closes the port if this context holds it; the close result, or 0.
int32_t BSLDisconnect(VexaBSLHost* host);

// Sends the boot command at 9600 and connects to the loader at `loaderBaud`: 1 when the loader
// was started or found running.
int32_t BSLInvocation(VexaBSLHost* host, uint32_t loaderBaud);
// Looks for a loader on the port (opening it at `loaderBaud` if needed): kErrLoaderRunning,
// kErrLoaderWaiting (waiting for a connection), kErrNoAnswer, or an open error. The port stays
// open.
int32_t BSLCheck(VexaBSLHost* host, const char* portName, uint32_t loaderBaud);
// Connects to a sensor's loader reached through a reader: 1 when connected or already connected.
int32_t BSLAttach(VexaBSLHost* host);

// Borrows an open port (and its read buffer) from the device context; tries 0 means 3.
int32_t BSLHandOff(VexaBSLHost* host, int handle, char* readBuffer, const char* name, bool progress,
                   uint32_t tries);
// Forgets the borrowed port without closing it.
int32_t BSLHandBack(VexaBSLHost* host);

int32_t BSLSendAddress(VexaBSLHost* host, uint32_t address, bool extended);
int32_t BSLSendFirmware(VexaBSLHost* host, bool extended);
int32_t BSLSendVectors(VexaBSLHost* host);
int32_t BSLEraseINFO(VexaBSLHost* host, uint32_t start, uint32_t count, uint32_t step,
                     bool extended);
// Erases [start, end) in 512-byte segments, skipping the loader's own area 0xFA00-0xFFFF.
// 0 for an empty range.
int32_t BSLEraseFlash(VexaBSLHost* host, uint32_t start, uint32_t end, bool extended);
