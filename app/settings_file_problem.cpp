#include "app/settings_file_problem.h"

#include "link/result.h"

bool IsSettingsFileProblem(int32_t code) {
  switch (code) {
    case kErrSettingsFileMissing:
    case kErrSettingsFileDenied:
    case kErrSettingsFileBadHandle:
    case kErrFileMissing:
    case kErrFileDenied:
    case kErrIsFolder:
    case kErrDiskFull:
    case kErrFileReadFailed:
    case kErrFileWriteFailed:
    case kErrDiskReadOnly:
      return true;
    default:
      return false;
  }
}

std::string SettingsFileProblem(int32_t code, const std::string& path, bool writing,
                                const std::string& device) {
  switch (code) {
    case kErrSettingsFileMissing:
    case kErrFileMissing:
      return writing ? "the folder of " + path + " does not exist" : "there is no file " + path;
    case kErrSettingsFileDenied:
    case kErrFileDenied:
      return std::string("no permission to ") + (writing ? "write " : "read ") + path;
    case kErrIsFolder:
      return path + " is a folder, not a file";
    case kErrDiskFull:
      return "the disk is full; " + path + " was left as it was";
    case kErrUnreadableAnswer:
      return path + " is not a settings file of a " + device;
    default:
      return path + (writing ? " could not be written (" : " could not be read (") +
             ResultText(code) + ")";
  }
}
