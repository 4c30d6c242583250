#include "net/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace net {
namespace {

FileContent Failed(FileReading result, std::string message) {
  FileContent failed;
  failed.result = result;
  failed.message = std::move(message);
  return failed;
}

FileContent SystemError(const std::string& path, int error) {
  if (error == ENOENT || error == ENOTDIR) {
    return Failed(FileReading::kMissing, "cannot find the file " + path);
  }
  return Failed(FileReading::kUnreadable, path + ": " + std::strerror(error));
}

std::string TooLarge(const std::string& path, int64_t maxBytes) {
  return path + " is larger than " + std::to_string(maxBytes) + " bytes";
}

}  // namespace

FileContent ReadRegularFile(const std::string& path, int64_t maxBytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return SystemError(path, errno);
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};

  struct stat info {};
  if (fstat(fd, &info) != 0) return SystemError(path, errno);
  if (!S_ISREG(info.st_mode)) {
    return Failed(FileReading::kNotRegular, path + " is not a regular file");
  }
  if (info.st_size > maxBytes) return Failed(FileReading::kTooLarge, TooLarge(path, maxBytes));

  // The file may grow while it is read: one byte past the limit is enough to know.
  FileContent read;
  read.content.reserve(static_cast<size_t>(info.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SystemError(path, errno);
    if (n == 0) break;
    if (static_cast<int64_t>(read.content.size()) + n > maxBytes) {
      return Failed(FileReading::kTooLarge, TooLarge(path, maxBytes));
    }
    read.content.append(chunk, static_cast<size_t>(n));
  }
  read.result = FileReading::kOk;
  return read;
}

}  // namespace net
