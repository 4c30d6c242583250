// The serial line between the computer and an instrument, as two UARTs see it: every byte goes
// out as a start bit, eight data bits (least significant first) and a stop bit at the sender's
// rate and is sampled in the middle of each bit at the receiver's rate. When the two rates agree
// the bytes arrive unchanged; when they differ the receiver makes garbage of them, with framing
// errors where it finds no stop bit, exactly as a real pair of UARTs would.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One byte as a receiving UART delivers it.
struct UartByte {
  uint8_t value = 0;
  bool framingError = false;  // the stop bit was low: the usual sign of a wrong rate
};

// The bytes a receiver at `receiverBaud` makes of `bytes` sent back to back at `senderBaud`
// (the line idle before and after them).
std::vector<UartByte> Transcode(std::string_view bytes, uint32_t senderBaud, uint32_t receiverBaud);

// What a computer's serial port hands to the program: a byte with a framing error reads as 0
// (raw termios without IGNPAR or PARMRK).
std::string HostView(const std::vector<UartByte>& heard);

// Time on the wire: 10 bits per byte at `baud`.
double WireMicros(size_t bytes, uint32_t baud);
