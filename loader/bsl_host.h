// The loader context: the computer's side of the instruments' resident bootstrap loader
// (VexaBSL), holding the one firmware image that the next update writes.
//
// firmware_image.h offers the image operations (TI-Text import, dump); bsl_protocol.h offers the
// wire protocol (connect, erase, write, vectors).
#pragma once

#include <cstdint>

#include "link/log.h"
#include "link/serial_port.h"

constexpr uint32_t kImageNameSize = 64;
constexpr uint32_t kVectorCount = 16;       // the words at 0xFFE0, 0xFFE2, ... 0xFFFE
constexpr uint32_t kFrameBufferSize = 544;  // a frame of up to 512 payload characters

struct BuiltinImage;  // builtin_image.h

// Maps a catalogue key ("FP", "QD40") to its catalogue type, 0 when no key matches. The loader
// names images by their file name's key; the catalogue itself belongs to the session layer above,
// so the owner passes the lookup in.
using CatalogueKeyLookup = int (*)(const char* key);

// The firmware image: one compact "image text" of sections, each "@" + five upper-case hex
// address digits followed by the data as 16-bit words (four hex digits each, high byte first),
// and the 16 interrupt vector words kept beside it.
struct FirmwareImage {
  char* text = nullptr;            // owned, zero-terminated
  uint32_t length = 0;             // characters of image text
  uint32_t vectors[kVectorCount];  // 0xFFFF means unset
  char name[kImageNameSize + 1] = {};
  int32_t version = 0;  // derived from a loaded file's name
  uint8_t type = 0;     // catalogue type the image is for, 0 when unknown
  bool fromFile = false;
  int32_t status = 0;  // 0, kErrOutOfMemory, kErrImageDamaged (the built-in image)
};

// Loader progress: called with (total, done, phase 1 working / 2 finished, kind 'X' erase or
// 'W' write); the erase counts flash segments, the write the image's bytes. Return false to
// cancel (the operation then fails with kErrCancelled).
using LoaderProgressHook = bool (*)(void* context, uint32_t total, uint32_t done, int phase,
                                    char kind);

class VexaBSLHost {
 public:
  // Copies and checks the built-in image (the FieldPal's unless another is given); the outcome
  // is in image.status.
  explicit VexaBSLHost(VexaLog* log, CatalogueKeyLookup typeOfKey = nullptr,
                       const BuiltinImage* builtin = nullptr);
  ~VexaBSLHost();
  VexaBSLHost(const VexaBSLHost&) = delete;
  VexaBSLHost& operator=(const VexaBSLHost&) = delete;

  SerialPort port;            // starts closed, with no read buffer
  int32_t loaderVersion = 0;  // as reported to BSLConnect
  FirmwareImage image;
  VexaLog* log = nullptr;
  CatalogueKeyLookup typeOfKey = nullptr;
  bool portOpen = false;  // opened by BSLConnect/BSLCheck, or lent by BSLHandOff
  bool progress = false;  // call the progress hook during erase and write
  uint32_t tries = 3;
  LoaderProgressHook progressHook = nullptr;
  void* progressContext = nullptr;
  char* commandBuffer = nullptr;  // owned, kFrameBufferSize bytes: the frame being sent
  char* blockBuffer = nullptr;    // owned, kFrameBufferSize bytes: a block or an address text
};
