// vexabsl image info | dump, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/loader/image_files.h"
#include "tests/support/run_tool.h"

namespace {

using image_files::ReadFile;
using image_files::WriteFile;

using Outcome = ToolOutcome;

Outcome Vexabsl(const std::string& arguments) {
  return RunTool(VEXABSL_PATH, arguments);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ImageCommand, InfoReportsTheBuiltinImage) {
  const Outcome info = Vexabsl("image info");
  ASSERT_EQ(info.exit, 0) << info.output;
  for (const char* line :
       {"image      QRN 2.00 C (built-in)\n", "type       14 FieldPal\n", "version    200\n",
        "length     154272 characters\n", "char sum   8438260\n", "sections   4, 77124 bytes\n",
        "  @02400   54760 bytes\n", "  @10000   22330 bytes\n", "  @0FE00   2 bytes\n",
        "  @0FFC0   32 bytes\n", "vectors    @FFE0 ", "           @FFF0 "}) {
    EXPECT_TRUE(Has(info.output, line)) << line << "\n" << info.output;
  }
}

TEST(ImageCommand, DumpWritesTheListing) {
  image_files::ScratchDir scratch;
  const std::string path = scratch.File("dump.txt");
  const Outcome dump = Vexabsl("image dump --out '" + path + "'");
  ASSERT_EQ(dump.exit, 0) << dump.output;
  const std::string listing = ReadFile(path);
  EXPECT_EQ(listing.rfind("@02400\n", 0), 0u);
  for (const char* header : {"\n@10000\n", "\n@0FE00\n", "\n@0FFC0\n", "\n@FFE0\n"}) {
    EXPECT_TRUE(Has(listing, header)) << header;
  }
  // The vector block closes the listing: "@FFE0" and two lines of eight words.
  const size_t vectors = listing.find("\n@FFE0\n");
  EXPECT_EQ(listing.size() - vectors, 1 + 6 + 2 * 33u);
}

TEST(ImageCommand, LoadedFilesAndFailures) {
  image_files::ScratchDir scratch;
  const std::string good = scratch.File("FP 2-05.txt");
  WriteFile(good, "@2400\n01 02 03\n@FFFE\n00 24\nq\n");
  const Outcome info = Vexabsl("image info --file '" + good + "'");
  ASSERT_EQ(info.exit, 0) << info.output;
  EXPECT_TRUE(Has(info.output, "image      FP 2.05 (file)\n")) << info.output;
  EXPECT_TRUE(Has(info.output, "version    205\n")) << info.output;
  EXPECT_TRUE(Has(info.output, "  @02400   4 bytes\n")) << info.output;

  const std::string bad = scratch.File("notes.txt");
  WriteFile(bad, "not firmware\n");
  const Outcome refused =
      Vexabsl("image dump --out '" + scratch.File("x.txt") + "' --file '" + bad + "'");
  EXPECT_EQ(refused.exit, 1);
  EXPECT_TRUE(Has(refused.output, "[Error -100]")) << refused.output;

  EXPECT_EQ(Vexabsl("image dump").exit, 64);  // --out is required
  EXPECT_EQ(Vexabsl("image").exit, 64);
}

}  // namespace
