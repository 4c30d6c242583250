// One run at a time owns the files an update keeps in the data folder under the device name: the
// settings file, the journal and the kept settings files. Two updates sharing the folder (two
// cables, two windows) would otherwise delete or save over each other's files, and the settings
// of an instrument cut off after its erase would be gone. The lock is a flock() on
// "<device>.lock" in the data folder, held for the whole run; the kernel lets it go when the
// program dies, so a killed run never leaves a stale lock.
#pragma once

#include <cstdint>
#include <string>

#include "app/update_context.h"

struct RunLock {
  int fd = -1;  // the locked file, while the run owns the folder's files
  std::string path;
};

// data folder + "/" + device name + ".lock"
std::string RunLockPath(const UpdateContext& context);

// Takes the lock at `path` without waiting. 1: this run owns the files; kErrDataFolderBusy:
// another run owns them; kErrFileIsLink: the lock file is a symbolic link; or why the file could
// not be made (FileWriteErrorCode's codes).
int32_t TakeRunLock(const std::string& path, RunLock* lock);

// Removes the lock file and lets the lock go. Nothing when the lock is not held.
void ReleaseRunLock(RunLock* lock);

// For the run wrapper: takes the lock for the context's files and refuses links among the files
// the run writes (the settings file, the journal and the error file are written through no link).
// 1, or the failure after its box ("Data Folder In Use" or "Data Folder Error").
int32_t OwnRunFiles(UpdateContext& context, RunLock* lock);
