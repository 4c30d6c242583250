// The diagnostic log ("error file"): one plain-text file that every layer appends to, one line per
// event, so a single file shows a whole update in order. It is attached to user feedback, which is
// why each line is on disk as soon as it is written.
#pragma once

#include <cstdint>
#include <string>

namespace vexa_log_level {
constexpr uint32_t kOff = 0;
constexpr uint32_t kError = 1;  // failures; always written in normal operation
// What every error file must hold however low its level: the end of an update, with the failures.
constexpr uint32_t kAlways = kError;
constexpr uint32_t kMilestone = 10;  // connections made, steps completed
constexpr uint32_t kTrace = 30;      // every command and answer
constexpr uint32_t kBytes = 40;      // byte-level serial tracing
}  // namespace vexa_log_level

class VexaLog {
 public:
  // An empty path means "error.txt" in the working folder. A level outside {0, 1, 10, 30, 40}
  // becomes 1. The file is created by the first line written, never truncated.
  explicit VexaLog(const char* path = nullptr, uint32_t level = vexa_log_level::kError);

  // Accepts 0, 1, 10, 30 or 40; any other value is refused and the threshold stays.
  bool SetLevel(uint32_t level);
  uint32_t Level() const { return level_; }
  const std::string& Path() const { return path_; }

  // Size of the file in bytes, or the negated errno when it cannot be examined.
  int64_t FileSize() const;

  // Shortens the file to at most its last `count` bytes, starting at a line boundary, through the
  // temporary file path + ".temp". False when the file cannot be read (a symbolic link is not
  // followed) or the temporary file cannot be made.
  bool KeepTail(uint32_t count) const;

 private:
  std::string path_;
  uint32_t level_;
};

// Writes one line "<d Mon yyyy h:mm:ss> - <tag>: <message>\r\n" when `level` is within the log's
// threshold. Returns the characters written, 0 when suppressed or the file cannot be opened (a
// symbolic link in its place is never written through).
// A null log writes nothing: a layer without a log is silent.
int LogMessage(const VexaLog* log, uint32_t level, const char* tag, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Formats the log's time stamp for a local broken-down time ("9 Dec 2026 0:00:05").
std::string LogTimeStamp(const struct tm& local);
