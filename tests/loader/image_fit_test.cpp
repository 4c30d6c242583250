// Firmware images against the memory map of the family they are for: what the update erases is
// all an image may write, once, with code in it and a reset vector to start it.
#include "loader/image_fit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/result.h"
#include "loader/builtin_image.h"
#include "loader/firmware_image.h"
#include "loader/ti_text.h"
#include "tests/loader/image_files.h"

namespace {

using image_files::ReadFile;
using image_files::WriteFile;

// The catalogue's maps: the FieldPal (type 14) and the first row, which most families use.
constexpr LoaderMemoryMap kFieldPal = {0x2100, 0x1FF00, 0x1000, 3, 0x40};
constexpr LoaderMemoryMap kFirstRow = {0x1100, 0xF9FF, 0x1000, 2, 0x80};

struct Image {
  std::string text;
  uint32_t vectors[kVectorCount];
};

Image Convert(const std::string& tiText) {
  Image image;
  char* text = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(ConvertTiText(tiText.data(), tiText.size(), &text, &length, image.vectors), 1)
      << tiText;
  if (text) image.text.assign(text, length);
  delete[] text;
  return image;
}

// `bytes` bytes of 3C as a TI-Text section at `address`.
std::string Section(uint32_t address, uint32_t bytes) {
  char header[16];
  std::snprintf(header, sizeof header, "@%X\n", address);
  std::string section = header;
  for (uint32_t i = 0; i < bytes; ++i) section += i % 16 == 15 ? "3C\n" : "3C ";
  return section + "\n";
}

struct FitCase {
  const char* what;
  LoaderMemoryMap map;
  std::string sections;  // TI-Text sections; the case's vectors and "q" follow
  ImageFitFault fault;
  uint32_t first = 0;  // the section at fault
  bool resetVector = true;
};

TEST(CheckImageFit, AnImageMustLieInTheErasedMemoryOnceWithCodeAndAResetVector) {
  const FitCase cases[] = {
      {"code in the main flash, above 64 KiB and in the vector segment", kFieldPal,
       Section(0x2400, 600) + Section(0x10000, 77) + Section(0xFE00, 2) + Section(0xFFC0, 32),
       ImageFitFault::kNone},
      {"the information memory and the first, half segment of the flash", kFieldPal,
       Section(0x1000, 0xC0) + Section(0x2100, 0x100), ImageFitFault::kNone},
      {"the top of the FieldPal's flash", kFieldPal, Section(0x1FF00, 0x100), ImageFitFault::kNone},
      {"the top of the first row's flash", kFirstRow, Section(0xF9F0, 0x10), ImageFitFault::kNone},
      {"the information memory running into the first row's flash", kFirstRow,
       Section(0x10F0, 0x20), ImageFitFault::kNone},

      {"below the flash", kFieldPal, Section(0x2000, 4), ImageFitFault::kOutsideMemory, 0x2000},
      {"past the information memory", kFieldPal, Section(0x10BE, 4), ImageFitFault::kOutsideMemory,
       0x10BE},
      {"past the top of the flash", kFieldPal, Section(0x1FFF0, 0x12),
       ImageFitFault::kOutsideMemory, 0x1FFF0},
      {"into the loader's own code", kFieldPal, Section(0xF9F0, 0x20),
       ImageFitFault::kOutsideMemory, 0xF9F0},
      {"over the vector words", kFieldPal, Section(0xFFD0, 0x20), ImageFitFault::kOutsideMemory,
       0xFFD0},
      {"above 64 KiB for a family whose flash ends below it", kFirstRow, Section(0x10000, 2),
       ImageFitFault::kOutsideMemory, 0x10000},
      {"an odd section whose padding byte leaves the flash", kFirstRow, Section(0xF9FF, 1),
       ImageFitFault::kOutsideMemory, 0xF9FF},

      {"two sections sharing bytes", kFieldPal, Section(0x2400, 0x20) + Section(0x2410, 4),
       ImageFitFault::kOverlap, 0x2410},
      {"the same section twice, apart in the file", kFieldPal,
       Section(0x3000, 8) + Section(0x10000, 8) + Section(0x3000, 8), ImageFitFault::kOverlap,
       0x3000},
      {"sections that only meet", kFieldPal, Section(0x2400, 0x20) + Section(0x2420, 4),
       ImageFitFault::kNone},

      {"vectors only", kFieldPal, "", ImageFitFault::kNoCode},
      {"headers without data", kFieldPal, "@2400\n@3000\n", ImageFitFault::kNoCode},
      {"only a section the converter drops", kFieldPal, Section(0xFA00, 4), ImageFitFault::kNoCode},

      {"every vector but the reset vector", kFieldPal, Section(0x2400, 4),
       ImageFitFault::kNoResetVector, 0, false},
  };
  for (const FitCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string vectors = "@FFE0\n";
    for (uint32_t i = 0; i < (c.resetVector ? 16 : 15); ++i) vectors += "00 24 ";
    const Image image = Convert("@FFE0\n\n" + c.sections + vectors + "\nq\n");
    const ImageFit fit = CheckImageFit(image.text.c_str(), static_cast<uint32_t>(image.text.size()),
                                       image.vectors, c.map);
    EXPECT_EQ(fit.fault, c.fault);
    if (c.fault == ImageFitFault::kOutsideMemory || c.fault == ImageFitFault::kOverlap) {
      EXPECT_EQ(fit.first, c.first);
    }
  }
}

// The images the updater carries fit the families they are for.
TEST(CheckImageFit, TheBuiltInImagesFitTheirFamilies) {
  VexaBSLHost fieldPal(nullptr);
  ASSERT_EQ(fieldPal.image.status, 0);
  const ImageFit fit =
      CheckImageFit(fieldPal.image.text, fieldPal.image.length, fieldPal.image.vectors, kFieldPal);
  EXPECT_EQ(fit.fault, ImageFitFault::kNone) << std::hex << fit.first;

  VexaBSLHost sensor(nullptr, nullptr, &kSensorImage);
  ASSERT_EQ(sensor.image.status, 0);
  const LoaderMemoryMap sensorMap = {0x8000, 0xF9FF, 0x1000, 3, 0x40};
  const ImageFit sensorFit =
      CheckImageFit(sensor.image.text, sensor.image.length, sensor.image.vectors, sensorMap);
  EXPECT_EQ(sensorFit.fault, ImageFitFault::kNone) << std::hex << sensorFit.first;
}

// A file that does not fit is refused by the load that is given the map, with its reason in the
// error file, and the image stays as it was; without a map (image info and dump) it loads.
TEST(CheckImageFit, ALoadGivenTheMapRefusesAnImageThatDoesNotFit) {
  image_files::ScratchDir scratch;
  VexaLog log(scratch.File("errors.txt").c_str(), vexa_log_level::kTrace);

  struct Refused {
    std::string file;
    int32_t result;
    const char* logged;
  };
  const std::string vectors = "@FFFE\n00 24\n";
  const Refused files[] = {
      {"@1100\n01 02\n" + vectors + "q\n", kErrImageOutsideMemory,
       "section @01100 to 01101 lies outside the flash"},
      {"@2400\n01 02 03 04\n@2402\n05 06\n" + vectors + "q\n", kErrImageOverlaps,
       "sections @02400 and @02402 overlap"},
      {vectors + "q\n", kErrImageNoCode, "it holds no code"},
      {"@2400\n01 02\n@FFE0\n00 24\nq\n", kErrImageNoResetVector, "its reset vector is unset"},
  };
  for (const Refused& refused : files) {
    SCOPED_TRACE(refused.logged);
    VexaBSLHost loader(&log);
    const std::string builtinText = loader.image.text;
    const std::string path = scratch.File("FP 2-10.txt");
    WriteFile(path, refused.file);
    EXPECT_EQ(BSLLoadTIFile(&loader, path.c_str(), &kFieldPal), refused.result);
    EXPECT_FALSE(loader.image.fromFile);
    EXPECT_EQ(loader.image.text, builtinText);
    EXPECT_NE(ReadFile(log.Path())
                  .find("VexaBSL: BSLLoadTIFile: file " + path +
                        " does not fit the instrument: " + refused.logged),
              std::string::npos);
    EXPECT_EQ(BSLLoadTIFile(&loader, path.c_str(), nullptr), 1) << "loaded for inspection";
  }
}

}  // namespace
