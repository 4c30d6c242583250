#include "loader/firmware_image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "link/result.h"
#include "loader/builtin_image.h"
#include "loader/ti_text.h"
#include "session/catalogue.h"
#include "tests/loader/image_files.h"

namespace {

using image_files::ReadFile;
using image_files::WriteFile;

const std::string kVectors =
    "@FFE0\n00 24 02 24 04 24 06 24 08 24 0A 24 0C 24 0E 24\n"
    "10 24 12 24 14 24 16 24 18 24 1A 24 1C 24 1E 24\n";
const std::string kThreeBytes = "@2400\n01 02 03\n" + kVectors + "q\n";

class FirmwareImageTest : public ::testing::Test {
 protected:
  FirmwareImageTest()
      : log_(scratch_.File("Updater.errors.txt").c_str(), vexa_log_level::kTrace),
        loader_(&log_, CatalogueTypeOfKey) {}

  std::string LogText() const { return ReadFile(log_.Path()); }

  // The parts of the image a load may change.
  struct Snapshot {
    std::string text;
    uint32_t length;
    std::vector<uint32_t> vectors;
    std::string name;
    uint8_t type;
    int32_t version;
    bool fromFile;
    bool operator==(const Snapshot&) const = default;
  };
  Snapshot Take() const {
    const FirmwareImage& image = loader_.image;
    return {std::string(image.text, image.length),
            image.length,
            std::vector<uint32_t>(image.vectors, image.vectors + kVectorCount),
            image.name,
            image.type,
            image.version,
            image.fromFile};
  }

  image_files::ScratchDir scratch_;
  VexaLog log_;
  VexaBSLHost loader_;
};

TEST_F(FirmwareImageTest, LoadReplacesTheImageAndNamesItAfterTheFile) {
  const std::string path = scratch_.File("FP 2-05.txt");
  WriteFile(path, kThreeBytes);
  ASSERT_EQ(BSLLoadTIFile(&loader_, path.c_str()), 1);

  const FirmwareImage& image = loader_.image;
  EXPECT_STREQ(image.text, "@024000201FF03");
  EXPECT_EQ(image.length, 14u);
  EXPECT_EQ(image.vectors[0], 0x2400u);
  EXPECT_EQ(image.vectors[15], 0x241Eu);
  EXPECT_TRUE(image.fromFile);
  EXPECT_STREQ(image.name, "FP 2.05");
  EXPECT_EQ(image.type, 14);
  EXPECT_EQ(image.version, 205);
  EXPECT_NE(LogText().find("VexaBSL: BSLLoadTIFile loaded file " + path + " ("), std::string::npos);

  // A second load replaces the first one's text.
  WriteFile(path, "@3000\n0A 0B\n@FFFE\n00 30\nq\n");
  ASSERT_EQ(BSLLoadTIFile(&loader_, path.c_str()), 1);
  EXPECT_STREQ(loader_.image.text, "@030000B0A");
  EXPECT_EQ(loader_.image.vectors[0], kUnsetVector);
  EXPECT_EQ(loader_.image.vectors[15], 0x3000u);
}

TEST_F(FirmwareImageTest, AFailedLoadLeavesTheImageAsItWas) {
  struct Bad {
    const char* what;
    std::string contents;
    bool logged;  // files that do not even look like TI-Text are refused quietly
  };
  const Bad files[] = {
      {"no q", "@2400\n01 02\n" + kVectors, false},
      {"not starting with @", "Hello\n" + kThreeBytes, false},
      {"binary",
       std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0@q",
                   12),
       false},
      {"a dropped section only", "@FA00\n11 22\nq\n", true},
      {"a vector cut short", "@2400\n01\n@FFE0\n00 2\nq\n", true},
      {"a vector section too long", "@FFFE\n00 24 00 25\nq\n", true},
      {"a damaged data digit", "@2400\n01 0: 03\n" + kVectors + "q\n", true},
  };
  const std::string loaded = scratch_.File("QD40 1-03.txt");
  WriteFile(loaded, kThreeBytes);
  for (bool fromFile : {false, true}) {
    if (fromFile) {
      ASSERT_EQ(BSLLoadTIFile(&loader_, loaded.c_str()), 1);
    }
    const Snapshot before = Take();
    for (const Bad& bad : files) {
      SCOPED_TRACE(bad.what);
      const std::string path = scratch_.File("FP 9-99.txt");
      WriteFile(path, bad.contents);
      std::filesystem::remove(log_.Path());
      EXPECT_EQ(BSLLoadTIFile(&loader_, path.c_str()), kErrNotTiText);
      EXPECT_TRUE(Take() == before);
      const bool logged = LogText().find("VexaBSL: BSLLoadTIFile: file " + path +
                                         " is not a valid TI-Text file (") != std::string::npos;
      EXPECT_EQ(logged, bad.logged);
    }
  }
}

// A copy of the built-in image's file in which one data digit was damaged: every digit after it
// would move to another byte if the damage were skipped.
TEST_F(FirmwareImageTest, AFileWithOneDamagedDigitIsRefused) {
  const std::string original = ReadFile(std::string(VEXA_SOURCE_DIR) + "/loader/builtin_image.txt");
  const size_t data = original.find('\n', original.find('@')) + 1;
  ASSERT_NE(data, std::string::npos);
  for (const char damage : {'G', 'o', '#', '\x7f'}) {
    SCOPED_TRACE(damage);
    std::string damaged = original;
    damaged[data + 1] = damage;
    const std::string path = scratch_.File("FP 2-00.txt");
    WriteFile(path, damaged);
    EXPECT_EQ(BSLLoadTIFile(&loader_, path.c_str()), kErrNotTiText);
    EXPECT_FALSE(loader_.image.fromFile);
  }
  // The undamaged file loads.
  const std::string path = scratch_.File("FP 2-00.txt");
  WriteFile(path, original);
  EXPECT_EQ(BSLLoadTIFile(&loader_, path.c_str()), 1);
}

TEST_F(FirmwareImageTest, FilesThatCannotBeReadSayWhy) {
  const std::string missing = scratch_.File("missing.txt");
  EXPECT_EQ(BSLLoadTIFile(&loader_, missing.c_str()), kErrFileMissing);
  EXPECT_NE(LogText().find("VexaBSL: BSLLoadTIFile got error 2 trying to open datafile " + missing),
            std::string::npos);
  EXPECT_EQ(BSLLoadTIFile(&loader_, scratch_.File("").c_str()), kErrIsFolder);
  EXPECT_EQ(BSLLoadTIFile(&loader_, nullptr), kErrMissingArgument);
  // A FIFO nobody writes would hold the run.
  const std::string fifo = scratch_.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(BSLLoadTIFile(&loader_, fifo.c_str()), kErrFileReadFailed);
  EXPECT_FALSE(loader_.image.fromFile);
}

TEST_F(FirmwareImageTest, HugeFilesAreRefused) {
  // Larger than any image can be: refused from its size, without reading 17 MiB of nothing.
  const std::string sparse = scratch_.File("huge.txt");
  WriteFile(sparse, "@");
  ASSERT_EQ(truncate(sparse.c_str(), 17 << 20), 0);
  EXPECT_EQ(BSLLoadTIFile(&loader_, sparse.c_str()), kErrNotTiText);
  EXPECT_NE(LogText().find("BSLLoadTIFile: file " + sparse + " is not a valid TI-Text file"),
            std::string::npos);
  // A device without a size is read only up to the limit.
  EXPECT_EQ(BSLLoadTIFile(&loader_, "/dev/zero"), kErrNotTiText);
  EXPECT_FALSE(loader_.image.fromFile);
}

TEST(IdentifyImageFile, NameTypeAndVersionComeFromTheFileName) {
  struct Case {
    const char* path;
    const char* name;
    int type;
    int32_t version;
  };
  const std::string longPath = "/fw/" + std::string(70, 'x') + ".txt";
  const std::string longName(64, 'x');
  const Case cases[] = {
      {"/data/FP 2-05.txt", "FP 2.05", 14, 205},
      {"C:\\Firmware\\qd40 1-03.txt", "qd40 1.03", 3, 103},
      {"fw/QRN 2.00 C.txt", "QRN 2.00 C", 0, 200},
      {"/fw/fp-2-05.txt", "fp-2.05", 14, 205},
      {"/fw/HS4_3-10-beta.txt", "HS4_3-10-beta", 15, 10},
      {"/fw/SRB-1-2.TXT", "SRB-1.2.TXT", 16, 12},  // only ".txt" is cut
      {"/fw/firmware.txt.bak", "firmware", 0, 0},
      {"/fw/FP", "FP", 14, 0},
      {"/fw/ 2-05.txt", " 2.05", 0, 205},
      {"/fw/AQUEL-TE 1-00.txt", "AQUEL-TE 1.00", 0, 100},  // the key stops at '-'
      {"/fw/LS 123456789012345.txt", "LS 123456789012345", 9, 2147483647},
      {longPath.c_str(), longName.c_str(), 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const ImageIdentity identity = IdentifyImageFile(c.path, CatalogueTypeOfKey);
    EXPECT_STREQ(identity.name, c.name);
    EXPECT_EQ(identity.type, c.type);
    EXPECT_EQ(identity.version, c.version);
  }
  EXPECT_EQ(IdentifyImageFile("/fw/FP 2-05.txt", nullptr).type, 0);
}

// Splits a listing into lines; every line must end with a line feed.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "the listing's last line has no line feed";
  return lines;
}

TEST_F(FirmwareImageTest, DumpOfTheBuiltinImage) {
  const std::string path = scratch_.File("dump.txt");
  ASSERT_EQ(BSLWriteTIFile(&loader_, path.c_str()), 1);
  EXPECT_NE(LogText().find("VexaBSL: BSLWriteTIFile wrote file " + path + " ("), std::string::npos);

  const std::vector<std::string> lines = Lines(ReadFile(path));
  struct Expected {
    const char* header;
    size_t dataCharacters;
  };
  const Expected sections[] = {
      {"@02400", 109520}, {"@10000", 44660}, {"@0FE00", 4}, {"@0FFC0", 64}};
  size_t line = 0;
  std::string data;  // every data character in order, to compare with the image text
  for (const Expected& section : sections) {
    ASSERT_LT(line, lines.size());
    EXPECT_EQ(lines[line++], section.header);
    data += section.header;
    size_t characters = 0;
    while (line < lines.size() && lines[line][0] != '@') {
      const size_t length = lines[line].size();
      characters += length;
      // Full lines of 32; only a section's last line may be shorter.
      if (characters < section.dataCharacters) {
        EXPECT_EQ(length, 32u) << "line " << line + 1;
      } else {
        EXPECT_GT(length, 0u);
        EXPECT_LE(length, 32u);
      }
      data += lines[line++];
    }
    EXPECT_EQ(characters, section.dataCharacters) << section.header;
  }
  EXPECT_EQ(data, std::string(loader_.image.text));

  ASSERT_EQ(lines.size(), line + 3);
  EXPECT_EQ(lines[line], "@FFE0");
  char vectorLines[2][40];
  const uint32_t* v = kBuiltinImageVectors;
  for (int row = 0; row < 2; ++row) {
    std::snprintf(vectorLines[row], sizeof vectorLines[row], "%04X%04X%04X%04X%04X%04X%04X%04X",
                  v[8 * row], v[8 * row + 1], v[8 * row + 2], v[8 * row + 3], v[8 * row + 4],
                  v[8 * row + 5], v[8 * row + 6], v[8 * row + 7]);
  }
  EXPECT_EQ(lines[line + 1], vectorLines[0]);
  EXPECT_EQ(lines[line + 2], vectorLines[1]);
}

TEST_F(FirmwareImageTest, DumpOfALoadedImageKeepsItsDigitsAndShowsUnsetVectors) {
  const std::string source = scratch_.File("small.txt");
  WriteFile(source, "@2400\n01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11\n@FFFE\n00 24\nq\n");
  ASSERT_EQ(BSLLoadTIFile(&loader_, source.c_str()), 1);
  const std::string path = scratch_.File("dump.txt");
  ASSERT_EQ(BSLWriteTIFile(&loader_, path.c_str()), 1);
  EXPECT_EQ(ReadFile(path),
            "@02400\n"
            "02010403060508070a090c0b0e0d100f\n"  // 32 characters: eight words
            "FF11\n"
            "@FFE0\n"
            "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\n"
            "FFFFFFFFFFFFFFFFFFFFFFFFFFFF2400\n");
}

TEST_F(FirmwareImageTest, DumpFailuresSayWhy) {
  const std::string noFolder = scratch_.File("missing/dump.txt");
  EXPECT_EQ(BSLWriteTIFile(&loader_, noFolder.c_str()), kErrFileMissing);
  EXPECT_NE(
      LogText().find("VexaBSL: BSLWriteTIFile got error 2 trying to open datafile " + noFolder),
      std::string::npos);
  // A full disk is a failure, not a listing cut short.
  EXPECT_EQ(BSLWriteTIFile(&loader_, "/dev/full"), kErrDiskFull);
  EXPECT_NE(LogText().find("VexaBSL: BSLWriteTIFile got error 28 writing datafile /dev/full"),
            std::string::npos);
}

}  // namespace
