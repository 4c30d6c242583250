#include "link/port_listing.h"

#include <libudev.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

struct UdevFree {
  void operator()(udev* context) const { udev_unref(context); }
  void operator()(udev_enumerate* listing) const { udev_enumerate_unref(listing); }
  void operator()(udev_device* device) const { udev_device_unref(device); }
};
using Udev = std::unique_ptr<udev, UdevFree>;
using UdevListing = std::unique_ptr<udev_enumerate, UdevFree>;
using UdevDevice = std::unique_ptr<udev_device, UdevFree>;

std::string Text(const char* value) {
  return value ? value : "";
}

// A udev property of the device or, failing that, of the nearest device above it that has it.
std::string PropertyUpward(udev_device* device, const char* key) {
  for (udev_device* at = device; at; at = udev_device_get_parent(at)) {
    if (const char* value = udev_device_get_property_value(at, key)) return value;
  }
  return {};
}

// The serial-core "type" of a tty in sysfs: absent for drivers outside the serial core (USB
// serial, CDC ACM), "0" for a port slot with no UART behind it.
std::string UartType(const char* name) {
  std::ifstream in(std::string("/sys/class/tty/") + name + "/type");
  std::string type;
  if (!(in >> type)) return {};
  return type;
}

// A port: a tty with a device behind it, and when it is a serial-core port, a real one.
bool IsHardwarePort(udev_device* tty) {
  if (!udev_device_get_parent(tty)) return false;  // virtual consoles, ptmx, ttyprintk
  return UartType(udev_device_get_sysname(tty)) != "0";
}

std::string FriendlyNameOf(udev_device* tty, udev_device* usb) {
  if (usb) {
    std::string product = Text(udev_device_get_sysattr_value(usb, "product"));
    if (!product.empty()) return product;
  }
  const std::string vendor = PropertyUpward(tty, "ID_VENDOR_FROM_DATABASE");
  const std::string model = PropertyUpward(tty, "ID_MODEL_FROM_DATABASE");
  if (vendor.empty() || model.empty()) return vendor + model;
  return vendor + " " + model;
}

}  // namespace

bool PortNumberOf(const std::string& name, uint32_t* number) {
  size_t digits = name.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  if (digits == 0 || digits == name.size() || name.size() - digits > 9) return false;
  *number = static_cast<uint32_t>(std::stoul(name.substr(digits)));
  return true;
}

int32_t ListSerialPorts(std::vector<ListedPort>* ports, size_t limit) {
  ports->clear();
  Udev context(udev_new());
  if (!context) return -1;
  UdevListing listing(udev_enumerate_new(context.get()));
  if (!listing || udev_enumerate_add_match_subsystem(listing.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(listing.get()) < 0) {
    return -1;
  }
  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(listing.get())) {
    if (ports->size() >= limit) break;
    UdevDevice tty(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!tty || !IsHardwarePort(tty.get())) continue;
    ListedPort port;
    port.name = Text(udev_device_get_sysname(tty.get()));
    if (port.name.size() > kMaxListedName || !PortNumberOf(port.name, &port.number)) continue;
    // The parent lookup's result belongs to `tty` and is released with it.
    udev_device* usb =
        udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_device");
    if (usb) {
      port.usbVendorId = Text(udev_device_get_sysattr_value(usb, "idVendor"));
      port.usbProductId = Text(udev_device_get_sysattr_value(usb, "idProduct"));
      port.usbSerial = Text(udev_device_get_sysattr_value(usb, "serial"));
    }
    port.friendlyName = FriendlyNameOf(tty.get(), usb);
    ports->push_back(std::move(port));
  }
  return static_cast<int32_t>(ports->size());
}

bool IsRealUart(const char* name) {
  const std::string type = UartType(name);
  return !type.empty() && type != "0";
}

bool ModemManagerIgnores(const char* name) {
  Udev context(udev_new());
  if (!context) return false;
  UdevDevice tty(udev_device_new_from_subsystem_sysname(context.get(), "tty", name));
  if (!tty) return false;
  for (udev_device* at = tty.get(); at; at = udev_device_get_parent(at)) {
    const char* value = udev_device_get_property_value(at, "ID_MM_DEVICE_IGNORE");
    if (value && std::strcmp(value, "1") == 0) return true;
  }
  return false;
}
