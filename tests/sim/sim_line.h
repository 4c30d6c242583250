// The serial link as the updater drives it (DSPurge, DSWrite, DSWait, DSRead), for the tests of
// the virtual instruments, and the loader's frame format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/serial_port.h"

class SimLine {
 public:
  SimLine() = default;
  ~SimLine() { DSClose(&port_); }
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  bool Open(const std::string& path, uint32_t baud) {
    return DSOpen(&port_, path.c_str(), baud) == kResultOk;
  }
  bool SetBaud(uint32_t baud) { return DSHostBaud(&port_, baud) >= 0; }
  void Close() { DSClose(&port_); }

  // Sends `text` and collects the answer until `awaited` arrives or `timeoutMs` passes.
  std::string Exchange(std::string_view text, char awaited, uint32_t timeoutMs = 1000);
  // Sends `text` and keeps everything that arrives within `ms`, zero bytes included.
  std::string SendAndListen(std::string_view text, uint32_t ms);

 private:
  SerialPort port_;
};

// A loader frame: letter, payload, "." and the checksum (46 plus the character codes of letter
// and payload, modulo 65535) in four hex digits, carriage return.
std::string LoaderFrame(char letter, std::string_view payload);

// Connects to a FieldPal's loader the way an update does: "boot KWEL" at 9600 baud, then a
// carriage return ("$") and "P" ("#") at 57600. Returns an empty text or what went wrong.
std::string ConnectFieldPalLoader(SimLine& line);
