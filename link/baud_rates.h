// The rates a serial port can be set to and their termios speed codes, one table for the link,
// the virtual instruments' pseudo-terminals and the test fixture. Header only: the simulator uses
// it without linking the engine.
#pragma once

#include <termios.h>

#include <cstdint>

struct BaudRate {
  uint32_t rate;
  speed_t code;
};

inline constexpr BaudRate kBaudRates[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}};

// The speed code of `rate`; false for a rate not in the table.
inline bool SpeedCodeOf(uint32_t rate, speed_t* code) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.rate == rate) {
      *code = entry.code;
      return true;
    }
  }
  return false;
}

// The rate of a speed code; 0 for a code not in the table.
inline uint32_t RateOfSpeedCode(speed_t code) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.code == code) return entry.rate;
  }
  return 0;
}
