// Whether a firmware image fits the instrument family it is written into. The update erases the
// flash before it writes a single block, so an image that cannot be written completely must be
// refused while the instrument still runs its old firmware: afterwards it would be left in its
// loader with nothing to start.
#pragma once

#include <cstdint>

#include "loader/bsl_host.h"

// The part of a family's memory map that the loader erases and writes (the catalogue's columns;
// the session layer above fills it, the loader layer does not know the catalogue).
struct LoaderMemoryMap {
  uint32_t flashStart = 0;  // main flash: BSLEraseFlash's start ...
  uint32_t flashEnd = 0;    // ... and end (the segments of the addresses below it)
  uint32_t infoStart = 0;   // information memory: what BSLEraseINFO erases
  uint32_t infoSegments = 0;
  uint32_t infoStep = 0;  // bytes per information segment
};

// The loader's own code, which it never erases or overwrites, lies below the vector segment; the
// vector segment (erased by the loader together with the first main-flash segment) ends with the
// 16 vector words that BSLSendVectors writes.
constexpr uint32_t kLoaderCodeFirst = 0xFA00;
constexpr uint32_t kVectorSegmentFirst = 0xFE00;
constexpr uint32_t kVectorSegmentEnd = 0x10000;  // one past its last byte
constexpr uint32_t kResetVectorEntry = 15;       // the word at 0xFFFE

enum class ImageFitFault {
  kNone,
  kOutsideMemory,  // a section outside the information memory, the main flash and the vector
                   // segment, or over the loader's code or the vector words
  kOverlap,        // two sections share bytes
  kNoCode,         // no section holds a byte (a file of vectors only)
  kNoResetVector,  // the reset vector is unset: the instrument could never start the image
};

struct ImageFit {
  ImageFitFault fault = ImageFitFault::kNone;
  uint32_t first = 0;  // the section at fault: its first byte's address ...
  uint32_t end = 0;    // ... and one past its last byte
  uint32_t other = 0;  // kOverlap: the first byte of the section it overlaps
};

// Checks an image text and its vectors against `map`: every section must lie in memory that the
// update erases first (the information memory, the main flash segments BSLEraseFlash erases, the
// vector segment below the vector words), no two sections may share a byte, some section must
// hold code and the reset vector must be set. A section holds what the loader writes: its data
// characters / 2 bytes from its address, an odd section's FF padding included. The first fault
// found is returned.
ImageFit CheckImageFit(const char* text, uint32_t length, const uint32_t vectors[kVectorCount],
                       const LoaderMemoryMap& map);

// The result code of a fault: 1 for kNone; kErrImageOutsideMemory, kErrImageOverlaps,
// kErrImageNoCode, kErrImageNoResetVector.
int32_t ImageFitResult(ImageFitFault fault);
