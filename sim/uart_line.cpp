#include "sim/uart_line.h"

#include <cmath>

namespace {

// The sender's waveform as a function of time measured in the sender's bit times.
class Waveform {
 public:
  explicit Waveform(std::string_view bytes) : bytes_(bytes) {}

  int64_t BitCount() const { return static_cast<int64_t>(bytes_.size()) * 10; }

  // The line level (1 idle/mark, 0 space) during bit `index`.
  int Level(int64_t index) const {
    if (index < 0 || index >= BitCount()) return 1;
    const int64_t position = index % 10;
    if (position == 0) return 0;  // start bit
    if (position == 9) return 1;  // stop bit
    const auto byte = static_cast<uint8_t>(bytes_[static_cast<size_t>(index / 10)]);
    return (byte >> (position - 1)) & 1;
  }

  int LevelAt(double time) const { return Level(static_cast<int64_t>(std::floor(time))); }

  // The first bit at or after `from` where the line falls from mark to space, or -1.
  int64_t NextFallingEdge(int64_t from) const {
    for (int64_t index = from < 0 ? 0 : from; index < BitCount(); ++index) {
      if (Level(index) == 0 && Level(index - 1) == 1) return index;
    }
    return -1;
  }

 private:
  std::string_view bytes_;
};

}  // namespace

std::vector<UartByte> Transcode(std::string_view bytes, uint32_t senderBaud,
                                uint32_t receiverBaud) {
  std::vector<UartByte> heard;
  if (senderBaud == receiverBaud || senderBaud == 0 || receiverBaud == 0) {
    heard.reserve(bytes.size());
    for (char byte : bytes) heard.push_back({static_cast<uint8_t>(byte), false});
    return heard;
  }
  const Waveform line(bytes);
  // One receiver bit lasts this many sender bits.
  const double ratio = static_cast<double>(senderBaud) / receiverBaud;
  int64_t from = 0;
  for (;;) {
    const int64_t edge = line.NextFallingEdge(from);
    if (edge < 0) break;
    const double start = static_cast<double>(edge);
    // A receiver checks the start bit in its middle; a glitch shorter than that is ignored.
    if (line.LevelAt(start + 0.5 * ratio) != 0) {
      from = edge + 1;
      continue;
    }
    UartByte byte;
    for (int bit = 0; bit < 8; ++bit) {
      byte.value |= static_cast<uint8_t>(line.LevelAt(start + (1.5 + bit) * ratio) << bit);
    }
    const double stop = start + 9.5 * ratio;
    byte.framingError = line.LevelAt(stop) == 0;
    heard.push_back(byte);
    // The receiver looks for the next start bit from the middle of the stop bit on.
    from = static_cast<int64_t>(std::ceil(stop));
  }
  return heard;
}

std::string HostView(const std::vector<UartByte>& heard) {
  std::string bytes;
  bytes.reserve(heard.size());
  for (const UartByte& byte : heard) {
    bytes.push_back(byte.framingError ? '\0' : static_cast<char>(byte.value));
  }
  return bytes;
}

double WireMicros(size_t bytes, uint32_t baud) {
  if (baud == 0) return 0.0;
  return static_cast<double>(bytes) * 10.0 * 1e6 / baud;
}
