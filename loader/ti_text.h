// TI-Text, the plain hex format of the MSP430 tool chain, and the compact image text the loader
// keeps. A TI-Text file is lines of "@address" and lines of hex bytes, ended by "q":
//
//   @2400            ->  image text "@02400" "0201" "FF03"
//   01 02 03             (16-bit words, high byte first, an odd byte padded with FF)
//   @FFE0            ->  the 16 interrupt vector words, kept beside the text
//   00 24 ...
//   q
//
// The converter works on a buffer and knows nothing of files or logs, so the loader, the build
// step that embeds the built-in image and the fuzzer all run the same code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loader/bsl_host.h"

// Larger inputs are refused before any work: a TI-Text file of the whole 20-bit address space
// (1 MiB of bytes, three characters each) stays far below this.
constexpr size_t kMaxTiTextSize = size_t{16} << 20;

// The highest address the image text can hold ("@%05X" keeps five digits).
constexpr uint32_t kMaxImageAddress = 0xFFFFF;

// An image text section header: "@" and five upper-case hex address digits.
constexpr uint32_t kSectionHeaderLength = 6;

constexpr uint32_t kVectorBase = 0xFFE0;
constexpr uint32_t kUnsetVector = 0xFFFF;

// Why a conversion failed; every fault is kErrNotTiText for the caller.
enum class TiTextFault {
  kNone,
  kNotTiText,     // does not start with '@', or holds no 'q'
  kTooLarge,      // more than kMaxTiTextSize bytes
  kBadAddress,    // no hex address after '@', or one above kMaxImageAddress
  kNoLineFeed,    // a section without a line feed after its address
  kBadCharacter,  // data holding something other than hex digits, blanks and line ends
  kDanglingVectorDigits,
  kTooManyVectors,  // a vector section running past the 16 entries
  kNoVectorSection,
};

// Converts input[0, size) (the text ends at the first NUL byte, if any; everything from the first
// 'q' on is ignored). Data lines may hold only hex digits, blanks and line ends; the rest of an
// address line after its address is not looked at. On success returns 1 and hands over *text: a
// new[] array, zero-terminated, *length characters; `vectors` gets the 16 vector words
// (kUnsetVector where the file gives none). Returns kErrNotTiText for input that is not valid
// TI-Text (`fault` tells why, when given) or kErrOutOfMemory; on failure nothing is handed over
// and `vectors` is untouched.
int32_t ConvertTiText(const char* input, size_t size, char** text, uint32_t* length,
                      uint32_t vectors[kVectorCount], TiTextFault* fault = nullptr);

// One section of an image text: its address and where its data characters are.
struct ImageSection {
  uint32_t address = 0;
  uint32_t dataOffset = 0;  // index of the first data character in the text
  uint32_t dataLength = 0;  // data characters, four per 16-bit word
};

// Walks the sections of an image text: starts at *offset (0 for the first section), fills
// `section` and moves *offset to the next one. False at the end of the text or where the text is
// not a section header ("@" and five hex digits).
bool NextImageSection(const char* text, uint32_t length, uint32_t* offset, ImageSection* section);

// The sum of the character codes, one of the two check values of an image text.
uint64_t ImageTextCharSum(const char* text, uint32_t length);
