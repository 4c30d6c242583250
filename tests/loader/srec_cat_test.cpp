// srec_cat (Debian's srecord) as an independent writer and reader of TI-Text: what it writes we
// must load to exactly its bytes, and what it reads from our data file must be the bytes we embed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "loader/bsl_host.h"
#include "loader/builtin_image.h"
#include "loader/firmware_image.h"
#include "loader/ti_text.h"
#include "session/catalogue.h"
#include "tests/loader/image_files.h"

namespace {

using image_files::DecodeImageText;
using image_files::ReadFile;
using image_files::WriteFile;

bool HaveSrecCat() {
  return std::system("command -v srec_cat >/dev/null 2>&1") == 0;
}

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Hex(uint32_t value) {
  std::ostringstream text;
  text << "0x" << std::hex << std::uppercase << value;
  return text.str();
}

std::string RandomBytes(std::mt19937& random, uint32_t count) {
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

class SrecCatTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(HaveSrecCat()) << "srec_cat is missing: tools/install-deps"; }

  image_files::ScratchDir scratch_;
};

TEST_F(SrecCatTest, RandomBinariesLoadToTheBytesSrecCatWrote) {
  struct Block {
    uint32_t address;
    uint32_t size;
  };
  struct Layout {
    const char* what;
    std::vector<Block> blocks;
  };
  // No block touches 0xFFE0-0xFFFF: srec_cat would join it to the vector section.
  const Layout layouts[] = {
      {"an odd-length section above 0xFFFF", {{0x2400, 1000}, {0x10002, 333}}},
      {"one byte, a large section, the top of flash",
       {{0x1100, 1}, {0x4000, 4103}, {0x1F000, 255}}},
      {"short sections just below the vectors", {{0x3000, 2}, {0xFE00, 3}, {0xFFC0, 31}}},
      {"odd start addresses, the top of 20 bits", {{0x8001, 17}, {0xFFFF6, 10}}},
  };
  uint32_t seed = 1;
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.what);
    std::mt19937 random(seed++);
    std::map<uint32_t, uint8_t> written;
    std::string command = "srec_cat";
    for (size_t i = 0; i < layout.blocks.size(); ++i) {
      const Block& block = layout.blocks[i];
      const std::string bytes = RandomBytes(random, block.size);
      const std::string path = scratch_.File("block" + std::to_string(i) + ".bin");
      WriteFile(path, bytes);
      command += " '" + path + "' -binary -offset " + Hex(block.address);
      for (uint32_t k = 0; k < block.size; ++k) {
        written[block.address + k] = static_cast<uint8_t>(bytes[k]);
      }
    }
    const std::string vectorBytes = RandomBytes(random, 2 * kVectorCount);
    const std::string vectorPath = scratch_.File("vectors.bin");
    WriteFile(vectorPath, vectorBytes);
    const std::string tiText = scratch_.File("image.txt");
    command += " '" + vectorPath + "' -binary -offset 0xFFE0 -o '" + tiText + "' -ti-txt";
    ASSERT_EQ(RunShell(command), 0) << command;

    VexaBSLHost loader(nullptr, CatalogueTypeOfKey);
    ASSERT_EQ(BSLLoadTIFile(&loader, tiText.c_str()), 1) << ReadFile(tiText);

    std::map<uint32_t, bool> lastBytes;
    const std::map<uint32_t, uint8_t> loaded = DecodeImageText(loader.image.text, &lastBytes);
    for (const auto& [address, byte] : written) {
      const auto found = loaded.find(address);
      ASSERT_NE(found, loaded.end()) << Hex(address);
      EXPECT_EQ(found->second, byte) << Hex(address);
    }
    // The only bytes srec_cat did not write are the FF that complete an odd section.
    for (const auto& [address, byte] : loaded) {
      if (written.count(address)) continue;
      EXPECT_EQ(byte, 0xFF) << Hex(address);
      EXPECT_TRUE(lastBytes.count(address)) << Hex(address);
    }
    for (uint32_t i = 0; i < kVectorCount; ++i) {
      const uint32_t expected = static_cast<uint8_t>(vectorBytes[2 * i]) |
                                static_cast<uint8_t>(vectorBytes[2 * i + 1]) << 8;
      EXPECT_EQ(loader.image.vectors[i], expected) << "vector " << i;
    }
  }
}

TEST_F(SrecCatTest, SrecCatReadsTheDataFileAsTheEmbeddedImage) {
  const std::string binary = scratch_.File("image.bin");
  // srec_cat remarks that the sections are not in ascending order; that order is intended.
  ASSERT_EQ(RunShell("srec_cat '" + std::string(VEXA_SOURCE_DIR) +
                     "/loader/builtin_image.txt' -ti-txt -o '" + binary + "' -binary 2>/dev/null"),
            0);
  const std::string memory = ReadFile(binary);  // file offset = address
  const std::map<uint32_t, uint8_t> embedded = DecodeImageText(kBuiltinImageText);
  ASSERT_EQ(embedded.size(), 77124u);
  for (const auto& [address, byte] : embedded) {
    ASSERT_LT(address, memory.size());
    ASSERT_EQ(static_cast<uint8_t>(memory[address]), byte) << Hex(address);
  }
  for (uint32_t i = 0; i < kVectorCount; ++i) {
    const uint32_t at = kVectorBase + 2 * i;
    const uint32_t word = static_cast<uint8_t>(memory[at]) | static_cast<uint8_t>(memory[at + 1])
                                                                 << 8;
    EXPECT_EQ(word, kBuiltinImageVectors[i]) << "vector " << i;
  }
}

}  // namespace
