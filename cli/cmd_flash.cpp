// vexabsl flash: programs an instrument at the loader level - connect to its bootstrap loader,
// erase the information memory and the flash, write the image and the vectors. No identification,
// no settings: the service tool for an instrument stuck in its loader.
#include <cstdio>
#include <memory>
#include <string>

#include "app/firmware_write.h"
#include "app/product.h"
#include "app/progress_event.h"
#include "cli/commands.h"
#include "cli/console_progress.h"
#include "cli/interrupts.h"
#include "link/port_advice.h"
#include "loader/bsl_host.h"
#include "loader/bsl_protocol.h"
#include "loader/firmware_image.h"
#include "session/catalogue.h"

namespace {

constexpr uint32_t kConnectTries = 3;

struct FlashOptions {
  std::string port;
  std::string file;
  int type = product::kCatalogueType;
  std::string log;
  bool verbose = false;
};

// What a failing step was doing, in the order of LoaderStep.
const char* const kStepNames[] = {"erasing the information memory", "erasing the flash",
                                  "writing the firmware", "writing the vectors"};

// The loader's progress hook: the erase and the write each on a bar of its own, with their count.
bool ShowLoaderProgress(void* bar, uint32_t total, uint32_t done, int, char kind) {
  static_cast<ConsoleBar*>(bar)->Show({LoaderPhase(kind), PercentOf(done, total), done, total});
  return !StopRequested();
}

// Connects to the loader and runs its steps; the first failure ends them. Returns 1 or the
// failing code and names the step in `failedStep`.
int32_t Program(VexaBSLHost& host, const FlashOptions& options, const DeviceDescriptor& device,
                const char** failedStep) {
  *failedStep = "connecting to the loader";
  int32_t result = BSLConnect(&host, options.port.c_str(), device.loaderBaud, true, kConnectTries);
  if (result < 0) return result;
  std::fprintf(stderr, "Connected to VexaBSL version %d at %u baud\n", result, device.loaderBaud);
  LoaderStep failed = LoaderStep::kEraseInfo;
  result = EraseAndWrite(&host, device, {}, &failed);
  if (result < 0) *failedStep = kStepNames[static_cast<int>(failed)];
  BSLDisconnect(&host);
  return result;
}

int RunFlash(const FlashOptions& options) {
  DeviceDescriptor device;
  DescribeDevice(options.type, kAnyVersion, &device);
  if (device.type == kUnknownType) {
    std::fprintf(stderr, "vexabsl: --type %d is not an instrument family (1 to 24)\n",
                 options.type);
    return kExitUsage;
  }

  const std::string logPath = options.log.empty() ? ErrorFilePath() : options.log;
  VexaLog log(logPath.c_str(), options.verbose ? vexa_log_level::kBytes : vexa_log_level::kTrace);
  VexaBSLHost host(&log, CatalogueTypeOfKey);
  if (host.image.status != 0) return ReportFailure("built-in image check", host.image.status);
  if (!options.file.empty()) {
    // Refused before the loader is even started when it cannot be written whole.
    const LoaderMemoryMap map = MemoryMapOf(device);
    const int32_t loaded = BSLLoadTIFile(&host, options.file.c_str(), &map);
    if (loaded < 0) return ReportFailure(("loading " + options.file).c_str(), loaded);
  }
  if (host.image.type != kUnknownType && host.image.type != device.type) {
    DeviceDescriptor imageFor;
    DescribeDevice(host.image.type, kAnyVersion, &imageFor);
    std::fprintf(stderr, "vexabsl: the image %s is for a %s, not a %s\n", host.image.name,
                 imageFor.name, device.name);
    return ReportFailure("flash", kErrWrongDevice);
  }

  ConsoleBar bar(true);
  host.progressHook = ShowLoaderProgress;
  host.progressContext = &bar;
  StopOnInterrupt();

  std::fprintf(stderr, "Flashing %s into the %s on %s\n", host.image.name, device.name,
               options.port.c_str());
  const uint32_t start = MsClock();
  const char* failedStep = "";
  const int32_t result = Program(host, options, device, &failedStep);
  bar.End();
  const uint32_t seconds = (MsClock() - start) / 1000;
  std::fprintf(stderr, "Log: %s\n", logPath.c_str());
  if (result < 0) std::fputs(PortOpenAdvice(options.port.c_str(), result).c_str(), stderr);
  if (result < 0) return ReportFailure(failedStep, result);
  std::printf("Flashed %s in %u seconds\n", host.image.name, seconds);
  return kExitOk;
}

}  // namespace

void SetupFlashCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<FlashOptions>();
  CLI::App* flash = app.add_subcommand(
      "flash", "Program an instrument through its bootstrap loader (no settings are kept)");
  flash->add_option("--port", options->port, "Serial port: ttyUSB0, or a device path")->required();
  flash->add_option("--file", options->file, "TI-Text firmware file (default: built-in image)")
      ->check(FileToRead());
  flash->add_option("--type", options->type, "Catalogue type of the instrument family")
      ->capture_default_str();
  flash->add_option("--log", options->log, "Error file (default: in the data folder)")
      ->check(FileToWrite());
  flash->add_flag("--verbose", options->verbose, "Log every byte on the wire");
  flash->callback([&run, options] { run = [options] { return RunFlash(*options); }; });
}
