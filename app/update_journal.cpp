#include "app/update_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

#include "link/result.h"
#include "session/settings_file.h"

namespace {

// The file's text; `exists` false when there is none. A symbolic link is not followed: in the data
// folder it can only be something other than what this run wrote.
std::string WholeFile(const std::string& path, bool* exists) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  *exists = fd >= 0;
  if (fd < 0) return text;
  char block[4096];
  for (ssize_t n; (n = read(fd, block, sizeof block)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(block, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

std::string Value(const std::string& text, const char* key) {
  const char* value;
  uint32_t length;
  if (!FindSettingsValue(text.c_str(), key, &value, &length)) return {};
  return std::string(value, length);
}

// A serial number as part of a file name: letters, digits, '-' and '_'.
std::string FileNamePart(const std::string& serial) {
  std::string part;
  for (char c : serial) {
    part += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
  }
  return part.empty() ? "unknown" : part;
}

// A new name or a removed one reaches the disk with its folder.
void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// `text` as the whole of `path`, on the disk, or nothing changed: written to a new file of its own
// (mkstemp creates it, so neither a file nor a link left under some name is written through),
// flushed, then renamed over the old one.
int32_t WriteWholeFile(const std::string& path, const std::string& text) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return FileWriteErrorCode(errno);
  int error = 0;
  for (size_t done = 0; done < text.size() && error == 0;) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    return FileWriteErrorCode(error);
  }
  SyncFolderOf(path);
  return kResultOk;
}

}  // namespace

std::string JournalPath(const UpdateContext& c) {
  return c.dataFolder + "/" + c.deviceName + ".journal.txt";
}

std::string SettingsFilePath(const UpdateContext& c) {
  return c.dataFolder + "/" + c.deviceName + ".settings.txt";
}

bool ReadJournal(const std::string& path, UpdateJournal* journal) {
  bool exists = false;
  const std::string text = WholeFile(path, &exists);
  if (!exists) return false;
  journal->phase = Value(text, "phase");
  journal->serial = Value(text, "sn");
  journal->name = Value(text, "name");
  return !journal->phase.empty();
}

bool ReadSettingsFileIdentity(const std::string& path, UpdateJournal* journal) {
  bool exists = false;
  const std::string text = WholeFile(path, &exists);
  if (!exists) return false;
  journal->serial = Value(text, "sn");
  journal->name = Value(text, "name");
  return true;
}

int32_t WriteJournal(const std::string& path, const UpdateJournal& journal) {
  return WriteWholeFile(path, "phase=\"" + journal.phase + "\"\r\nsn=\"" + journal.serial +
                                  "\"\r\nname=\"" + journal.name + "\"\r\n");
}

void RemoveJournal(const std::string& path) {
  unlink(path.c_str());
}

int32_t KeepSettingsFile(const UpdateContext& c, std::string* kept) {
  const std::string from = SettingsFilePath(c);
  bool exists = false;
  const std::string text = WholeFile(from, &exists);
  if (!exists) return kResultNothingDone;
  const std::string stem =
      c.dataFolder + "/" + c.deviceName + "." + FileNamePart(Value(text, "sn"));
  std::string to = stem + ".settings.txt";
  // link() never replaces a file that is there, so no kept file is ever lost.
  for (int n = 2; link(from.c_str(), to.c_str()) != 0; ++n) {
    const int error = errno;
    if (error != EEXIST) {
      // A folder without hard links (a FAT stick): a rename, when nothing has the name yet.
      if (error != EPERM && error != ENOTSUP) return FileWriteErrorCode(error);
      if (access(to.c_str(), F_OK) == 0) return kErrFileWriteFailed;
      if (std::rename(from.c_str(), to.c_str()) != 0) return FileWriteErrorCode(errno);
      SyncFolderOf(to);
      *kept = to;
      return kResultOk;
    }
    if (n > 999) return kErrFileWriteFailed;
    to = stem + "-" + std::to_string(n) + ".settings.txt";
  }
  unlink(from.c_str());
  SyncFolderOf(to);
  *kept = to;
  return kResultOk;
}
