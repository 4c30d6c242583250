#include "loader/ti_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "link/result.h"
#include "tests/loader/image_files.h"

namespace {

using image_files::DecodeImageText;
using image_files::ReadFile;

// A vector section of `count` words 0x2400, 0x2402, ... written in the file's byte order.
std::string VectorSection(const char* header = "@FFE0", int count = 16) {
  std::string section = std::string(header) + "\n";
  for (int i = 0; i < count; ++i) {
    const int word = 0x2400 + 2 * i;
    char bytes[16];
    std::snprintf(bytes, sizeof bytes, "%02X %02X ", word & 0xFF, word >> 8);
    section += bytes;
  }
  return section + "\n";
}
const std::string kVectors = VectorSection();

constexpr uint32_t kUntouched = 0xDEAD;

struct Converted {
  int32_t result = 0;
  TiTextFault fault = TiTextFault::kNone;
  std::string text;
  uint32_t vectors[kVectorCount];
};

Converted Convert(const std::string& input) {
  // An exact-size heap copy, so that AddressSanitizer sees any read past the input's end.
  std::unique_ptr<char[]> copy(new char[input.size()]);
  std::memcpy(copy.get(), input.data(), input.size());
  Converted converted;
  for (uint32_t& word : converted.vectors) word = kUntouched;
  char* text = nullptr;
  uint32_t length = 0;
  converted.result =
      ConvertTiText(copy.get(), input.size(), &text, &length, converted.vectors, &converted.fault);
  if (text) {
    EXPECT_EQ(std::strlen(text), length);
    converted.text.assign(text, length);
    delete[] text;
  }
  return converted;
}

struct Case {
  const char* what;
  std::string input;
  int32_t result;
  TiTextFault fault;
  const char* text;  // the image text on success
};

TEST(ConvertTiText, SectionsBecomeImageText) {
  const Case cases[] = {
      {"three bytes, the last padded", "@2400\n01 02 03\n" + kVectors + "q\n", 1,
       TiTextFault::kNone, "@024000201FF03"},
      {"one and three leftover digits are padded with F", "@2400\n1\n@2500\nABC\n" + kVectors + "q",
       1, TiTextFault::kNone, "@02400FF1F@02500CFAB"},
      {"lower-case digits are kept", "@2400\nab cd ef\n" + kVectors + "q", 1, TiTextFault::kNone,
       "@02400cdabFFef"},
      {"0xFA00 to 0xFDFE are dropped, 0xFDFF is not",
       "@2400\n01 02\n@FA00\n11 22\n@FDFE\n33 44\n@FDFF\n55 66\n" + kVectors + "q", 1,
       TiTextFault::kNone, "@024000201@0FDFF6655"},
      {"addresses above 0xFFFF, also written with six digits",
       "@1A000\n01 02\n@010003\n03 04\n" + kVectors + "q", 1, TiTextFault::kNone,
       "@1A0000201@100030403"},
      {"CR LF line ends", "@2400\r\n01 02\r\n" + VectorSection("@FFE0\r") + "q\r\n", 1,
       TiTextFault::kNone, "@024000201"},
      {"a section without data keeps its header", "@2400\n@3000\n01 02\n" + kVectors + "q", 1,
       TiTextFault::kNone, "@02400@030000201"},
      {"the rest of the address line is not data", "@2400 junk 99\n01 02\n" + kVectors + "q", 1,
       TiTextFault::kNone, "@024000201"},
      {"an 0x prefix and leading zeros", "@0x002400\n01 02\n" + kVectors + "q", 1,
       TiTextFault::kNone, "@024000201"},
      {"what follows q is ignored", "@2400\n01 02\n" + kVectors + "q\n@zz\nnot hex", 1,
       TiTextFault::kNone, "@024000201"},
      {"only vectors", kVectors + "q", 1, TiTextFault::kNone, ""},

      {"no q", "@2400\n01 02\n" + kVectors, kErrNotTiText, TiTextFault::kNotTiText, nullptr},
      {"not starting with @", "\n@2400\n01 02\n" + kVectors + "q", kErrNotTiText,
       TiTextFault::kNotTiText, nullptr},
      {"empty", "", kErrNotTiText, TiTextFault::kNotTiText, nullptr},
      {"a NUL byte ends the text", std::string("@2400\n01\0 02\n", 12) + kVectors + "q",
       kErrNotTiText, TiTextFault::kNotTiText, nullptr},
      {"no address", "@\n01 02\n" + kVectors + "q", kErrNotTiText, TiTextFault::kBadAddress,
       nullptr},
      {"an address that is not hex", "@zz00\n01\n" + kVectors + "q", kErrNotTiText,
       TiTextFault::kBadAddress, nullptr},
      {"an address beyond 20 bits", "@100000\n01\n" + kVectors + "q", kErrNotTiText,
       TiTextFault::kBadAddress, nullptr},
      {"a huge address", "@FFFFFFFFFFFFFFFF2400\n01\n" + kVectors + "q", kErrNotTiText,
       TiTextFault::kBadAddress, nullptr},
      {"no line feed before the next section", "@2400 01 02" + kVectors + "q", kErrNotTiText,
       TiTextFault::kNoLineFeed, nullptr},
      {"no line feed before q", kVectors + "@2400q", kErrNotTiText, TiTextFault::kNoLineFeed,
       nullptr},
      {"only a dropped section", "@FA00\n11 22\nq\n", kErrNotTiText, TiTextFault::kNoVectorSection,
       nullptr},
      {"no vector section", "@2400\n01 02\nq\n", kErrNotTiText, TiTextFault::kNoVectorSection,
       nullptr},

      // One damaged character must not shift the digits after it into other bytes.
      {"a letter among the data digits", "@2400\n01 0G 03 04\n" + kVectors + "q", kErrNotTiText,
       TiTextFault::kBadCharacter, nullptr},
      {"a digit damaged into punctuation", "@2400\n01 02\n03 0.\n" + kVectors + "q", kErrNotTiText,
       TiTextFault::kBadCharacter, nullptr},
      {"a damaged vector", "@2400\n01 02\n" + VectorSection("@FFE0", 15) + "00 4x\nq",
       kErrNotTiText, TiTextFault::kBadCharacter, nullptr},
      {"a damaged section that would be dropped", "@FA00\n11 2Z\n" + kVectors + "q", kErrNotTiText,
       TiTextFault::kBadCharacter, nullptr},
      {"a control character", "@2400\n01\f02\n" + kVectors + "q", kErrNotTiText,
       TiTextFault::kBadCharacter, nullptr},
      {"a byte beyond ASCII",
       "@2400\n01 \xB0"
       "02\n" +
           kVectors + "q",
       kErrNotTiText, TiTextFault::kBadCharacter, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Converted converted = Convert(c.input);
    EXPECT_EQ(converted.result, c.result);
    EXPECT_EQ(converted.fault, c.fault);
    if (c.text) {
      EXPECT_EQ(converted.text, c.text);
    } else {
      EXPECT_EQ(converted.vectors[0], kUntouched);
    }
  }
}

TEST(ConvertTiText, VectorSectionsFillTheirEntries) {
  struct VectorCase {
    const char* what;
    std::string sections;
    int32_t result;
    TiTextFault fault;
    std::map<int, uint32_t> set;  // the entries given; every other one must be unset
  };
  std::map<int, uint32_t> all;
  for (int i = 0; i < 16; ++i) all[i] = 0x2400 + 2 * i;
  std::map<int, uint32_t> upper;
  for (int i = 8; i < 16; ++i) upper[i] = 0x2400 + 2 * (i - 8);

  const VectorCase cases[] = {
      {"all sixteen", kVectors, 1, TiTextFault::kNone, all},
      {"the reset vector alone", "@FFFE\n00 44\n", 1, TiTextFault::kNone, {{15, 0x4400}}},
      {"a section starting halfway", VectorSection("@FFF0", 8), 1, TiTextFault::kNone, upper},
      {"two sections",
       "@FFE0\n34 12\n@FFE4\nCD ab\n",
       1,
       TiTextFault::kNone,
       {{0, 0x1234}, {2, 0xABCD}}},
      {"a seventeenth word",
       VectorSection("@FFE0", 17),
       kErrNotTiText,
       TiTextFault::kTooManyVectors,
       {}},
      {"three words from 0xFFFC",
       VectorSection("@FFFC", 3),
       kErrNotTiText,
       TiTextFault::kTooManyVectors,
       {}},
      {"a word cut short",
       "@FFE0\n00 24 0\n",
       kErrNotTiText,
       TiTextFault::kDanglingVectorDigits,
       {}},
  };
  for (const VectorCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Converted converted = Convert("@2400\n01 02\n" + c.sections + "q\n");
    EXPECT_EQ(converted.result, c.result);
    EXPECT_EQ(converted.fault, c.fault);
    if (c.result != 1) continue;
    EXPECT_EQ(converted.text, "@024000201");  // vectors never enter the image text
    for (int i = 0; i < 16; ++i) {
      const auto given = c.set.find(i);
      EXPECT_EQ(converted.vectors[i], given == c.set.end() ? kUnsetVector : given->second)
          << "entry " << i;
    }
  }
}

TEST(ConvertTiText, EveryTruncationIsRefused) {
  const std::string file = "@2400\n01 02 03\n@10000\nAA BB\n" + kVectors + "q\n";
  const size_t q = file.find('q');
  for (size_t size = 0; size < file.size(); ++size) {
    const Converted converted = Convert(file.substr(0, size));
    EXPECT_EQ(converted.result, size > q ? 1 : kErrNotTiText) << "cut at " << size;
  }
}

TEST(ConvertTiText, TooLargeInputIsRefusedUnread) {
  char* text = nullptr;
  uint32_t length = 0;
  uint32_t vectors[kVectorCount];
  TiTextFault fault;
  // The size alone decides: the buffer is never looked at.
  const char one[] = "@";
  EXPECT_EQ(ConvertTiText(one, kMaxTiTextSize + 1, &text, &length, vectors, &fault), kErrNotTiText);
  EXPECT_EQ(fault, TiTextFault::kTooLarge);
  EXPECT_EQ(text, nullptr);
}

// Random text built from the pieces that matter to the converter: whatever comes, the result is
// 1 or -100, and a success is well-formed image text.
TEST(ConvertTiText, RandomTextNeverBreaksTheImageText) {
  static const char* const kPieces[] = {"@2400\n", "@10000\n", "@FFE0\n", "@FA00\n", "\n",
                                        "\r\n",    " ",        "01 ",     "A",       "ff ",
                                        "0",       "x",        "\t"};
  // Pieces that usually make the file invalid, so they come more rarely.
  static const std::string kRarePieces[] = {"@FFFE\n", "@FFFFFF\n", "@",
                                            "@x\n",    "q",         std::string(1, '\0')};
  std::mt19937 random(20240601);
  int converted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string input = "@3000\n";
    const size_t pieces = random() % 30;
    for (size_t i = 0; i < pieces; ++i) {
      input += random() % 20 == 0 ? kRarePieces[random() % std::size(kRarePieces)]
                                  : kPieces[random() % std::size(kPieces)];
    }
    if (round % 2) input += kVectors + "q";
    const Converted result = Convert(input);
    ASSERT_TRUE(result.result == 1 || result.result == kErrNotTiText) << input;
    if (result.result == 1) {
      ++converted;
      DecodeImageText(result.text);
      ASSERT_FALSE(testing::Test::HasFailure()) << input;
    }
  }
  EXPECT_GT(converted, 2000)
      << converted;  // the inputs reach the conversion, not only the first checks
}

// Inputs the fuzzer found or started from; a crash found there is kept in this folder for good.
TEST(ConvertTiText, FuzzCorpusConvertsCleanly) {
  const std::filesystem::path corpus = std::filesystem::path(VEXA_SOURCE_DIR) / "tests/fuzz/corpus";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    SCOPED_TRACE(entry.path().string());
    ++files;
    const Converted converted = Convert(ReadFile(entry.path().string()));
    EXPECT_TRUE(converted.result == 1 || converted.result == kErrNotTiText);
    if (converted.result == 1) DecodeImageText(converted.text);
  }
  EXPECT_GT(files, 0);
}

TEST(NextImageSection, WalksTheSections) {
  const char text[] = "@02400020103FF@1000000aa@0FE00";
  uint32_t offset = 0;
  ImageSection section;
  const uint32_t length = sizeof text - 1;
  ASSERT_TRUE(NextImageSection(text, length, &offset, &section));
  EXPECT_EQ(section.address, 0x2400u);
  EXPECT_EQ(std::string(text + section.dataOffset, section.dataLength), "020103FF");
  ASSERT_TRUE(NextImageSection(text, length, &offset, &section));
  EXPECT_EQ(section.address, 0x10000u);
  EXPECT_EQ(section.dataLength, 4u);
  ASSERT_TRUE(NextImageSection(text, length, &offset, &section));
  EXPECT_EQ(section.address, 0xFE00u);
  EXPECT_EQ(section.dataLength, 0u);
  EXPECT_FALSE(NextImageSection(text, length, &offset, &section));

  // A header cut short is not a section.
  offset = 0;
  EXPECT_FALSE(NextImageSection("@024", 4, &offset, &section));
}

}  // namespace
