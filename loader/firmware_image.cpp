#include "loader/firmware_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "link/clock.h"
#include "link/result.h"
#include "loader/ti_text.h"

namespace {

constexpr const char* kTag = "VexaBSL";

// The listing's data lines hold this many image text characters (eight words).
constexpr uint32_t kDumpLineLength = 32;

// Read size for files whose size is not known up front (pipes, devices).
constexpr size_t kReadChunk = size_t{64} << 10;

constexpr int kMaxVersionDigits = 11;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

struct FdCloser {
  int fd;
  ~FdCloser() { close(fd); }
};

struct FileBytes {
  std::unique_ptr<char[]> data;
  size_t size = 0;
};

// Reads the whole file. Returns 1; kErrNotTiText when it holds more than kMaxTiTextSize bytes
// (checked before reading for regular files, so a huge file costs nothing); kErrOutOfMemory; or
// the negated errno, which the caller logs and turns into a result code.
int32_t ReadWholeFile(const char* path, FileBytes* file) {
  // Opened without blocking, so that a FIFO without a writer is refused below instead of
  // holding the program until one comes; a device that has nothing to give fails its read.
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -errno;
  FdCloser closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0) return -errno;
  if (S_ISDIR(st.st_mode)) return -EISDIR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return -EINVAL;

  // One byte more than the limit is enough to tell that a file is too large.
  const size_t limit = kMaxTiTextSize + 1;
  size_t capacity = kReadChunk;
  if (S_ISREG(st.st_mode)) {
    if (static_cast<uint64_t>(st.st_size) > kMaxTiTextSize) return kErrNotTiText;
    capacity = static_cast<size_t>(st.st_size) + 1;  // + 1 sees the end without a regrow
  }
  file->data.reset(new (std::nothrow) char[capacity]);
  if (!file->data) return kErrOutOfMemory;

  for (;;) {
    if (file->size == capacity) {
      if (capacity == limit) return kErrNotTiText;
      const size_t grown = std::min(capacity * 2, limit);
      std::unique_ptr<char[]> bigger(new (std::nothrow) char[grown]);
      if (!bigger) return kErrOutOfMemory;
      std::memcpy(bigger.get(), file->data.get(), file->size);
      file->data = std::move(bigger);
      capacity = grown;
    }
    const ssize_t got = read(fd, file->data.get() + file->size, capacity - file->size);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (got == 0) break;
    file->size += static_cast<size_t>(got);
  }
  return file->size > kMaxTiTextSize ? kErrNotTiText : kResultOk;
}

// Writes one listing; false (with errno set) when a write fails.
bool WriteListing(FILE* out, const FirmwareImage& image) {
  const char* text = image.text;
  const uint32_t length = text ? image.length : 0;
  uint32_t offset = 0;
  ImageSection section;
  while (NextImageSection(text, length, &offset, &section)) {
    // The header keeps the address digits as the text has them.
    std::fwrite(text + section.dataOffset - kSectionHeaderLength, 1, kSectionHeaderLength, out);
    std::fputc('\n', out);
    // Every data line ends with a line feed, also a section's last, shorter one: the next
    // header always starts a line of its own.
    for (uint32_t done = 0; done < section.dataLength; done += kDumpLineLength) {
      const uint32_t count = std::min(kDumpLineLength, section.dataLength - done);
      std::fwrite(text + section.dataOffset + done, 1, count, out);
      std::fputc('\n', out);
    }
  }
  const uint32_t* v = image.vectors;
  std::fprintf(out, "@%X\n", kVectorBase);
  std::fprintf(out, "%04X%04X%04X%04X%04X%04X%04X%04X\n%04X%04X%04X%04X%04X%04X%04X%04X\n", v[0],
               v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13],
               v[14], v[15]);
  return std::fflush(out) == 0 && !std::ferror(out);
}

// Logs why an image does not fit its instrument, in the words of the error file.
void LogMisfit(VexaLog* log, const char* path, const ImageFit& fit, uint32_t start) {
  char why[96];
  switch (fit.fault) {
    case ImageFitFault::kOutsideMemory:
      std::snprintf(why, sizeof why, "section @%05X to %05X lies outside the flash", fit.first,
                    fit.end - 1);
      break;
    case ImageFitFault::kOverlap:
      std::snprintf(why, sizeof why, "sections @%05X and @%05X overlap", fit.other, fit.first);
      break;
    case ImageFitFault::kNoCode:
      std::snprintf(why, sizeof why, "it holds no code");
      break;
    default:
      std::snprintf(why, sizeof why, "its reset vector is unset");
      break;
  }
  LogMessage(log, vexa_log_level::kMilestone, kTag,
             "BSLLoadTIFile: file %s does not fit the instrument: %s (%d ms)", path, why,
             MsSince(start));
}

}  // namespace

int32_t BSLLoadTIFile(VexaBSLHost* loader, const char* path, const LoaderMemoryMap* fitsInto) {
  if (!loader || !path) return kErrMissingArgument;
  const uint32_t start = MsClock();

  FileBytes file;
  int32_t result = ReadWholeFile(path, &file);
  if (result == kErrNotTiText) {
    LogMessage(loader->log, vexa_log_level::kMilestone, kTag,
               "BSLLoadTIFile: file %s is not a valid TI-Text file (%d ms)", path, MsSince(start));
    return result;
  }
  if (result == kErrOutOfMemory) return result;
  if (result < 0) {
    // A file that opens but cannot be read (a directory, an I/O error) is reported like one
    // that cannot be opened.
    LogMessage(loader->log, vexa_log_level::kError, kTag,
               "BSLLoadTIFile got error %d trying to open datafile %s", -result, path);
    return FileErrorCode(-result, kErrFileReadFailed);
  }

  char* text = nullptr;
  uint32_t length = 0;
  uint32_t vectors[kVectorCount];
  TiTextFault fault = TiTextFault::kNone;
  result = ConvertTiText(file.data.get(), file.size, &text, &length, vectors, &fault);
  if (result == kErrNotTiText) {
    // Something that does not even look like TI-Text is refused quietly.
    if (fault != TiTextFault::kNotTiText) {
      LogMessage(loader->log, vexa_log_level::kMilestone, kTag,
                 "BSLLoadTIFile: file %s is not a valid TI-Text file (%d ms)", path,
                 MsSince(start));
    }
    return result;
  }
  if (result < 0) return result;
  if (fitsInto) {
    const ImageFit fit = CheckImageFit(text, length, vectors, *fitsInto);
    if (fit.fault != ImageFitFault::kNone) {
      delete[] text;
      LogMisfit(loader->log, path, fit, start);
      return ImageFitResult(fit.fault);
    }
  }

  FirmwareImage& image = loader->image;
  // The built-in image is an owned copy too, so the old text is always released.
  delete[] image.text;
  image.text = text;
  image.length = length;
  std::memcpy(image.vectors, vectors, sizeof vectors);
  image.fromFile = true;
  const ImageIdentity identity = IdentifyImageFile(path, loader->typeOfKey);
  std::memcpy(image.name, identity.name, sizeof image.name);
  image.type = identity.type;
  image.version = identity.version;

  LogMessage(loader->log, vexa_log_level::kMilestone, kTag, "BSLLoadTIFile loaded file %s (%d ms)",
             path, MsSince(start));
  return kResultOk;
}

int32_t BSLWriteTIFile(VexaBSLHost* loader, const char* path) {
  if (!loader || !path) return kErrMissingArgument;
  const uint32_t start = MsClock();

  FILE* out = std::fopen(path, "wb");
  if (!out) {
    const int error = errno;
    LogMessage(loader->log, vexa_log_level::kError, kTag,
               "BSLWriteTIFile got error %d trying to open datafile %s", error, path);
    return FileErrorCode(error, kErrFileWriteFailed);
  }
  errno = 0;
  bool written = WriteListing(out, loader->image);
  int error = errno;
  if (std::fclose(out) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    // A full disk must not pass for a complete listing.
    if (error == 0) error = EIO;
    LogMessage(loader->log, vexa_log_level::kError, kTag,
               "BSLWriteTIFile got error %d writing datafile %s", error, path);
    return FileErrorCode(error, kErrFileWriteFailed);
  }

  LogMessage(loader->log, vexa_log_level::kMilestone, kTag, "BSLWriteTIFile wrote file %s (%d ms)",
             path, MsSince(start));
  return kResultOk;
}

ImageIdentity IdentifyImageFile(const char* path, CatalogueKeyLookup typeOfKey) {
  ImageIdentity identity;
  if (!path) return identity;

  // Names written on Windows separate folders with '\\'; both separators count.
  const char* base = path;
  for (const char* cursor = path; *cursor; ++cursor) {
    if (*cursor == '/' || *cursor == '\\') base = cursor + 1;
  }
  char* name = identity.name;
  std::strncpy(name, base, kImageNameSize);
  name[kImageNameSize] = '\0';
  if (char* extension = std::strstr(name, ".txt")) *extension = '\0';

  char key[kImageNameSize + 1];
  size_t keyLength = 0;
  for (const char* cursor = name; *cursor && !std::strchr(" -_", *cursor); ++cursor) {
    const char c = *cursor;
    key[keyLength++] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  key[keyLength] = '\0';
  const int type = typeOfKey ? typeOfKey(key) : 0;
  identity.type = type > 0 && type <= UINT8_MAX ? static_cast<uint8_t>(type) : 0;

  if (const char* separator = std::strpbrk(name, " -")) {
    int64_t version = 0;
    int digits = 0;
    for (const char* cursor = separator + 1; *cursor && digits < kMaxVersionDigits; ++cursor) {
      if (!IsDigit(*cursor)) continue;
      version = version * 10 + (*cursor - '0');
      ++digits;
    }
    identity.version = static_cast<int32_t>(std::min<int64_t>(version, INT32_MAX));
  }

  char* dash = std::strrchr(name, '-');
  if (dash && dash > name && IsDigit(dash[-1]) && IsDigit(dash[1])) *dash = '.';
  return identity;
}
