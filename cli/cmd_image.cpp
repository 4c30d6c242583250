// vexabsl image info | dump: the firmware image an update would write - the built-in one, or a
// TI-Text file loaded the way the window's "Open Firmware File" loads it.
#include <cstdio>
#include <memory>
#include <string>

#include "app/product.h"
#include "cli/commands.h"
#include "loader/bsl_host.h"
#include "loader/firmware_image.h"
#include "loader/ti_text.h"
#include "session/catalogue.h"

namespace {

struct ImageOptions {
  std::string file;  // empty: the built-in image
  std::string out;
};

// Checks the built-in image and loads the file, if one is given. Returns kExitOk or the exit
// code of the reported failure.
int PrepareImage(VexaBSLHost& host, const ImageOptions& options) {
  if (host.image.status != 0) return ReportFailure("built-in image check", host.image.status);
  if (options.file.empty()) return kExitOk;
  const int32_t result = BSLLoadTIFile(&host, options.file.c_str());
  if (result < 0) return ReportFailure(("loading " + options.file).c_str(), result);
  return kExitOk;
}

void PrintInfo(const FirmwareImage& image) {
  DeviceDescriptor target;
  DescribeDevice(image.type, kAnyVersion, &target);
  const int32_t version = image.fromFile ? image.version : product::kImageVersion;

  std::printf("image      %s (%s)\n", image.name, image.fromFile ? "file" : "built-in");
  std::printf("type       %d %s\n", image.type, target.name);
  std::printf("version    %d\n", version);
  std::printf("length     %u characters\n", image.length);
  std::printf("char sum   %llu\n",
              static_cast<unsigned long long>(ImageTextCharSum(image.text, image.length)));

  uint32_t count = 0;
  uint64_t bytes = 0;
  uint32_t offset = 0;
  ImageSection section;
  while (NextImageSection(image.text, image.length, &offset, &section)) {
    ++count;
    bytes += section.dataLength / 2;
  }
  std::printf("sections   %u, %llu bytes\n", count, static_cast<unsigned long long>(bytes));
  offset = 0;
  while (NextImageSection(image.text, image.length, &offset, &section)) {
    std::printf("  @%05X   %u bytes\n", section.address, section.dataLength / 2);
  }

  for (uint32_t row = 0; row < kVectorCount; row += 8) {
    std::printf("%s @%04X", row == 0 ? "vectors   " : "          ", kVectorBase + 2 * row);
    for (uint32_t i = row; i < row + 8; ++i) std::printf(" %04X", image.vectors[i]);
    std::printf("\n");
  }
}

int RunInfo(const ImageOptions& options) {
  VexaBSLHost host(nullptr, CatalogueTypeOfKey);
  if (const int exit = PrepareImage(host, options); exit != kExitOk) return exit;
  PrintInfo(host.image);
  return kExitOk;
}

int RunDump(const ImageOptions& options) {
  VexaBSLHost host(nullptr, CatalogueTypeOfKey);
  if (const int exit = PrepareImage(host, options); exit != kExitOk) return exit;
  const int32_t result = BSLWriteTIFile(&host, options.out.c_str());
  if (result < 0) return ReportFailure(("writing " + options.out).c_str(), result);
  std::printf("wrote %s to %s\n", host.image.name, options.out.c_str());
  return kExitOk;
}

}  // namespace

void SetupImageCommand(CLI::App& app, CommandRunner& run) {
  CLI::App* image =
      app.add_subcommand("image", "Show or dump the firmware image that an update writes");
  image->require_subcommand(1);
  auto options = std::make_shared<ImageOptions>();

  CLI::App* info = image->add_subcommand(
      "info", "Name, target type, version, check values, sections and vectors of the image");
  info->add_option("--file", options->file,
                   "Load this TI-Text file instead of using the built-in image")
      ->check(FileToRead());
  info->callback([&run, options] { run = [options] { return RunInfo(*options); }; });

  CLI::App* dump = image->add_subcommand(
      "dump", "Write the image as a listing: sections, 32-character data lines, vectors");
  dump->add_option("--out", options->out, "The listing to write")->required()->check(FileToWrite());
  dump->add_option("--file", options->file,
                   "Load this TI-Text file instead of using the built-in image")
      ->check(FileToRead());
  dump->callback([&run, options] { run = [options] { return RunDump(*options); }; });
}
