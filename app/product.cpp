#include "app/product.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path ProgramFolder() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::current_path(error) : self.parent_path();
}

}  // namespace

std::string DataFolder() {
  fs::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = fs::path(home) / ".local" / "share";
  }
  if (!base.empty()) {
    const fs::path folder = base / "Norvane" / "VexaBSL";
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error && fs::is_directory(folder)) return folder.string();
  }
  return ProgramFolder().string();
}

std::string ErrorFilePath() {
  return (fs::path(DataFolder()) / (std::string(product::kCaption) + ".errors.txt")).string();
}
