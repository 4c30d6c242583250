// libFuzzer target for what BSLLoadTIFile does with a file's bytes: the TI-Text conversion and the
// naming of the image after its file name. Any input must give 1 or -100, never a crash, a leak
// or a read outside the input; a converted image must be well-formed image text, and an accepted
// file must hold nothing but hex digits, blanks and line ends outside its address lines (a
// damaged character that were skipped would shift every later digit into another byte).
//
// Build and run with tools/fuzz. A finding is kept in tests/fuzz/corpus/, which the normal tests
// (loader_image_tests) convert on every run.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/result.h"
#include "loader/firmware_image.h"
#include "loader/image_fit.h"
#include "loader/ti_text.h"
#include "session/catalogue.h"

namespace {

bool IsUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}
bool IsHex(char c) {
  return IsUpperHex(c) || (c >= 'a' && c <= 'f');
}

// "@" + five upper-case hex digits, then whole words of hex digits, section after section.
bool IsImageText(const char* text, uint32_t length) {
  if (std::strlen(text) != length) return false;
  uint32_t i = 0;
  while (i < length) {
    if (text[i] != '@' || length - i < kSectionHeaderLength) return false;
    for (uint32_t k = 1; k < kSectionHeaderLength; ++k) {
      if (!IsUpperHex(text[i + k])) return false;
    }
    i += kSectionHeaderLength;
    uint32_t digits = 0;
    for (; i < length && text[i] != '@'; ++i, ++digits) {
      if (!IsHex(text[i])) return false;
    }
    if (digits % 4 != 0) return false;
  }
  return true;
}

// What the converter read of an accepted file - everything before the first NUL and the first
// 'q' - apart from the address lines ('@' up to the line feed): only hex digits, blanks and line
// ends.
bool HoldsOnlyDataCharacters(const char* input, size_t size) {
  bool addressLine = false;
  for (size_t i = 0; i < size && input[i] != '\0' && input[i] != 'q'; ++i) {
    const char c = input[i];
    if (c == '@') addressLine = true;
    if (addressLine) {
      if (c == '\n') addressLine = false;
      continue;
    }
    if (!IsHex(c) && c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* input = reinterpret_cast<const char*>(data);

  char* text = nullptr;
  uint32_t length = 0;
  uint32_t vectors[kVectorCount];
  const int32_t result = ConvertTiText(input, size, &text, &length, vectors);
  if (result == kResultOk) {
    if (!text || !IsImageText(text, length)) std::abort();
    if (!HoldsOnlyDataCharacters(input, size)) std::abort();
    // The memory map check takes whatever image text the converter makes (the FieldPal's map).
    const LoaderMemoryMap fieldPal = {0x2100, 0x1FF00, 0x1000, 3, 0x40};
    const ImageFit fit = CheckImageFit(text, length, vectors, fieldPal);
    if (fit.fault != ImageFitFault::kNone && ImageFitResult(fit.fault) >= 0) std::abort();
    delete[] text;
  } else if (result != kErrNotTiText || text) {
    std::abort();
  }

  // The same bytes as a file name.
  const std::string path(input, size < 300 ? size : 300);
  const ImageIdentity identity = IdentifyImageFile(path.c_str(), CatalogueTypeOfKey);
  if (std::strlen(identity.name) > kImageNameSize || identity.version < 0 ||
      identity.type >= kCatalogueTypeCount) {
    std::abort();
  }
  return 0;
}
