// The system's list of serial ports, read through libudev: the tty devices that a hardware driver
// backs (USB serial adapters, USB CDC ACM devices, on-board UARTs that exist), with what the
// device list knows about each: the USB product string or the hardware database's names, the
// USB ids and serial number. Virtual consoles and pseudo-terminals have no device behind them and
// are not listed. Port discovery turns these facts into the window's port list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ListedPort {
  std::string name;          // the device name, for example ttyUSB0 (what DSOpen takes)
  uint32_t number = 0;       // the digits that end the name
  std::string friendlyName;  // USB product string, else hardware database vendor and model
  std::string usbVendorId;   // four hex digits, empty for a port that is not on USB
  std::string usbProductId;
  std::string usbSerial;  // the USB serial number, may be empty
};

// Fills `ports` with at most `limit` ports in the order the device list gives them. A device
// whose name does not end in digits, or is longer than `kMaxListedName` characters, is skipped.
// Returns the number of ports listed, or -1 when the device list cannot be read (no udev).
constexpr size_t kMaxListedName = 23;
int32_t ListSerialPorts(std::vector<ListedPort>* ports, size_t limit);

// The number that ends `name` ("ttyUSB10" gives 10); false when it does not end in a digit or
// has nothing before the digits.
bool PortNumberOf(const std::string& name, uint32_t* number);

// True when the UART driver reports a real port for the serial-core device `name` (its "type" in
// sysfs is not 0, the "unknown" of ports that are only placeholders, like ttyS4 to ttyS31 on
// most computers); false when there is no such device.
bool IsRealUart(const char* name);

// True when the device list tells ModemManager to leave the port alone: ID_MM_DEVICE_IGNORE=1 on
// the tty device or on a device above it (the USB device, as the project's udev rules set it).
bool ModemManagerIgnores(const char* name);
