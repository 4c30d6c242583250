// A umockdev testbed of fake serial devices for the port discovery tests: USB adapters with
// their USB attributes, on-board UARTs with their serial-core type, and virtual consoles. The
// real libudev calls see them, and each device with a node gets a pseudo-terminal behind
// /dev/NAME that a process can open and hold. Tests using it run under umockdev-wrapper.
#pragma once

#include <umockdev.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

struct FakeUsbPort {
  std::string tty;        // ttyUSB0 or ttyACM0
  std::string usbDevice;  // the USB device's sysfs name, for example 1-3 (sets the listing order)
  std::string vendorId;
  std::string productId;
  std::string product;     // the USB product string; empty: the device has none
  std::string serial;      // empty: none
  std::string usbExtra{};  // more "E: KEY=value" lines for the USB device
  std::string ttyExtra{};  // more "E: KEY=value" lines for the tty
  std::string byId{};      // the name of a link under /dev/serial/by-id, if any
};

class FakePorts {
 public:
  FakePorts() {
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload")) {
      throw std::runtime_error("the port discovery tests run under umockdev-wrapper");
    }
    bed_ = umockdev_testbed_new();
  }
  ~FakePorts() { g_object_unref(bed_); }
  FakePorts(const FakePorts&) = delete;
  FakePorts& operator=(const FakePorts&) = delete;

  void AddUsb(const FakeUsbPort& port) {
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/" + port.usbDevice;
    std::string text = "P: " + usb + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
                       "A: idVendor=" + port.vendorId + "\nA: idProduct=" + port.productId + "\n";
    if (!port.product.empty()) text += "A: product=" + port.product + "\n";
    if (!port.serial.empty()) text += "A: serial=" + port.serial + "\n";
    text += port.usbExtra + "\n";
    const std::string interface = usb + "/" + port.usbDevice + ":1.0";
    text += "P: " + interface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n\n";
    // USB serial drivers put the tty under a port device of their own; CDC ACM does not.
    const bool acm = port.tty.rfind("ttyACM", 0) == 0;
    const std::string parent = acm ? interface : interface + "/" + port.tty;
    if (!acm) text += "P: " + parent + "\nE: SUBSYSTEM=usb-serial\n\n";
    text += Tty(parent + "/tty/" + port.tty, port.tty, true) + port.ttyExtra;
    if (!port.byId.empty()) text += "S: serial/by-id/" + port.byId + "\n";
    Add(text + "\n");
  }

  // An on-board UART with its serial-core `type` (0: a slot with no UART). Without a parent it
  // sits among the virtual devices, where the system's list does not take it.
  void AddUart(const std::string& name, int type, bool withParent = true, bool withNode = true) {
    std::string text;
    std::string parent = "/devices/virtual";
    if (withParent) {
      parent = "/devices/pnp0/00:0" + std::to_string(next_minor_ % 10);
      text += "P: " + parent + "\nE: SUBSYSTEM=pnp\n\n";
    }
    text += Tty(parent + "/tty/" + name, name, withNode) + "A: type=" + std::to_string(type) + "\n";
    Add(text + "\n");
  }

  // A virtual console or other tty with no device behind it.
  void AddVirtualTty(const std::string& name) {
    Add(Tty("/devices/virtual/tty/" + name, name, true));
  }

 private:
  std::string Tty(const std::string& path, const std::string& name, bool withNode) {
    const std::string minor = std::to_string(next_minor_++);
    std::string text = "P: " + path + "\n";
    if (withNode) text += "N: " + name + "\nE: DEVNAME=/dev/" + name + "\n";
    return text + "E: SUBSYSTEM=tty\nE: MAJOR=188\nE: MINOR=" + minor + "\nA: dev=188:" + minor +
           "\n";
  }

  void Add(const std::string& text) {
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, text.c_str(), &error)) {
      const std::string message = error ? error->message : "unknown";
      if (error) g_error_free(error);
      throw std::runtime_error("umockdev refused a device: " + message + "\n" + text);
    }
  }

  UMockdevTestbed* bed_ = nullptr;
  int next_minor_ = 0;
};
