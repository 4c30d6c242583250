// Helpers for the firmware image tests: a scratch folder, whole-file reads and writes, and an
// independent reading of image text back into bytes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace image_files {

namespace fs = std::filesystem;

// A folder of its own for every test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() / ("vexa_image_" + std::to_string(getpid()) + "_" +
                                         test->test_suite_name() + "_" + test->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() { fs::remove_all(path_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

inline void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes an image text stands for, by address. Each section is "@" + five hex digits; each
// word "HHLL" puts LL at the next address and HH after it. `lastBytes` (when given) collects the
// address of every section's last byte, where an odd section carries its FF padding. Fails the
// test on text that breaks the format.
inline std::map<uint32_t, uint8_t> DecodeImageText(const std::string& text,
                                                   std::map<uint32_t, bool>* lastBytes = nullptr) {
  std::map<uint32_t, uint8_t> bytes;
  size_t i = 0;
  while (i < text.size()) {
    EXPECT_EQ(text[i], '@') << "at " << i;
    if (text[i] != '@' || i + 6 > text.size()) return bytes;
    uint32_t address = static_cast<uint32_t>(std::stoul(text.substr(i + 1, 5), nullptr, 16));
    const uint32_t start = address;
    i += 6;
    while (i < text.size() && text[i] != '@') {
      EXPECT_LE(i + 4, text.size()) << "a word cut short at " << i;
      if (i + 4 > text.size()) return bytes;
      int digits[4];
      for (int k = 0; k < 4; ++k) {
        digits[k] = HexDigit(text[i + k]);
        EXPECT_GE(digits[k], 0) << "not a hex digit at " << i + k;
      }
      bytes[address++] = static_cast<uint8_t>(digits[2] << 4 | digits[3]);
      bytes[address++] = static_cast<uint8_t>(digits[0] << 4 | digits[1]);
      i += 4;
    }
    if (lastBytes && address != start) (*lastBytes)[address - 1] = true;
  }
  return bytes;
}

}  // namespace image_files
