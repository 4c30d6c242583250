#include "sim/transcript.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

std::string BytesAsText(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {  // the two-byte UTF-8 form of U+0080..U+00FF
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

Transcript::~Transcript() {
  if (file_) std::fclose(file_);
}

bool Transcript::Open(const std::string& path, std::string* error) {
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) {
    *error = "cannot create the transcript " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void Transcript::Record(double seconds, const char* direction, uint32_t baud,
                        std::string_view bytes, std::string_view heard, const std::string& state) {
  if (!file_) return;
  nlohmann::ordered_json line;
  line["t"] = static_cast<double>(static_cast<int64_t>(seconds * 1000.0 + 0.5)) / 1000.0;
  line["dir"] = direction;
  line["baud"] = baud;
  line["bytes"] = BytesAsText(bytes);
  if (heard != bytes) line["heard"] = BytesAsText(heard);
  line["state"] = state;
  std::fputs(line.dump().c_str(), file_);
  std::fputc('\n', file_);
  // Line by line on disk, so a transcript is readable while the simulator runs or after a kill.
  std::fflush(file_);
}
