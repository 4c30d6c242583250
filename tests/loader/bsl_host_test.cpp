#include "loader/bsl_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/result.h"
#include "loader/builtin_image.h"
#include "loader/firmware_image.h"
#include "loader/ti_text.h"
#include "session/catalogue.h"

namespace {

TEST(VexaBSLHost, HoldsACheckedCopyOfTheBuiltinImage) {
  VexaBSLHost loader(nullptr, CatalogueTypeOfKey);
  const FirmwareImage& image = loader.image;
  EXPECT_EQ(image.status, 0);
  ASSERT_NE(image.text, nullptr);
  EXPECT_NE(image.text, kBuiltinImageText);  // an owned copy
  EXPECT_EQ(image.length, 154272u);
  EXPECT_EQ(std::strlen(image.text), 154272u);
  EXPECT_EQ(ImageTextCharSum(image.text, image.length), 8438260u);
  EXPECT_STREQ(image.name, "QRN 2.00 C");
  EXPECT_EQ(image.type, 14);
  EXPECT_FALSE(image.fromFile);
  EXPECT_NE(loader.commandBuffer, nullptr);
  EXPECT_NE(loader.blockBuffer, nullptr);
  EXPECT_FALSE(loader.portOpen);

  struct Expected {
    uint32_t address;
    uint32_t bytes;
  };
  const Expected sections[] = {{0x02400, 54760}, {0x10000, 22330}, {0x0FE00, 2}, {0x0FFC0, 32}};
  uint32_t offset = 0;
  ImageSection section;
  for (const Expected& expected : sections) {
    ASSERT_TRUE(NextImageSection(image.text, image.length, &offset, &section));
    EXPECT_EQ(section.address, expected.address);
    EXPECT_EQ(section.dataLength, 2 * expected.bytes);
  }
  EXPECT_FALSE(NextImageSection(image.text, image.length, &offset, &section));

  // The reset vector (0xFFFE) starts the code in the first section.
  const uint32_t reset = image.vectors[15];
  EXPECT_GE(reset, 0x2400u);
  EXPECT_LT(reset, 0x2400u + 54760u);
  EXPECT_EQ(reset % 2, 0u);
  for (uint32_t i = 0; i < kVectorCount; ++i) EXPECT_EQ(image.vectors[i], kBuiltinImageVectors[i]);
}

TEST(VexaBSLHost, TheCheckNoticesADamagedImageText) {
  std::string text = kBuiltinImageText;
  EXPECT_EQ(CheckBuiltinImageText(text.c_str()), 1);
  text[1000] = static_cast<char>(text[1000] ^ 1);  // one character changed
  EXPECT_EQ(CheckBuiltinImageText(text.c_str()), kErrImageDamaged);
  text = std::string(kBuiltinImageText).substr(0, 154271);  // one character short
  EXPECT_EQ(CheckBuiltinImageText(text.c_str()), kErrImageDamaged);
  text = std::string(kBuiltinImageText) + "0";
  EXPECT_EQ(CheckBuiltinImageText(text.c_str()), kErrImageDamaged);
  EXPECT_EQ(CheckBuiltinImageText(nullptr), kErrImageDamaged);
}

// The embedded image is what loading its TI-Text file gives.
TEST(VexaBSLHost, TheDataFileLoadsToTheEmbeddedImage) {
  VexaBSLHost loader(nullptr, CatalogueTypeOfKey);
  const std::string path = std::string(VEXA_SOURCE_DIR) + "/loader/builtin_image.txt";
  ASSERT_EQ(BSLLoadTIFile(&loader, path.c_str()), 1);
  EXPECT_EQ(std::string(loader.image.text), std::string(kBuiltinImageText));
  for (uint32_t i = 0; i < kVectorCount; ++i) {
    EXPECT_EQ(loader.image.vectors[i], kBuiltinImageVectors[i]) << i;
  }
  EXPECT_STREQ(loader.image.name, "builtin_image");
}

// The sensor updater's image: checked like the FieldPal's, what its TI-Text file loads to, and
// inside the sensor's main flash below the loader's own code (catalogue type 10's map).
TEST(VexaBSLHost, CarriesTheSensorImageWithItsChecksAndTheSensorsMemoryMap) {
  VexaBSLHost loader(nullptr, CatalogueTypeOfKey, &kSensorImage);
  const FirmwareImage& image = loader.image;
  ASSERT_EQ(image.status, 0);
  EXPECT_STREQ(image.name, "AERIX14 4.00");
  EXPECT_EQ(image.type, 10);
  EXPECT_EQ(image.length, kSensorImage.length);
  EXPECT_EQ(CheckImageText(kSensorImage, image.text), 1);
  std::string damaged = image.text;
  damaged[7] = damaged[7] == '0' ? '1' : '0';
  EXPECT_EQ(CheckImageText(kSensorImage, damaged.c_str()), kErrImageDamaged);
  EXPECT_EQ(CheckBuiltinImageText(image.text), kErrImageDamaged);  // not the FieldPal's

  DeviceDescriptor sensor;
  DescribeDevice(10, kAnyVersion, &sensor);
  const std::string text = image.text;
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
    const uint32_t start = static_cast<uint32_t>(std::stoul(text.substr(at + 1, 5), nullptr, 16));
    const size_t next = text.find('@', at + 1);
    const size_t digits = (next == std::string::npos ? text.size() : next) - at - 6;
    const uint32_t end = start + static_cast<uint32_t>(digits / 2);
    EXPECT_GE(start, sensor.flashStart);
    EXPECT_LE(end, sensor.flashEnd + 1);
  }
  EXPECT_EQ(image.vectors[kVectorCount - 1], sensor.flashStart);  // reset: the start of the code

  VexaBSLHost fromFile(nullptr, CatalogueTypeOfKey);
  const std::string path = std::string(VEXA_SOURCE_DIR) + "/loader/sensor_image.txt";
  ASSERT_EQ(BSLLoadTIFile(&fromFile, path.c_str()), 1);
  EXPECT_EQ(std::string(fromFile.image.text), text);
}

}  // namespace
