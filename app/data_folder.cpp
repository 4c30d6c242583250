#include "app/data_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The user's folder under a shared parent (the temporary folder): anyone may have made that name
// first, so it is used only when it is a real folder of this user's that nobody else can enter.
bool MakePrivateFolder(const fs::path& folder, std::string* why) {
  if (!MakeDataFolder(folder.string(), why)) return false;
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid() ||
      (info.st_mode & 077) != 0) {
    *why = "the folder " + folder.string() + " belongs to someone else or is open to others";
    return false;
  }
  return true;
}

}  // namespace

bool MakeDataFolder(const std::string& folder, std::string* why) {
  if (folder.empty()) {
    *why = "no folder was named";
    return false;
  }
  // Parents first, each made only when missing, so an existing folder keeps its mode.
  fs::path made;
  for (const fs::path& part : fs::path(folder)) {
    made /= part;
    if (mkdir(made.c_str(), 0700) == 0 || errno == EEXIST) continue;
    *why = "cannot make the folder " + made.string() + ": " + std::strerror(errno);
    return false;
  }
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) {
    *why = "cannot use the folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    *why = "cannot use " + folder + ": it is not a folder";
    return false;
  }
  return true;
}

DataFolderChoice ChooseDataFolder() {
  fs::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    base = fs::path(home) / ".local" / "share";
  }
  DataFolderChoice choice;
  if (base.empty()) {
    choice.problem = "neither XDG_DATA_HOME nor HOME names a folder";
  } else {
    const fs::path folder = base / "Norvane" / "VexaBSL";
    if (MakeDataFolder(folder.string(), &choice.problem)) {
      choice.path = folder.string();
      return choice;
    }
  }
  // Never the program's own folder: installed, that is /usr/bin.
  const std::string user = std::to_string(geteuid());
  std::string fallbackProblem;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    const fs::path folder = fs::path(runtime) / "vexabsl";
    if (MakePrivateFolder(folder, &fallbackProblem)) {
      choice.path = folder.string();
      return choice;
    }
  }
  std::error_code noTemp;
  fs::path temp = fs::temp_directory_path(noTemp);
  if (noTemp) temp = "/tmp";
  const fs::path folder = temp / ("vexabsl-" + user);
  if (MakePrivateFolder(folder, &fallbackProblem)) {
    choice.path = folder.string();
  } else {
    choice.problem += "; " + fallbackProblem;
  }
  return choice;
}

std::string DataFolderNotice(const std::string& caption, const DataFolderChoice& choice) {
  if (choice.problem.empty()) return "";
  if (choice.path.empty()) {
    return "The " + caption + " has no folder for its settings files and error file (" +
           choice.problem + ").\n\nAn update cannot keep an instrument's settings safe until " +
           "that folder can be made.";
  }
  return "The " + caption + " could not use its data folder (" + choice.problem +
         ").\n\nIts settings files and error file are kept in\n" + choice.path +
         "\ninstead. The system may empty that folder when you log out or restart the computer.";
}
