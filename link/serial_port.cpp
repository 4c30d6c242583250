#include "link/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "link/baud_rates.h"
#include "link/port_lock.h"

namespace {

constexpr const char* kClosedTag = "VexaSerial";

// A read returns what has arrived or waits this long for the first byte.
constexpr int kFirstByteTimeoutMs = 100;

// After five empty reads a long DSWait also pauses this long per round (PumpingWait: the thread's
// message pump, where it has one, runs meanwhile).
constexpr int kQuietReadsBeforePumping = 5;
constexpr uint32_t kPumpingLimitMs = 400;
constexpr uint32_t kPumpingSliceMs = 200;

bool IsOpen(const SerialPort* port) {
  return port->handle != kNoHandle;
}

// Reads what the port has, waiting at most `timeoutMs` for the first byte. Returns the bytes
// read, 0 on a time-out, or a negated errno. A line that hung up (an adapter pulled out, the
// other end of a pseudo-terminal closed) is EIO at once: on Linux such a read would otherwise
// return 0 like a time-out and a caller would wait out its whole limit.
int ReadSome(int fd, char* into, uint32_t count, int timeoutMs) {
  const uint32_t start = MsClock();
  for (;;) {
    const int remaining = timeoutMs - MsSince(start);
    struct pollfd request = {fd, POLLIN, 0};
    const int ready = poll(&request, 1, remaining > 0 ? remaining : 0);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    if (ready == 0) return 0;
    const ssize_t got = read(fd, into, count);
    if (got > 0) return static_cast<int>(got);
    if (got == 0) return -EIO;
    if (errno != EAGAIN && errno != EINTR) return -errno;
    if (request.revents & (POLLHUP | POLLERR | POLLNVAL)) return -EIO;
    if (remaining <= 0) return 0;
  }
}

// Asks the driver to hand over received bytes at once. USB serial adapters otherwise hold each
// answer up to 16 ms, which the loader's one-frame-one-answer protocol pays hundreds of times.
void RequestLowLatency(SerialPort* port) {
  struct serial_struct serial;
  if (ioctl(port->handle, TIOCGSERIAL, &serial) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(port->handle, TIOCSSERIAL, &serial) == 0) return;
  }
  LogMessage(port->log, vexa_log_level::kBytes, port->name,
             "DSOpen could not set low latency (error %d)", errno);
}

// Raises or lowers DTR and RTS. Pseudo-terminals have no modem lines; that is logged, not fatal.
void SetModemLines(SerialPort* port, bool raise, const char* operation) {
  int lines = TIOCM_DTR | (raise ? TIOCM_RTS : 0);
  if (ioctl(port->handle, raise ? TIOCMBIS : TIOCMBIC, &lines) != 0) {
    LogMessage(port->log, vexa_log_level::kBytes, port->name,
               "%s could not set the modem lines (error %d)", operation, errno);
  }
}

void ApplyLineSettings(struct termios* settings, speed_t speed) {
  cfmakeraw(settings);
  settings->c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings->c_cflag |= CS8 | CREAD | CLOCAL | HUPCL;  // HUPCL drops DTR on the last close
  settings->c_iflag &= ~(IXON | IXOFF | IXANY);
  settings->c_cc[VMIN] = 0;
  settings->c_cc[VTIME] = 1;
  cfsetispeed(settings, speed);
  cfsetospeed(settings, speed);
}

}  // namespace

// Open errors a user can act on get the numbers the application explains: 2 (no such port),
// 5 (held by another program) and 13 (no permission). The log lines print these.
int PortOpenError(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return 2;
    case EBUSY:
    case EWOULDBLOCK:
      return 5;
    case EACCES:
    case EPERM:
      return 13;
    default:
      return error;
  }
}

int32_t PortOpenResult(int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return kErrPortMissing;
    case EBUSY:
    case EWOULDBLOCK:
      return kErrPortBusy;
    case EACCES:
    case EPERM:
      return kErrPermission;
    case ENOTTY:
    case EISDIR:
      return kErrNotSerialPort;
    case EIO:
      return kErrPortNoResponse;
    case EINVAL:
      return kErrPortSettingsRefused;
    case ENOMEM:
      return kErrOutOfMemory;
    default:
      return kErrPortOpenFailed;
  }
}

std::string PortDevicePath(const char* name) {
  if (name[0] == '/') return name;
  return std::string("/dev/") + name;
}

bool IsStandardBaud(uint32_t baud) {
  speed_t code;
  return SpeedCodeOf(baud, &code);
}

int32_t DSOpen(SerialPort* port, const char* name, uint32_t baud) {
  if (IsOpen(port)) {
    LogMessage(port->log, vexa_log_level::kBytes, kClosedTag,
               "DSOpen found port \"%d\" already open", port->handle);
    DSClose(port);
    PumpingWait(100);
  }
  if (!name) name = "";
  std::snprintf(port->name, sizeof port->name, "%s", name);

  // Exclusive use: TIOCEXCL keeps other users out, but root ignores it, so the port's flock and
  // lock file (port_lock.h) mark it as taken among programs that respect locks (this one
  // included). Under a HoldPort they are already ours.
  const std::string path = PortDevicePath(name);
  const int claimError = ClaimPortForOpen(path.c_str(), port->log, port->name);
  if (claimError != 0) {
    LogMessage(port->log, vexa_log_level::kError, port->name,
               "DSOpen failed to open comm port (error %d)", PortOpenError(claimError));
    return PortOpenResult(claimError);
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    EndPortClaim(path.c_str());
    LogMessage(port->log, vexa_log_level::kError, port->name,
               "DSOpen failed to open comm port (error %d)", PortOpenError(error));
    return PortOpenResult(error);
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    LogMessage(port->log, vexa_log_level::kBytes, port->name,
               "DSOpen could not claim the port exclusively (error %d)", errno);
  }
  port->handle = fd;

  // A device that cannot be configured (not a terminal, a rate the driver refuses) is closed
  // again: a descriptor left behind would hold the port's lock and make it look busy. "DCB",
  // "ReadFile" and "WriteFile" in this file's log lines are the error file's own words for the
  // line settings, the read and the write; they stay as service staff know them.
  struct termios settings;
  if (tcgetattr(fd, &settings) != 0) {
    const int error = errno;
    LogMessage(port->log, vexa_log_level::kError, port->name,
               "DSOpen failed to retreive DCB on comm port (error %d)", error);
    DSClose(port);
    return PortOpenResult(error);
  }
  port->baud = baud ? baud : 9600;
  speed_t speed;
  int apply_error = 0;
  if (!SpeedCodeOf(port->baud, &speed)) {
    apply_error = EINVAL;
  } else {
    ApplyLineSettings(&settings, speed);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) apply_error = errno;
  }
  if (apply_error) {
    LogMessage(port->log, vexa_log_level::kError, port->name,
               "DSOpen failed to apply DCB on comm port (error %d)", apply_error);
    DSClose(port);
    return PortOpenResult(apply_error);
  }
  SetModemLines(port, true, "DSOpen");
  RequestLowLatency(port);

  if (!port->gReadBuffer) {
    port->gReadBuffer = new (std::nothrow) char[kReadBufferSize];
    if (!port->gReadBuffer) {
      DSClose(port);
      return kErrOutOfMemory;
    }
    port->ownsBuffer = true;
  } else {
    port->ownsBuffer = false;
  }
  std::memset(port->gReadBuffer, 0, kReadBufferSize);
  port->dataReady = false;

  LogMessage(port->log, vexa_log_level::kTrace, port->name,
             "DSOpen successfully opened and configured comm port at %d baud", port->baud);
  return kResultOk;
}

int32_t DSClose(SerialPort* port) {
  if (!IsOpen(port)) return 0;
  SetModemLines(port, false, "DSClose");
  ioctl(port->handle, TIOCNXCL);  // the line discipline keeps the flag while others hold the tty
  EndPortClaimOf(port->handle);
  const int result = close(port->handle);
  const int error = errno;
  port->handle = kNoHandle;
  if (port->ownsBuffer) {
    delete[] port->gReadBuffer;
    port->gReadBuffer = nullptr;
    port->ownsBuffer = false;
  }
  port->dataReady = false;
  if (result != 0 && error != EINTR) {
    LogMessage(port->log, vexa_log_level::kError, port->name,
               "DSClose failed to close comm port (error %d)", error);
    return -error;
  }
  LogMessage(port->log, vexa_log_level::kTrace, port->name, "DSClose closed comm port");
  return kResultOk;
}

int32_t DSRead(SerialPort* port, char* buffer, uint32_t size, uint32_t* got) {
  uint32_t delivered = 0;
  if (got) *got = 0;
  if (!port->gReadBuffer) return kErrOutOfMemory;

  if (port->gReadBuffer[0] != 0) {
    uint32_t length = static_cast<uint32_t>(strnlen(port->gReadBuffer, kReadBufferSize));
    if (length > size) {
      length = size;  // the rest is dropped; the caller gets no port read this time
      port->dataReady = true;
    }
    std::memcpy(buffer, port->gReadBuffer, length);
    delivered = length;
    port->gReadBuffer[0] = 0;
    LogMessage(port->log, vexa_log_level::kBytes, port->name,
               "DSRead read %d bytes from gReadBuffer", delivered);
  }
  if (got) *got = delivered;
  if (port->dataReady) {
    port->dataReady = false;
    return static_cast<int32_t>(delivered);
  }
  if (!IsOpen(port)) {
    LogMessage(port->log, vexa_log_level::kError, kClosedTag,
               "DSRead tried to read from a closed port");
    return kErrNoAnswer;
  }
  if (size > delivered) {
    const int read =
        ReadSome(port->handle, buffer + delivered, size - delivered, kFirstByteTimeoutMs);
    if (read < 0) {
      LogMessage(port->log, vexa_log_level::kError, port->name, "DSRead ReadFile failed (error %d)",
                 -read);
      return kErrNoAnswer;
    }
    delivered += static_cast<uint32_t>(read);
    LogMessage(port->log, vexa_log_level::kBytes, port->name, "DSRead read %d btyes", read);
  }
  if (got) *got = delivered;
  return static_cast<int32_t>(delivered);
}

int32_t DSWrite(SerialPort* port, const char* bytes, uint32_t count, uint32_t* written) {
  if (written) *written = 0;
  if (!IsOpen(port)) {
    LogMessage(port->log, vexa_log_level::kError, kClosedTag,
               "DSWrite tried to write to a closed port");
    return kErrNoAnswer;
  }
  // A write may take 10 ms per byte plus 100 ms, like the link's write time-out; what went out
  // by then is reported.
  const int limit_ms = 10 * static_cast<int>(count) + 100;
  const uint32_t start = MsClock();
  uint32_t sent = 0;
  while (sent < count) {
    const ssize_t n = write(port->handle, bytes + sent, count - sent);
    if (n > 0) {
      sent += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      LogMessage(port->log, vexa_log_level::kError, port->name,
                 "DSWrite WriteFile failed (error %d)", errno);
      return kErrNoAnswer;
    }
    const int remaining = limit_ms - MsSince(start);
    if (remaining <= 0) break;
    struct pollfd request = {port->handle, POLLOUT, 0};
    if (poll(&request, 1, remaining) < 0 && errno != EINTR) {
      LogMessage(port->log, vexa_log_level::kError, port->name,
                 "DSWrite WriteFile failed (error %d)", errno);
      return kErrNoAnswer;
    }
    if (request.revents & (POLLHUP | POLLERR | POLLNVAL)) {
      LogMessage(port->log, vexa_log_level::kError, port->name,
                 "DSWrite WriteFile failed (error %d)", EIO);
      return kErrNoAnswer;
    }
  }
  if (written) *written = sent;
  LogMessage(port->log, vexa_log_level::kBytes, port->name, "DSWrite wrote %d bytes", sent);
  return static_cast<int32_t>(sent);
}

int32_t DSPurge(SerialPort* port, int mode) {
  if (mode == 1 && IsOpen(port)) tcflush(port->handle, TCIFLUSH);
  if (port->gReadBuffer) port->gReadBuffer[0] = 0;
  // What was collected is gone, so the next DSRead must read the port again.
  port->dataReady = false;
  return 0;
}

int32_t DSWait(SerialPort* port, uint32_t timeoutMs, char character) {
  if (!IsOpen(port)) {
    LogMessage(port->log, vexa_log_level::kError, kClosedTag,
               "DSWait tried to operate on a closed port");
    return kErrNoAnswer;
  }
  if (!port->gReadBuffer) return kErrOutOfMemory;

  const uint32_t start = MsClock();
  uint32_t fill = 0;
  int quiet_reads = 0;
  port->gReadBuffer[0] = 0;
  port->dataReady = false;
  for (;;) {
    const uint32_t space = kReadBufferSize - 1 - fill;
    const int read =
        space > 0 ? ReadSome(port->handle, port->gReadBuffer + fill, space, kFirstByteTimeoutMs)
                  : 0;
    if (read < 0) {
      LogMessage(port->log, vexa_log_level::kError, port->name, "DSWait ReadFile failed (error %d)",
                 -read);
      return kErrNoAnswer;
    }
    if (read > 0) {
      fill += static_cast<uint32_t>(read);
      port->gReadBuffer[fill] = 0;
      // The collected bytes are text: a binary zero ends what is searched, as it ends what
      // DSRead delivers.
      if (std::strchr(port->gReadBuffer, character)) {
        port->dataReady = true;
        LogMessage(port->log, vexa_log_level::kBytes, port->name, "DSWait found '%c' in %d ms",
                   character, MsSince(start));
        return static_cast<unsigned char>(character);
      }
      continue;
    }
    const int32_t elapsed = MsSince(start);
    // A full buffer cannot take the awaited character any more: give up rather than spin.
    if (elapsed > static_cast<int32_t>(timeoutMs) || space == 0) {
      LogMessage(port->log, vexa_log_level::kBytes, port->name,
                 "DSWait read %d bytes, but never found '%c' in %d ms", fill, character, elapsed);
      return 0;
    }
    if (++quiet_reads > kQuietReadsBeforePumping && timeoutMs > kPumpingLimitMs) {
      PumpingWait(kPumpingSliceMs);
    }
  }
}

int32_t DSHostBaud(SerialPort* port, uint32_t baud) {
  if (baud == port->baud) return 0;
  if (port->name[0] == 0) return kErrNoPortName;
  struct termios settings;
  speed_t speed;
  int error = 0;
  if (!SpeedCodeOf(baud, &speed)) {
    error = EINVAL;
  } else if (tcgetattr(port->handle, &settings) != 0) {
    error = errno;
  } else {
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    // TCSADRAIN: a command written just before the change still leaves at the old rate.
    if (tcsetattr(port->handle, TCSADRAIN, &settings) != 0) error = errno;
  }
  if (error) {
    LogMessage(port->log, vexa_log_level::kError, port->name,
               "DSHostBaud failed to apply new baud rate \"%d\" (error %d)", baud, error);
    return -error;
  }
  port->baud = baud;
  return kResultOk;
}
