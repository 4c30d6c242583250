#include "link/port_enum.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "link/port_listing.h"
#include "link/port_use.h"

namespace {

constexpr const char* kTag = "VexaSerial";
constexpr const char* kByIdFolder = "/dev/serial/by-id";
constexpr uint32_t kProbedUarts = 16;  // ttyS0 to ttyS15

// The maker's USB cable adapter: its product id, the mark in its serial number, and the product
// strings it reports.
constexpr const char* kAdapterProductId = "8414";
constexpr const char* kAdapterSerialMark = "NORVANE_LKA";
constexpr const char* kAdapterProducts[] = {"Norvane USB", "Norvane LKA"};
constexpr const char* kAdapterName = "KALTO USB Adapter";
// The radio modem's vendor sells it as the PKG-U; the maker sells it as its own Mx2.
constexpr const char* kRadioModemProducts[] = {"MaxStream PKG-U", "Digi PKG-U"};
constexpr const char* kRadioModemName = "Norvane USB Mx2";

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

template <size_t N>
bool ContainsAny(const std::string& text, const char* const (&parts)[N]) {
  return std::any_of(parts, parts + N, [&](const char* part) { return Contains(text, part); });
}

std::string GroupOf(const std::string& name) {
  return name.substr(0, name.find_last_not_of("0123456789") + 1);
}

// The words after the port's name in the list.
std::string Describe(const ListedPort& port) {
  if (port.friendlyName.empty()) return port.name + " Communications Port";
  // A name that repeats the port in brackets ("USB Serial Port (ttyUSB0)") ends before them.
  std::string friendly = port.friendlyName.substr(0, 64);
  friendly = friendly.substr(0, friendly.find(" (" + GroupOf(port.name)));
  if (ContainsAny(friendly, kRadioModemProducts)) return port.name + " " + kRadioModemName;
  if (ContainsAny(friendly, kAdapterProducts) &&
      strcasecmp(port.usbProductId.c_str(), kAdapterProductId) == 0 &&
      Contains(port.usbSerial, kAdapterSerialMark)) {
    // Adapters made for one instrument carry its name in brackets in the serial number.
    const size_t bracket = port.usbSerial.find('[');
    if (bracket == std::string::npos) return port.name + " " + kAdapterName;
    return port.name + " " + kAdapterName + " " + port.usbSerial.substr(bracket);
  }
  return port.name + " " + friendly;
}

template <size_t N>
void Copy(char (&field)[N], const std::string& text) {
  std::snprintf(field, N, "%s", text.c_str());
}

std::string DevicePathOf(const char* name) {
  return std::string("/dev/") + name;
}

// The links under /dev/serial/by-id, by the device each leads to; their names stay the same
// whichever port number the adapter gets.
struct ByIdLink {
  struct stat target;
  std::string path;
};
std::vector<ByIdLink> ReadByIdLinks() {
  std::vector<ByIdLink> links;
  DIR* folder = opendir(kByIdFolder);
  if (!folder) return links;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    ByIdLink link;
    link.path = std::string(kByIdFolder) + "/" + entry->d_name;
    if (stat(link.path.c_str(), &link.target) == 0) links.push_back(std::move(link));
  }
  closedir(folder);
  std::sort(links.begin(), links.end(),
            [](const ByIdLink& a, const ByIdLink& b) { return a.path < b.path; });
  return links;
}

void NoteByIdPath(CommPortEntry* entry, const std::vector<ByIdLink>& links) {
  struct stat device;
  if (stat(DevicePathOf(entry->name).c_str(), &device) != 0) return;
  for (const ByIdLink& link : links) {
    if (link.target.st_dev == device.st_dev && link.target.st_ino == device.st_ino) {
      Copy(entry->byIdPath, link.path);
      return;
    }
  }
}

void AppendToDescription(CommPortEntry* entry, const char* text) {
  const size_t used = std::strlen(entry->description);
  std::snprintf(entry->description + used, sizeof entry->description - used, "%s", text);
}

// Marks the entries [first, end) that another program holds: our own exclusive open fails, or a
// process has the device open (a program that takes no lock, or anything when we are root and
// the exclusive flag does not stop us). Notes the holder where /proc shows it.
void CheckBusy(CommPortEntry* first, CommPortEntry* end) {
  std::vector<std::string> paths;
  for (CommPortEntry* entry = first; entry != end; ++entry) {
    entry->openResult = TryPortOpen(DevicePathOf(entry->name).c_str());
    paths.push_back(DevicePathOf(entry->name));
  }
  const std::vector<PortHolder> holders = FindPortHolders(paths);
  for (CommPortEntry* entry = first; entry != end; ++entry) {
    const PortHolder& holder = holders[entry - first];
    entry->busy = entry->openResult == kErrPortBusy || holder.pid != 0;
    if (!entry->busy) continue;
    entry->holderPid = holder.pid;
    Copy(entry->holderName, holder.name);
    AppendToDescription(entry, " (busy)");
  }
}

bool InTable(const CommPortEntry* table, uint32_t filled, const char* name) {
  return std::any_of(table, table + filled, [&](const CommPortEntry& entry) {
    return std::strcmp(entry.name, name) == 0;
  });
}

// Appends the on-board UARTs ttyS0 to ttyS15 that exist, are real and are not yet listed, while
// the table has room. Returns the new number of entries.
uint32_t ProbeUarts(CommPortEntry* table, uint32_t filled, uint32_t capacity) {
  const uint32_t first = filled;
  for (uint32_t number = 0; number < kProbedUarts && filled < capacity; ++number) {
    char name[kPortEntryNameSize];
    std::snprintf(name, sizeof name, "ttyS%u", number);
    struct stat node;
    if (InTable(table, filled, name) || stat(DevicePathOf(name).c_str(), &node) != 0 ||
        !IsRealUart(name)) {
      continue;
    }
    CommPortEntry& entry = table[filled++];
    Copy(entry.name, name);
    std::snprintf(entry.description, sizeof entry.description, "%s Communications Port", name);
    entry.number = number;
  }
  CheckBusy(table + first, table + filled);
  return filled;
}

int32_t Enumerate(CommPortEnumerator* enumerator, CommPortEntry* table, uint32_t capacity,
                  bool forceFindAll, uint32_t* filled) {
  std::vector<ListedPort> listed;
  listed.reserve(capacity);
  if (ListSerialPorts(&listed, capacity) < 0) {
    LogMessage(enumerator ? enumerator->log : nullptr, vexa_log_level::kError, kTag,
               "CommPortEnum cannot read the device list; probing ttyS0 to ttyS%u",
               kProbedUarts - 1);
    forceFindAll = true;
  }
  std::stable_sort(listed.begin(), listed.end(), [](const ListedPort& a, const ListedPort& b) {
    const std::string groupA = GroupOf(a.name), groupB = GroupOf(b.name);
    if (groupA != groupB) return groupA < groupB;
    return a.number < b.number;
  });

  const std::vector<ByIdLink> links = ReadByIdLinks();
  uint32_t count = 0;
  for (const ListedPort& port : listed) {
    CommPortEntry& entry = table[count++];
    Copy(entry.name, port.name);
    Copy(entry.description, Describe(port));
    entry.number = port.number;
    Copy(entry.usbVendorId, port.usbVendorId);
    Copy(entry.usbProductId, port.usbProductId);
    Copy(entry.usbSerial, port.usbSerial);
  }
  CheckBusy(table, table + count);
  if (forceFindAll) count = ProbeUarts(table, count, capacity);
  for (uint32_t i = 0; i < count; ++i) NoteByIdPath(&table[i], links);
  *filled = count;
  return static_cast<int32_t>(count);
}

}  // namespace

int32_t CommPortEnum(CommPortEnumerator* enumerator, CommPortEntry* table, uint32_t* count,
                     bool forceFindAll) {
  if (!table || !count) return kErrMissingArgument;
  const uint32_t capacity = *count;
  if (capacity == 0) return kErrBadArgument;
  std::fill(table, table + capacity, CommPortEntry{});
  *count = 0;
  try {
    return Enumerate(enumerator, table, capacity, forceFindAll, count);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}
