#include "loader/bsl_protocol.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kTag = "VexaBSL";
constexpr const char* kBootCommand = "boot KWEL\r";
constexpr uint32_t kCommandBaud = 9600;  // the instruments' command line

constexpr uint32_t kAnswerWaitMs = 1000;     // one frame's answer
constexpr uint32_t kRetryPauseMs = 175;      // between attempts of any loader exchange
constexpr uint32_t kBootAnswerWaitMs = 750;  // the firmware needs this to start its loader
constexpr uint32_t kHandshakeWaitMs = 100;
constexpr uint32_t kSettleAfterOpenMs = 1000;

constexpr uint32_t kSegmentSize = 512;
constexpr uint32_t kBlockCharacters = 512;  // 256 bytes of image text per "W" frame
constexpr uint32_t kLoaderAreaStart = 0xFA00;
constexpr uint32_t kLoaderAreaEnd = 0xFFFF;

uint32_t SecondsSince(uint32_t start) {
  return (MsClock() - start) / 1000;
}

bool Contains(const char* text, const char* what) {
  return std::strstr(text, what) != nullptr;
}

// Writes `text` and, after `pauseMs`, reads up to 31 answer bytes (zero-terminated). The handshake
// steps judge each answer on its own bytes, so nothing earlier is kept.
int32_t WriteThenRead(VexaBSLHost* host, const char* text, uint32_t pauseMs, char* answer) {
  uint32_t count = 0;
  std::memset(answer, 0, 32);
  int32_t result = DSWrite(&host->port, text, static_cast<uint32_t>(std::strlen(text)), &count);
  if (result < 0) return result;
  PumpingWait(pauseMs);
  result = DSRead(&host->port, answer, 31, &count);
  if (result < 0) return result;
  answer[count] = 0;
  return 0;
}

bool ReportProgress(VexaBSLHost* host, uint32_t total, uint32_t done, int phase, char kind) {
  if (!host->progress || !host->progressHook) return true;
  return host->progressHook(host->progressContext, total, done, phase, kind);
}

// Connects to a loader that waits for a connection: carriage return -> "$", "P" -> "#".
// Returns 1 and the attempt that succeeded, or the last failure.
int32_t Handshake(VexaBSLHost* host, uint32_t* succeededAttempt) {
  int32_t result = kErrNoAttempt;
  char answer[32];
  for (uint32_t attempt = 1; attempt <= host->tries; ++attempt) {
    int32_t io = WriteThenRead(host, "\r", kHandshakeWaitMs, answer);
    if (io < 0) return io;
    if (answer[0] != '$') {
      result = kErrNoLoader;
      continue;
    }
    DSPurge(&host->port, 1);
    io = WriteThenRead(host, "P", kHandshakeWaitMs, answer);
    if (io < 0) return io;
    if (Contains(answer, "#")) {
      *succeededAttempt = attempt;
      return kResultOk;
    }
    result = kErrLoaderHandshake;
    PumpingWait(kRetryPauseMs);
  }
  return result;
}

// Runs one exchange up to `tries` times, pausing after each failure; stops at the first accepted
// answer.
template <typename Exchange>
int32_t WithRetries(VexaBSLHost* host, Exchange exchange) {
  int32_t result = kErrNoAttempt;
  for (uint32_t attempt = 0; attempt < host->tries; ++attempt) {
    result = exchange();
    if (result > 0) break;
    PumpingWait(kRetryPauseMs);
  }
  return result;
}

int32_t EraseSegment(VexaBSLHost* host, uint32_t address, bool extended) {
  char answer[kAnswerSize];
  uint32_t elapsed = 0;
  return WithRetries(host, [&] {
    return BSLCommandValues(host, 'X', &address, 1, '\r', answer, &elapsed, extended);
  });
}

// Sends one block of image text; after a failed attempt the write address is set again to the
// block's start, because the loader's address may have advanced by a partial write.
int32_t SendBlock(VexaBSLHost* host, uint32_t fill, uint32_t blockAddress, bool extended) {
  char answer[kAnswerSize];
  uint32_t elapsed = 0;
  int32_t result = kErrNoAttempt;
  for (uint32_t attempt = 0; attempt < host->tries; ++attempt) {
    result = BSLCommand(host, 'W', host->blockBuffer, fill, '\r', answer, &elapsed);
    if (result > 0) break;
    PumpingWait(kRetryPauseMs);
    const int32_t address = BSLSendAddress(host, blockAddress, extended);
    if (address < 0) return address;
  }
  return result;
}

}  // namespace

uint32_t BSLFrameChecksum(char letter, const char* payload, uint32_t length) {
  uint32_t sum = '.' + static_cast<unsigned char>(letter);
  for (uint32_t i = 0; i < length; ++i) sum += static_cast<unsigned char>(payload[i]);
  return sum % 65535;
}

namespace {

// Sends the frame already in the command buffer (letter and payload, `length` characters) and
// reads and judges the answer.
int32_t Exchange(VexaBSLHost* host, uint32_t length, char awaited, char* answer,
                 uint32_t* elapsedMs) {
  char* frame = host->commandBuffer;
  const uint32_t checksum = BSLFrameChecksum(frame[0], frame + 1, length - 1);
  length += static_cast<uint32_t>(
      std::snprintf(frame + length, kFrameBufferSize - length, "%c%04X\r", '.', checksum));

  const uint32_t start = MsClock();
  uint32_t count = 0;
  DSPurge(&host->port, 1);
  int32_t result = DSWrite(&host->port, frame, length, &count);
  // "DCommWrite", "DCommWait" and "DCommRead" below are the log's own words for the write, the
  // wait and the read, which service staff know from every error file; they name no function of
  // this code and stay as they are.
  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLCommand got unexpected response (%d) from DCommWrite", result);
    if (elapsedMs) *elapsedMs = 0;
    return result;
  }
  result = DSWait(&host->port, kAnswerWaitMs, awaited);
  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLCommand got unexpected response (%d) from DCommWait", result);
    return result;
  }
  result = DSRead(&host->port, answer, kAnswerSize - 1, &count);
  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLCommand got unexpected response (%d) from DCommRead", result);
    return result;
  }
  answer[count] = 0;
  if (elapsedMs) *elapsedMs = static_cast<uint32_t>(MsSince(start));
  if (count == 0) return kErrNoAnswer;
  if (answer[0] == '+' || answer[1] == '+') return static_cast<int32_t>(count);
  return kErrLoaderRejected;  // "-" or "?", or nothing usable
}

}  // namespace

int32_t BSLCommand(VexaBSLHost* host, char letter, const char* payload, uint32_t length,
                   char awaited, char* answer, uint32_t* elapsedMs) {
  if (!host->portOpen) return kErrNoAnswer;
  if (length > kMaxPayload) return kErrBadArgument;
  if (!answer || (!payload && letter != 'g')) return kErrMissingArgument;
  host->commandBuffer[0] = letter;
  if (payload) std::memcpy(host->commandBuffer + 1, payload, length);
  return Exchange(host, payload ? length + 1 : 1, awaited, answer, elapsedMs);
}

int32_t BSLCommandValues(VexaBSLHost* host, char letter, const uint32_t* values, uint32_t count,
                         char awaited, char* answer, uint32_t* elapsedMs, bool extended) {
  if (!host->portOpen) return kErrNoAnswer;
  // Five-digit values would let 128 of them outgrow a frame; the payload limit holds for values
  // as it does for text.
  const uint32_t digits = extended ? 5 : 4;
  if (count > kMaxValues || count * digits > kMaxPayload) return kErrBadArgument;
  if (!answer || (!values && count > 0)) return kErrMissingArgument;
  char* frame = host->commandBuffer;
  frame[0] = letter;
  uint32_t length = 1;
  for (uint32_t i = 0; i < count; ++i) {
    // Masked to the digits sent, so a value never widens the frame.
    const uint32_t value = values[i] & (extended ? 0xFFFFF : 0xFFFF);
    length += static_cast<uint32_t>(std::snprintf(frame + length, kFrameBufferSize - length,
                                                  extended ? "%05X" : "%04X", value));
  }
  return Exchange(host, length, awaited, answer, elapsedMs);
}

int32_t BSLInvocation(VexaBSLHost* host, uint32_t loaderBaud) {
  int32_t result = kResultOk;
  bool stopped = false;
  char answer[32];
  for (uint32_t attempt = 0; attempt < host->tries && !stopped; ++attempt) {
    DSPurge(&host->port, 1);
    if (loaderBaud != kCommandBaud) DSHostBaud(&host->port, kCommandBaud);
    const int32_t io = WriteThenRead(host, kBootCommand, kBootAnswerWaitMs, answer);
    if (io < 0) {
      LogMessage(host->log, vexa_log_level::kError, kTag, "BSLInvocation failed with error %d", io);
      return io;
    }
    if (Contains(answer, "ERROR")) {
      result = kErrLoaderHandshake;
      PumpingWait(kRetryPauseMs);
    } else if (Contains(answer, "VexaBSL MISSING")) {
      result = kErrNoLoader;
      stopped = true;
    } else if (Contains(answer, "?")) {
      result = kErrLoaderRunning;
      stopped = true;
    } else if (answer[0] == 0) {
      result = kErrNoLoader;
      PumpingWait(kRetryPauseMs);
    } else {
      // "OK" or "$": the firmware is starting its loader. Anything else ends the tries too,
      // keeping the result so far.
      if (Contains(answer, "OK") || Contains(answer, "$")) result = kResultOk;
      stopped = true;
    }
  }

  uint32_t succeededAttempt = 0;
  if (stopped && result > 0) {
    if (loaderBaud != kCommandBaud) DSHostBaud(&host->port, loaderBaud);
    result = Handshake(host, &succeededAttempt);
  } else if (!stopped && result > 0) {
    result = kErrNoAttempt;
  }

  if (result > 0) {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag, "BSLInvocation successful (%d tries)",
               succeededAttempt);
  } else if (result == kErrLoaderRunning) {
    // A running loader talks only at its own rate.
    DSHostBaud(&host->port, loaderBaud);
    LogMessage(host->log, vexa_log_level::kMilestone, kTag,
               "BSLInvocation found the VexaBSL already active");
    result = kResultOk;
  } else {
    LogMessage(host->log, vexa_log_level::kError, kTag, "BSLInvocation failed with error %d",
               result);
  }
  return result;
}

int32_t BSLCheck(VexaBSLHost* host, const char* portName, uint32_t loaderBaud) {
  if (host->portOpen) {
    DSHostBaud(&host->port, loaderBaud);
  } else {
    const int32_t opened = DSOpen(&host->port, portName, loaderBaud);
    if (opened < 0) {
      LogMessage(host->log, vexa_log_level::kError, kTag,
                 "BSLCheck received error while opening serial port (%d)", opened);
      return opened;
    }
    host->portOpen = true;
  }
  PumpingWait(kSettleAfterOpenMs);
  DSPurge(&host->port, 1);
  char answer[32];
  const int32_t io = WriteThenRead(host, "\r", 200, answer);
  if (io < 0) return io;
  if (Contains(answer, "?")) {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag,
               "BSLCheck found the VexaBSL already active");
    return kErrLoaderRunning;
  }
  if (Contains(answer, "$")) {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag,
               "BSLCheck found the VexaBSL waiting for a connection");
    return kErrLoaderWaiting;
  }
  LogMessage(host->log, vexa_log_level::kTrace, kTag,
             "BSLCheck didn't get a response from the VexaBSL");
  return kErrNoAnswer;
}

int32_t BSLConnect(VexaBSLHost* host, const char* portName, uint32_t loaderBaud, bool progress,
                   uint32_t tries) {
  if (!portName || !*portName) return kErrMissingArgument;
  host->progress = progress;
  host->tries = tries;

  int32_t result = DSOpen(&host->port, portName, kCommandBaud);
  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLConnect received error while opening serial port (%d)", result);
    return result;
  }
  host->portOpen = true;
  PumpingWait(kSettleAfterOpenMs);

  result = kErrNoAttempt;
  for (uint32_t attempt = 0; attempt < tries; ++attempt) {
    const int32_t invoked = BSLInvocation(host, loaderBaud);
    if (invoked < 0) {
      result = invoked;
      const int32_t found = BSLCheck(host, portName, loaderBaud);
      if (found == kErrLoaderWaiting) {
        // An instrument that lost power during an update starts in its loader, which cannot
        // hear the boot command at 9600: connect to it at its own rate.
        uint32_t succeededAttempt = 0;
        result = Handshake(host, &succeededAttempt);
        if (result < 0) break;
      } else if (found == kErrLoaderRunning) {
        result = kResultOk;
      } else {
        break;
      }
    }
    char answer[kAnswerSize];
    uint32_t elapsed = 0;
    const int32_t asked = BSLCommand(host, 'g', nullptr, 0, '\r', answer, &elapsed);
    if (asked < 0 || Contains(answer, "ERROR")) {
      result = asked < 0 ? asked : kErrLoaderHandshake;
      PumpingWait(kRetryPauseMs);
      continue;
    }
    const char* plus = std::strchr(answer, '+');
    int version = 0;
    if (plus && std::sscanf(plus, "+%d", &version) == 1) {
      result = version;
      break;
    }
  }

  if (result < 0) {
    BSLDisconnect(host);
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLConnect failed to connect to device (error %d)", result);
  } else {
    host->loaderVersion = result;
    LogMessage(host->log, vexa_log_level::kMilestone, kTag,
               "BSLConnect connected to device running VexaBSL version %d", result);
  }
  return result;
}

int32_t BSLDisconnect(VexaBSLHost* host) {
  if (!host->portOpen) return 0;
  const int32_t result = DSClose(&host->port);
  host->portOpen = false;
  PumpingWait(100);
  return result;
}

int32_t BSLAttach(VexaBSLHost* host) {
  int32_t result = kErrNoAttempt;
  uint32_t attempt = 0;
  char answer[32];
  while (attempt < host->tries) {
    ++attempt;
    DSPurge(&host->port, 1);
    int32_t io = WriteThenRead(host, "\r", 200, answer);
    if (io < 0) {
      result = io;
      break;
    }
    if (Contains(answer, "?\r")) {
      result = kErrLoaderRunning;
      break;
    }
    DSPurge(&host->port, 1);
    io = WriteThenRead(host, "P", kRetryPauseMs, answer);
    if (io < 0) {
      result = io;
      break;
    }
    if (answer[0] == '#') {
      result = kResultOk;
      break;
    }
    result = kErrLoaderHandshake;
    PumpingWait(kRetryPauseMs);
  }
  if (result > 0) {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag, "BSLAttach successful (%d tries)",
               attempt);
  } else if (result == kErrLoaderRunning) {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag,
               "BSLAttach found the VexaBSL already active");
    result = kResultOk;
  } else {
    LogMessage(host->log, vexa_log_level::kError, kTag, "BSLAttach failed with error %d", result);
  }
  return result;
}

int32_t BSLHandOff(VexaBSLHost* host, int handle, char* readBuffer, const char* name, bool progress,
                   uint32_t tries) {
  if (!readBuffer || !name) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLHandOff called with some NULL parameters");
    return kErrBadArgument;
  }
  host->port.handle = handle;
  host->port.baud = kCommandBaud;
  host->port.gReadBuffer = readBuffer;
  host->port.ownsBuffer = false;
  host->port.dataReady = false;
  std::snprintf(host->port.name, sizeof host->port.name, "%s", name);
  host->progress = progress;
  host->tries = tries ? tries : 3;
  host->portOpen = true;
  return kResultOk;
}

int32_t BSLHandBack(VexaBSLHost* host) {
  host->port.handle = kNoHandle;
  host->port.gReadBuffer = nullptr;
  host->portOpen = false;
  return kResultOk;
}

int32_t BSLSendAddress(VexaBSLHost* host, uint32_t address, bool extended) {
  char text[8];
  // Without extended addressing the loader takes 16-bit addresses only.
  const int length = extended ? std::snprintf(text, sizeof text, "%05X", address & 0xFFFFF)
                              : std::snprintf(text, sizeof text, "%04X", address & 0xFFFF);
  char answer[kAnswerSize];
  uint32_t elapsed = 0;
  const int32_t result = WithRetries(host, [&] {
    return BSLCommand(host, '@', text, static_cast<uint32_t>(length), '\r', answer, &elapsed);
  });
  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLSendAddress (%05X) failed with error %d", address, result);
  } else {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag, "BSLSendAddress (%05X) successful",
               address);
  }
  return result;
}

int32_t BSLSendFirmware(VexaBSLHost* host, bool extended) {
  const uint32_t start = MsClock();
  const char* text = host->image.text;
  if (!text) return kErrMissingArgument;
  if (text[0] != '@') return kErrBadArgument;

  const uint32_t length = host->image.length;
  uint32_t position = 0;
  uint32_t fill = 0;
  uint32_t blockAddress = 0;
  int32_t result = kResultOk;
  while (position < length && result >= 0) {
    if (position % kBlockCharacters == 0 && !ReportProgress(host, length, position, 1, 'W')) {
      result = kErrCancelled;
      break;
    }
    if (text[position] == '@') {
      if (fill > 0) {
        result = SendBlock(host, fill, blockAddress, extended);
        if (result < 0) break;
      }
      // Five address digits follow; 16-bit addressing sends only the last four.
      char digits[6] = {};
      std::memcpy(digits, text + position + 1, position + 6 <= length ? 5 : length - position - 1);
      blockAddress =
          static_cast<uint32_t>(std::strtoul(extended ? digits : digits + 1, nullptr, 16));
      position += 6;
      result = BSLSendAddress(host, blockAddress, extended);
      fill = 0;
      continue;
    }
    host->blockBuffer[fill++] = text[position++];
    if (fill == kBlockCharacters) {
      result = SendBlock(host, fill, blockAddress, extended);
      blockAddress += kBlockCharacters / 2;
      fill = 0;
    }
  }
  if (result > 0 && fill > 0) result = SendBlock(host, fill, blockAddress, extended);
  ReportProgress(host, length, length, 2, 'W');

  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLSendFirmware failed with error %d (%d s)", result, SecondsSince(start));
  } else {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag, "BSLSendFirmware successful (%d s)",
               SecondsSince(start));
  }
  return result;
}

int32_t BSLSendVectors(VexaBSLHost* host) {
  PumpingWait(50);
  char answer[kAnswerSize];
  uint32_t elapsed = 0;
  const int32_t result = WithRetries(host, [&] {
    return BSLCommandValues(host, 'V', host->image.vectors, kVectorCount, '+', answer, &elapsed,
                            false);
  });
  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag, "BSLSendVectors failed with error %d",
               result);
  } else {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag, "BSLSendVectors successful");
  }
  return result;
}

int32_t BSLEraseINFO(VexaBSLHost* host, uint32_t start, uint32_t count, uint32_t step,
                     bool extended) {
  const uint32_t began = MsClock();
  uint32_t address = start;
  int32_t result = kErrNoAttempt;
  for (uint32_t segment = 0; segment < count; ++segment) {
    result = EraseSegment(host, address, extended);
    address += step;
    if (result < 0) break;
  }
  const long elapsed = MsSince(began);
  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLEraseINFO failed with error %d (%ld ms)", result, elapsed);
  } else {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag,
               "BSLEraseINFO successful: %d segments @ %X (%ld ms)", count, address, elapsed);
  }
  return result;
}

int32_t BSLEraseFlash(VexaBSLHost* host, uint32_t start, uint32_t end, bool extended) {
  const uint32_t began = MsClock();
  int32_t result = 0;
  if (start >= kLoaderAreaStart && start <= kLoaderAreaEnd) {
    result = kErrBadArgument;
  } else {
    const uint32_t total = end > start ? (end - start) / kSegmentSize : 0;
    uint32_t segment = 0;
    for (uint32_t address = start; address < end; ++segment) {
      if (segment % 10 == 0 &&
          !ReportProgress(host, total, (address - start) / kSegmentSize, 1, 'X')) {
        result = kErrCancelled;
        break;
      }
      result = EraseSegment(host, address, extended);
      if (result < 0) break;
      address += kSegmentSize;
      // The loader's own code and the vector segment are not the client's to erase.
      if (address >= kLoaderAreaStart && address <= kLoaderAreaEnd) address = 0x10000;
    }
    ReportProgress(host, total, total, 2, 'X');
  }
  const long seconds = static_cast<long>(SecondsSince(began));
  if (result < 0) {
    LogMessage(host->log, vexa_log_level::kError, kTag,
               "BSLEraseFlash failed with error %d (%ld s)", result, seconds);
  } else {
    LogMessage(host->log, vexa_log_level::kMilestone, kTag,
               "BSLEraseFlash successful: segment %X to %X (%ld s)", start, end, seconds);
  }
  return result;
}
