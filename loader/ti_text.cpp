#include "loader/ti_text.h"

#include <cstring>
#include <new>

#include "link/result.h"

namespace {

// Sections in this range hold data that the loader never writes (the instrument's own settings
// area), so they are left out of the image.
constexpr uint32_t kSkippedFirst = 0xFA00;
constexpr uint32_t kSkippedLast = 0xFDFE;
constexpr uint32_t kVectorLast = 0xFFFE;

constexpr uint32_t kAddressDigits = kSectionHeaderLength - 1;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Between the hex digits of a data line only blanks and line ends may stand. Anything else is a
// damaged file: skipping it would shift every later digit by one nibble and the instrument would
// be programmed with garbage.
bool IsDataSeparator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where the image text goes. The conversion runs twice over the same input: first without
// storage to validate and measure, then into a buffer of exactly that size.
struct Sink {
  char* out = nullptr;  // null while measuring
  size_t used = 0;

  void Put(char c) {
    if (out) out[used] = c;
    ++used;
  }
};

void PutHeader(Sink* sink, uint32_t address) {
  static const char kDigits[] = "0123456789ABCDEF";
  sink->Put('@');
  for (int shift = 4 * (kAddressDigits - 1); shift >= 0; shift -= 4) {
    sink->Put(kDigits[(address >> shift) & 0xF]);
  }
}

// A 16-bit word in the file's byte order (LL HH) enters the image text high byte first (HH LL).
// The digits keep the case the file wrote them in.
void PutSwappedWord(Sink* sink, const char digits[4]) {
  sink->Put(digits[2]);
  sink->Put(digits[3]);
  sink->Put(digits[0]);
  sink->Put(digits[1]);
}

// Reads the address after '@': optional blanks, an optional 0x, then hex digits. Stops at the
// first other character; the rest of the address line is not looked at.
bool ParseAddress(const char* cursor, const char* end, uint32_t* address, const char** after) {
  while (cursor < end && (*cursor == ' ' || *cursor == '\t')) ++cursor;
  if (end - cursor > 2 && cursor[0] == '0' && (cursor[1] == 'x' || cursor[1] == 'X') &&
      HexValue(cursor[2]) >= 0) {
    cursor += 2;
  }
  uint32_t value = 0;
  const char* const first = cursor;
  for (; cursor < end && HexValue(*cursor) >= 0; ++cursor) {
    value = value * 16 + static_cast<uint32_t>(HexValue(*cursor));
    if (value > kMaxImageAddress) return false;  // also keeps the sum from overflowing
  }
  if (cursor == first) return false;
  *address = value;
  *after = cursor;
  return true;
}

// Data sections: every four hex digits become one word; blanks and line ends between them are
// skipped. One to three digits left at the end are padded with F.
TiTextFault ConvertData(const char* data, const char* end, Sink* sink) {
  char digits[4];
  int count = 0;
  for (const char* cursor = data; cursor < end; ++cursor) {
    if (HexValue(*cursor) < 0) {
      if (!IsDataSeparator(*cursor)) return TiTextFault::kBadCharacter;
      continue;
    }
    digits[count++] = *cursor;
    if (count == 4) {
      PutSwappedWord(sink, digits);
      count = 0;
    }
  }
  if (count > 0) {
    while (count < 4) digits[count++] = 'F';
    PutSwappedWord(sink, digits);
  }
  return TiTextFault::kNone;
}

TiTextFault ConvertVectors(const char* data, const char* end, uint32_t address,
                           uint32_t vectors[kVectorCount]) {
  uint32_t entry = (address - kVectorBase) / 2;
  int digits[4];
  int count = 0;
  for (const char* cursor = data; cursor < end; ++cursor) {
    const int value = HexValue(*cursor);
    if (value < 0) {
      if (!IsDataSeparator(*cursor)) return TiTextFault::kBadCharacter;
      continue;
    }
    digits[count++] = value;
    if (count == 4) {
      if (entry >= kVectorCount) return TiTextFault::kTooManyVectors;
      vectors[entry++] =
          static_cast<uint32_t>(digits[2] << 12 | digits[3] << 8 | digits[0] << 4 | digits[1]);
      count = 0;
    }
  }
  return count == 0 ? TiTextFault::kNone : TiTextFault::kDanglingVectorDigits;
}

// One pass over the sections in input[0, stop): input[0] is '@' and stop is the first 'q'.
TiTextFault ConvertSections(const char* input, const char* stop, Sink* sink,
                            uint32_t vectors[kVectorCount]) {
  bool sawVectors = false;
  const char* at = input;
  while (at < stop) {
    const char* next = static_cast<const char*>(std::memchr(at + 1, '@', stop - (at + 1)));
    if (!next) next = stop;

    uint32_t address = 0;
    const char* afterAddress = nullptr;
    if (!ParseAddress(at + 1, next, &address, &afterAddress)) return TiTextFault::kBadAddress;
    const char* lineFeed =
        static_cast<const char*>(std::memchr(afterAddress, '\n', next - afterAddress));
    if (!lineFeed) return TiTextFault::kNoLineFeed;
    const char* data = lineFeed + 1;

    if (address >= kVectorBase && address <= kVectorLast) {
      sawVectors = true;
      const TiTextFault fault = ConvertVectors(data, next, address, vectors);
      if (fault != TiTextFault::kNone) return fault;
    } else {
      // A dropped section is read all the same: a damaged one means a damaged file.
      Sink dropped;
      const bool kept = address < kSkippedFirst || address > kSkippedLast;
      if (kept) PutHeader(sink, address);
      const TiTextFault fault = ConvertData(data, next, kept ? sink : &dropped);
      if (fault != TiTextFault::kNone) return fault;
    }
    at = next;
  }
  return sawVectors ? TiTextFault::kNone : TiTextFault::kNoVectorSection;
}

}  // namespace

int32_t ConvertTiText(const char* input, size_t size, char** text, uint32_t* length,
                      uint32_t vectors[kVectorCount], TiTextFault* fault) {
  TiTextFault ignored;
  if (!fault) fault = &ignored;
  *fault = TiTextFault::kNone;
  if (!input || !text || !length || !vectors) return kErrMissingArgument;

  if (size > kMaxTiTextSize) {
    *fault = TiTextFault::kTooLarge;
    return kErrNotTiText;
  }
  // The text ends at a NUL byte: what follows one is never looked at.
  if (const void* nul = std::memchr(input, '\0', size)) {
    size = static_cast<const char*>(nul) - input;
  }
  const char* stop = size > 0 ? static_cast<const char*>(std::memchr(input, 'q', size)) : nullptr;
  if (size == 0 || input[0] != '@' || !stop) {
    *fault = TiTextFault::kNotTiText;
    return kErrNotTiText;
  }

  uint32_t found[kVectorCount];
  for (uint32_t& word : found) word = kUnsetVector;
  Sink measure;
  *fault = ConvertSections(input, stop, &measure, found);
  if (*fault != TiTextFault::kNone) return kErrNotTiText;

  Sink fill;
  fill.out = new (std::nothrow) char[measure.used + 1];
  if (!fill.out) return kErrOutOfMemory;
  ConvertSections(input, stop, &fill, found);
  fill.out[fill.used] = '\0';

  *text = fill.out;
  *length = static_cast<uint32_t>(fill.used);
  std::memcpy(vectors, found, sizeof found);
  return kResultOk;
}

bool NextImageSection(const char* text, uint32_t length, uint32_t* offset, ImageSection* section) {
  if (!text || !offset || !section || *offset >= length) return false;
  const uint32_t start = *offset;
  if (length - start < kSectionHeaderLength || text[start] != '@') return false;

  uint32_t address = 0;
  for (uint32_t i = 1; i <= kAddressDigits; ++i) {
    const int value = HexValue(text[start + i]);
    if (value < 0) return false;
    address = address * 16 + static_cast<uint32_t>(value);
  }
  const uint32_t dataOffset = start + kSectionHeaderLength;
  const void* next = std::memchr(text + dataOffset, '@', length - dataOffset);
  const uint32_t end = next ? static_cast<uint32_t>(static_cast<const char*>(next) - text) : length;

  section->address = address;
  section->dataOffset = dataOffset;
  section->dataLength = end - dataOffset;
  *offset = end;
  return true;
}

uint64_t ImageTextCharSum(const char* text, uint32_t length) {
  uint64_t sum = 0;
  if (!text) return 0;
  for (uint32_t i = 0; i < length; ++i) sum += static_cast<unsigned char>(text[i]);
  return sum;
}
