// The firmware image the updater carries: loader/builtin_image.txt, converted to image text at
// build time (the generated source defines everything declared here).
#pragma once

#include <cstdint>

#include "loader/bsl_host.h"

extern const char kBuiltinImageText[];
extern const uint32_t kBuiltinImageVectors[kVectorCount];

// The two check values of the image text: its length in characters and the sum of its character
// codes. The build refuses an image that misses them; the loader context checks its copy again.
extern const uint32_t kBuiltinImageLength;
extern const uint64_t kBuiltinImageCharSum;

constexpr char kBuiltinImageName[] = "QRN 2.00 C";
constexpr uint8_t kBuiltinImageType = 14;  // the FieldPal hand-held reader

// 1 when `text` has the built-in image's length and character sum, -101 otherwise.
int32_t CheckBuiltinImageText(const char* text);
