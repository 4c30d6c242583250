#include "loader/bsl_host.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "link/result.h"
#include "loader/builtin_image.h"
#include "loader/ti_text.h"

const BuiltinImage kFieldPalImage = {kBuiltinImageText,   kBuiltinImageVectors,
                                     kBuiltinImageLength, kBuiltinImageCharSum,
                                     kBuiltinImageName,   kBuiltinImageType};

int32_t CheckImageText(const BuiltinImage& builtin, const char* text) {
  if (!text) return kErrImageDamaged;
  const size_t length = std::strlen(text);
  if (length != builtin.length) return kErrImageDamaged;
  if (ImageTextCharSum(text, builtin.length) != builtin.charSum) return kErrImageDamaged;
  return kResultOk;
}

int32_t CheckBuiltinImageText(const char* text) {
  return CheckImageText(kFieldPalImage, text);
}

VexaBSLHost::VexaBSLHost(VexaLog* logTo, CatalogueKeyLookup keyLookup,
                         const BuiltinImage* builtinImage)
    : log(logTo), typeOfKey(keyLookup) {
  const BuiltinImage& builtin = builtinImage ? *builtinImage : kFieldPalImage;
  port.log = logTo;
  for (uint32_t& word : image.vectors) word = 0xFFFF;

  commandBuffer = new (std::nothrow) char[kFrameBufferSize];
  blockBuffer = new (std::nothrow) char[kFrameBufferSize];
  if (!commandBuffer || !blockBuffer) {
    image.status = kErrOutOfMemory;
    return;
  }

  // The image is used from an owned copy, checked after copying, so that a damaged program file
  // is noticed before anything reaches an instrument. strnlen keeps a short embedded text from
  // being read past its end.
  const size_t length = strnlen(builtin.text, builtin.length + 1);
  image.text = new (std::nothrow) char[length + 1];
  if (!image.text) {
    image.status = kErrOutOfMemory;
    return;
  }
  std::memcpy(image.text, builtin.text, length);
  image.text[length] = '\0';
  image.length = static_cast<uint32_t>(length);  // the copy's own length, even when damaged
  std::memcpy(image.vectors, builtin.vectors, sizeof image.vectors);
  std::snprintf(image.name, sizeof image.name, "%s", builtin.name);
  image.type = builtin.type;
  image.version = 0;
  image.fromFile = false;
  image.status = CheckImageText(builtin, image.text) == kResultOk ? 0 : kErrImageDamaged;
}

VexaBSLHost::~VexaBSLHost() {
  if (portOpen) DSClose(&port);
  delete[] commandBuffer;
  delete[] blockBuffer;
  delete[] image.text;
}
