#include "tests/sim/sim_line.h"

#include <cstdio>

std::string SimLine::Exchange(std::string_view text, char awaited, uint32_t timeoutMs) {
  DSPurge(&port_, 1);
  if (DSWrite(&port_, text.data(), static_cast<uint32_t>(text.size()), nullptr) !=
      static_cast<int32_t>(text.size())) {
    return "<write failed>";
  }
  DSWait(&port_, timeoutMs, awaited);
  char answer[kReadBufferSize];
  uint32_t got = 0;
  DSRead(&port_, answer, sizeof answer, &got);
  return std::string(answer, got);
}

std::string SimLine::SendAndListen(std::string_view text, uint32_t ms) {
  DSPurge(&port_, 1);
  DSWrite(&port_, text.data(), static_cast<uint32_t>(text.size()), nullptr);
  std::string heard;
  const uint32_t start = MsClock();
  while (MsClock() - start < ms) {
    char chunk[256];
    uint32_t got = 0;
    if (DSRead(&port_, chunk, sizeof chunk, &got) < 0) break;
    heard.append(chunk, got);
  }
  return heard;
}

std::string LoaderFrame(char letter, std::string_view payload) {
  uint32_t sum = '.' + static_cast<uint8_t>(letter);
  for (char c : payload) sum += static_cast<uint8_t>(c);
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, ".%04X\r", sum % 65535);
  return std::string(1, letter) + std::string(payload) + checksum;
}

std::string ConnectFieldPalLoader(SimLine& line) {
  if (!line.SetBaud(9600)) return "cannot set 9600 baud";
  const std::string boot = line.Exchange("boot KWEL\r", '>');
  if (boot != "\rOK\r>") return "boot answered \"" + boot + "\"";
  if (!line.SetBaud(57600)) return "cannot set 57600 baud";
  const std::string waiting = line.Exchange("\r", '\r');
  if (waiting != "$\r") return "carriage return answered \"" + waiting + "\"";
  const std::string connected = line.Exchange("P", '\r');
  if (connected != "#\r") return "P answered \"" + connected + "\"";
  return "";
}
