#include "link/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

bool IsValidLevel(uint32_t level) {
  using namespace vexa_log_level;
  return level == kOff || level == kError || level == kMilestone || level == kTrace ||
         level == kBytes;
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The error file and its temporary file are opened as files of their own: a symbolic link in the
// data folder would make the log write into (or cut short) whatever it points to.
FILE* OpenForWriting(const std::string& path, int flags) {
  const int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | flags, 0644);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, (flags & O_APPEND) ? "ab" : "wb");
  if (!file) close(fd);
  return file;
}

}  // namespace

VexaLog::VexaLog(const char* path, uint32_t level)
    : path_(path && *path ? path : "error.txt"),
      level_(IsValidLevel(level) ? level : vexa_log_level::kError) {}

bool VexaLog::SetLevel(uint32_t level) {
  if (!IsValidLevel(level)) return false;
  level_ = level;
  return true;
}

int64_t VexaLog::FileSize() const {
  struct stat st;
  if (stat(path_.c_str(), &st) != 0) return -errno;
  return st.st_size;
}

bool VexaLog::KeepTail(uint32_t count) const {
  const int sourceFd = open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  File source(sourceFd >= 0 ? fdopen(sourceFd, "rb") : nullptr);
  if (!source) {
    if (sourceFd >= 0) close(sourceFd);
    return false;
  }
  if (std::fseek(source.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(source.get());
  if (size < 0) return false;
  if (size < static_cast<long>(count)) return true;

  // Start after the next line feed so that no partial line is kept.
  std::fseek(source.get(), size - static_cast<long>(count), SEEK_SET);
  for (int c = std::fgetc(source.get()); c != EOF && c != '\n'; c = std::fgetc(source.get())) {
  }

  // A temporary file left behind by an interrupted run goes (a link as a link, never what it
  // points to); the new one is made by this call alone (O_EXCL), so nothing else is written.
  const std::string temp_path = path_ + ".temp";
  unlink(temp_path.c_str());
  File temp(OpenForWriting(temp_path, O_CREAT | O_EXCL | O_TRUNC));
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[count > 0 ? count : 1]);
  if (!temp || !buffer) return false;

  const size_t got = std::fread(buffer.get(), 1, count, source.get());
  const bool written = std::fwrite(buffer.get(), 1, got, temp.get()) == got;
  source.reset();
  if (std::fclose(temp.release()) != 0 || !written) {
    std::remove(temp_path.c_str());
    return false;
  }
  // rename() replaces the old file in one step; the log is never left missing.
  return std::rename(temp_path.c_str(), path_.c_str()) == 0;
}

std::string LogTimeStamp(const struct tm& local) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int month = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%d %s %d %d:%02d:%02d", local.tm_mday, kMonths[month],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

int LogMessage(const VexaLog* log, uint32_t level, const char* tag, const char* format, ...) {
  if (!log || level > log->Level()) return 0;
  File file(OpenForWriting(log->Path(), O_CREAT | O_APPEND));
  if (!file) return 0;

  const time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);

  int total = std::fprintf(file.get(), "%s - %s: ", LogTimeStamp(local).c_str(), tag ? tag : "");
  va_list args;
  va_start(args, format);
  const int message = std::vfprintf(file.get(), format, args);
  va_end(args);
  const int end = std::fputs("\r\n", file.get()) >= 0 ? 2 : 0;
  if (total < 0 || message < 0) return 0;
  total += message + end;
  return std::fclose(file.release()) == 0 ? total : 0;
}
