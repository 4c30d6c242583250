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

// 1 when `text` has the built-in image's length and character sum, kErrImageDamaged otherwise.
int32_t CheckBuiltinImageText(const char* text);

// A built-in image as a record, so that a program can carry another product's image: the image
// text, its vectors, its two check values, its name and the catalogue type it is for.
struct BuiltinImage {
  const char* text;
  const uint32_t* vectors;
  uint32_t length;
  uint64_t charSum;
  const char* name;
  uint8_t type;
};

// The FieldPal's image above, as a record.
extern const BuiltinImage kFieldPalImage;
// The digital sensor's (catalogue type 10), loader/sensor_image.txt, in the library
// vexa_sensor_image.
extern const BuiltinImage kSensorImage;

// 1 when `text` has the record's length and character sum, kErrImageDamaged otherwise.
int32_t CheckImageText(const BuiltinImage& image, const char* text);
