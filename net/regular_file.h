// Reading a file that the user names for sending (the feedback's attachment, the description of
// `vexabsl feedback --text-file`). Only a regular file is read: it is opened without blocking, so
// a FIFO without a writer cannot hold the program deaf to Ctrl-C, and a device such as /dev/zero
// cannot feed it without end; its size is checked against the limit before a byte is read.
#pragma once

#include <cstdint>
#include <string>

namespace net {

enum class FileReading {
  kOk,
  kMissing,     // no such file
  kNotRegular,  // a folder, a FIFO, a device, a socket
  kTooLarge,    // more than the limit
  kUnreadable,  // the system refused to open or read it
};

struct FileContent {
  FileReading result = FileReading::kUnreadable;
  std::string content;  // the whole file, for kOk
  std::string message;  // why not, for the other results
};

// The file at `path`, at most `maxBytes` long.
FileContent ReadRegularFile(const std::string& path, int64_t maxBytes);

}  // namespace net
