#include "app/update_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "session/settings_file.h"

namespace {

std::string WholeFile(const std::string& path, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  *exists = static_cast<bool>(in);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
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

bool WriteJournal(const std::string& path, const UpdateJournal& journal) {
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << "phase=\"" << journal.phase << "\"\r\nsn=\"" << journal.serial << "\"\r\nname=\""
        << journal.name << "\"\r\n";
    out.flush();
    if (!out) return false;
  }
  const int fd = open(temporary.c_str(), O_RDONLY);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void RemoveJournal(const std::string& path) {
  std::remove(path.c_str());
}

std::string KeepSettingsFile(const UpdateContext& c) {
  const std::string from = SettingsFilePath(c);
  bool exists = false;
  const std::string text = WholeFile(from, &exists);
  if (!exists) return {};
  const std::string stem =
      c.dataFolder + "/" + c.deviceName + "." + FileNamePart(Value(text, "sn"));
  std::string to = stem + ".settings.txt";
  // link() never replaces a file that is there, so no kept file is ever lost.
  for (int n = 2; link(from.c_str(), to.c_str()) != 0; ++n) {
    if (errno != EEXIST) {
      // A folder without hard links (a FAT stick): a rename, when nothing has the name yet.
      if (access(to.c_str(), F_OK) != 0 && std::rename(from.c_str(), to.c_str()) == 0) return to;
      return {};
    }
    if (n > 999) return {};
    to = stem + "-" + std::to_string(n) + ".settings.txt";
  }
  unlink(from.c_str());
  return to;
}
