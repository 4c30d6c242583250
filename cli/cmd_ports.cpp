// vexabsl ports: the serial ports as the window lists them, with what Linux adds for each: the
// stable /dev/serial/by-id path, the USB ids and serial number, the program that holds a busy
// port, and whether the user may open it. --all probes ttyS0 to ttyS15 as Force Find All Comm
// Ports does; --json prints the same for scripts.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "link/port_advice.h"
#include "link/port_enum.h"

namespace {

struct PortsOptions {
  bool all = false;
  bool json = false;
};

nlohmann::json JsonOf(const CommPortEntry& entry) {
  nlohmann::json out = {
      {"name", entry.name}, {"description", entry.description}, {"number", entry.number},
      {"busy", entry.busy}, {"open_result", entry.openResult},
  };
  if (entry.byIdPath[0]) out["by_id"] = entry.byIdPath;
  if (entry.usbVendorId[0]) {
    out["usb"] = {{"vendor_id", entry.usbVendorId},
                  {"product_id", entry.usbProductId},
                  {"serial", entry.usbSerial}};
  }
  if (entry.holderPid) out["holder"] = {{"pid", entry.holderPid}, {"name", entry.holderName}};
  return out;
}

void PrintEntry(const CommPortEntry& entry) {
  std::printf("%-10s %s\n", entry.name, entry.description);
  if (entry.byIdPath[0]) std::printf("           %s\n", entry.byIdPath);
  if (entry.usbVendorId[0]) {
    std::printf("           USB %s:%s%s%s\n", entry.usbVendorId, entry.usbProductId,
                entry.usbSerial[0] ? " serial " : "", entry.usbSerial);
  }
  if (entry.holderPid) {
    std::printf("           held by %s (process %d)\n", entry.holderName, entry.holderPid);
  }
  if (entry.openResult == kErrPermission) std::printf("           no permission to open it\n");
}

int RunPorts(const PortsOptions& options) {
  CommPortEnumerator enumerator;
  CommPortEntry table[kPortTableCapacity];
  uint32_t count = kPortTableCapacity;
  const int32_t result = CommPortEnum(&enumerator, table, &count, options.all);
  if (result < 0) return ReportFailure("listing the ports", result);

  if (options.json) {
    nlohmann::json out = nlohmann::json::array();
    for (uint32_t i = 0; i < count; ++i) out.push_back(JsonOf(table[i]));
    std::printf("%s\n", out.dump().c_str());
    return kExitOk;
  }
  if (count == 0) std::printf("No serial ports found%s\n", options.all ? "" : " (try --all)");
  std::string advice;
  for (uint32_t i = 0; i < count; ++i) {
    PrintEntry(table[i]);
    // The advice a failed open would give, once per kind of trouble.
    if (table[i].openResult == kErrPermission && advice.empty()) {
      advice = PortOpenAdvice(table[i].name, kErrPermission);
    }
  }
  for (uint32_t i = 0; i < count && advice.empty(); ++i) {
    advice = ModemManagerWarning(table[i].name);
  }
  if (!advice.empty()) std::fprintf(stderr, "\n%s", advice.c_str());
  return kExitOk;
}

}  // namespace

void SetupPortsCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<PortsOptions>();
  CLI::App* ports =
      app.add_subcommand("ports", "List the serial ports as the updater's window offers them");
  ports->add_flag("--all", options->all, "Also probe ttyS0 to ttyS15 (Force Find All Comm Ports)");
  ports->add_flag("--json", options->json, "Print one JSON array");
  ports->callback([&run, options] { run = [options] { return RunPorts(*options); }; });
}
