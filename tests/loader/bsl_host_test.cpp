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

}  // namespace
