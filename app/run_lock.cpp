#include "app/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/unfinished_run.h"
#include "app/update_journal.h"
#include "link/result.h"

namespace {

// The file was removed and made anew while this process waited: another run may be locking the
// new one, so a lock on the old file owns nothing.
constexpr int kLockTries = 10;

bool IsLink(const std::string& path) {
  struct stat status;
  return !path.empty() && lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

}  // namespace

std::string RunLockPath(const UpdateContext& c) {
  return c.dataFolder + "/" + c.deviceName + ".lock";
}

int32_t TakeRunLock(const std::string& path, RunLock* lock) {
  for (int attempt = 0; attempt < kLockTries; ++attempt) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return errno == ELOOP ? kErrFileIsLink : FileWriteErrorCode(errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      return error == EWOULDBLOCK ? kErrDataFolderBusy : FileWriteErrorCode(error);
    }
    // The run before removes the file as it lets go of it: only the file under the name counts.
    struct stat held, named;
    if (fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      lock->fd = fd;
      lock->path = path;
      return kResultOk;
    }
    close(fd);
  }
  return kErrDataFolderBusy;
}

void ReleaseRunLock(RunLock* lock) {
  if (lock->fd < 0) return;
  // Removed while still held, so no other run can lock this file and think it owns the folder.
  unlink(lock->path.c_str());
  close(lock->fd);
  lock->fd = -1;
}

int32_t OwnRunFiles(UpdateContext& c, RunLock* lock) {
  const std::string path = RunLockPath(c);
  int32_t result = TakeRunLock(path, lock);
  std::string link = result == kErrFileIsLink ? path : std::string();
  if (result >= 0) {
    // A link would make the run write (or truncate) whatever it points to.
    for (const std::string& file :
         {SettingsFilePath(c), JournalPath(c), c.log ? c.log->Path() : std::string()}) {
      if (IsLink(file)) {
        link = file;
        result = kErrFileIsLink;
        ReleaseRunLock(lock);
        break;
      }
    }
  }
  if (result >= 0) return result;
  LogMessage(c.log, vexa_log_level::kError, "VexaBSL Host", "Could not own %s: error %d (%s)%s%s",
             path.c_str(), result, ResultText(result),
             link.empty() ? "" : ", a link: ", link.c_str());
  if (result == kErrDataFolderBusy) {
    TellUser(c,
             "Another update is using the files of " + c.deviceName + " in the folder\n" +
                 c.dataFolder + "\n\nPlease let it finish, then try again.\n\n[Error " +
                 std::to_string(result) + "]",
             "Data Folder In Use", BoxKind::kError);
  } else {
    DataFolderFailed(c, result, link);
  }
  return result;
}
