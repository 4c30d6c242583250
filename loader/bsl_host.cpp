#include "loader/bsl_host.h"

#include <cstring>
#include <new>

#include "link/result.h"
#include "loader/builtin_image.h"
#include "loader/ti_text.h"

int32_t CheckBuiltinImageText(const char* text) {
  if (!text) return kErrImageDamaged;
  const size_t length = std::strlen(text);
  if (length != kBuiltinImageLength) return kErrImageDamaged;
  if (ImageTextCharSum(text, kBuiltinImageLength) != kBuiltinImageCharSum) return kErrImageDamaged;
  return kResultOk;
}

VexaBSLHost::VexaBSLHost(VexaLog* logTo, CatalogueKeyLookup keyLookup)
    : log(logTo), typeOfKey(keyLookup) {
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
  const size_t length = strnlen(kBuiltinImageText, kBuiltinImageLength + 1);
  image.text = new (std::nothrow) char[length + 1];
  if (!image.text) {
    image.status = kErrOutOfMemory;
    return;
  }
  std::memcpy(image.text, kBuiltinImageText, length);
  image.text[length] = '\0';
  image.length = static_cast<uint32_t>(length);  // the copy's own length, even when damaged
  std::memcpy(image.vectors, kBuiltinImageVectors, sizeof image.vectors);
  std::memcpy(image.name, kBuiltinImageName, sizeof kBuiltinImageName);
  image.type = kBuiltinImageType;
  image.version = 0;
  image.fromFile = false;
  image.status = CheckBuiltinImageText(image.text) == kResultOk ? 0 : kErrImageDamaged;
}

VexaBSLHost::~VexaBSLHost() {
  if (portOpen) DSClose(&port);
  delete[] commandBuffer;
  delete[] blockBuffer;
  delete[] image.text;
}
