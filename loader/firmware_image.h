// The loader's firmware image: loading a TI-Text file into it, dumping it to a text listing, and
// naming an image after its file.
#pragma once

#include <cstdint>

#include "loader/bsl_host.h"
#include "loader/image_fit.h"

// Replaces the loader's image by the contents of a TI-Text file. Returns 1; kErrNotTiText when the
// file is not valid TI-Text (also when it is larger than any image can be); kErrOutOfMemory;
// kErrMissingArgument without a loader or a path; when the file cannot be opened or read,
// kErrFileMissing, kErrFileDenied, kErrIsFolder, or kErrFileReadFailed for any other failure
// (FileErrorCode). With `fitsInto`, the image must also fit that memory map (CheckImageFit):
// kErrImageOutsideMemory, kErrImageOverlaps, kErrImageNoCode, kErrImageNoResetVector, each
// logged with its details.
// On any failure the image, its vectors and its name stay as they were.
int32_t BSLLoadTIFile(VexaBSLHost* loader, const char* path,
                      const LoaderMemoryMap* fitsInto = nullptr);

// Writes the image and its vectors as a word-oriented listing (not TI-Text): each section as a
// line "@" + five address digits, then its data in lines of at most 32 characters, then the line
// "@FFE0" and the 16 vector words as two lines of eight. Returns 1, kErrMissingArgument without
// a loader or a path, or when the file cannot be created or written kErrFileMissing (no such
// folder), kErrFileDenied, kErrIsFolder, kErrDiskFull, or kErrFileWriteFailed for any other
// failure (FileErrorCode).
int32_t BSLWriteTIFile(VexaBSLHost* loader, const char* path);

// What a loaded image is called, derived from its file name.
struct ImageIdentity {
  char name[kImageNameSize + 1] = {};  // display name, e.g. "FP 2.05" for "FP 2-05.txt"
  uint8_t type = 0;                    // catalogue type of the name's key, 0 when none
  int32_t version = 0;                 // e.g. 205 for "FP 2-05.txt", 0 when the name has none
};

// The name is the file name without its folder ('/' or '\\' separated), at most 64 characters,
// cut at its first ".txt". Its first word (up to a space, '-' or '_'), in upper case, is looked
// up with `typeOfKey` (null: type 0). The version is the digits after the first space or '-'
// (at most 11; a value beyond 32 bits saturates). A last '-' between two digits shows as '.'.
ImageIdentity IdentifyImageFile(const char* path, CatalogueKeyLookup typeOfKey);
