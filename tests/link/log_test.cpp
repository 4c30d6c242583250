#include "link/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vexa_log_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "Updater.errors.txt").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Contents() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(LogTest, WritesOneStampedLinePerMessageWithCrLf) {
  VexaLog log(path_.c_str(), 30);
  const int written = LogMessage(&log, 10, "COM3", "DSOpen at %d baud", 9600);
  LogMessage(&log, 1, "VexaBSL", "second");

  const std::string text = Contents();
  const std::regex line(
      R"(\d{1,2} (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d{1,2}:\d{2}:\d{2} - )"
      R"(COM3: DSOpen at 9600 baud\r\n\d{1,2} \w{3} \d{4} \d{1,2}:\d{2}:\d{2} - VexaBSL: second\r\n)");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
  EXPECT_EQ(written, static_cast<int>(text.find('\n')) + 1);
}

TEST_F(LogTest, ThresholdDecidesWhatIsWritten) {
  struct Case {
    uint32_t threshold;
    uint32_t level;
    bool written;
  };
  const Case cases[] = {{30, 40, false}, {30, 30, true}, {1, 10, false},
                        {1, 1, true},    {0, 1, false},  {40, 40, true}};
  for (const Case& c : cases) {
    fs::remove(path_);
    VexaLog log(path_.c_str(), c.threshold);
    const int result = LogMessage(&log, c.level, "T", "x");
    EXPECT_EQ(result > 0, c.written) << c.threshold << "/" << c.level;
    EXPECT_EQ(fs::exists(path_), c.written);
    if (!c.written) {
      EXPECT_EQ(result, 0);
    }
  }
}

TEST_F(LogTest, LevelsOutsideTheSetAreRefused) {
  VexaLog log(path_.c_str(), 5);
  EXPECT_EQ(log.Level(), 1u);
  EXPECT_TRUE(log.SetLevel(30));
  EXPECT_FALSE(log.SetLevel(20));
  EXPECT_EQ(log.Level(), 30u);
  for (uint32_t level : {0u, 1u, 10u, 30u, 40u}) EXPECT_TRUE(log.SetLevel(level));
}

TEST_F(LogTest, NoPathMeansErrorTxtAndConstructionCreatesNothing) {
  VexaLog unnamed;
  EXPECT_EQ(unnamed.Path(), "error.txt");
  VexaLog log(path_.c_str(), 30);
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_LT(log.FileSize(), 0);
}

TEST_F(LogTest, NullLogAndUnwritableFolderStaySilent) {
  EXPECT_EQ(LogMessage(nullptr, 1, "T", "nothing"), 0);
  VexaLog log((dir_ / "missing" / "x.txt").string().c_str(), 40);
  EXPECT_EQ(LogMessage(&log, 1, "T", "nothing"), 0);
}

TEST(LogTimeStamp, HourUnpaddedMinutesAndSecondsPadded) {
  struct tm t = {};
  t.tm_mday = 9;
  t.tm_mon = 11;
  t.tm_year = 2026 - 1900;
  t.tm_hour = 0;
  t.tm_min = 0;
  t.tm_sec = 5;
  EXPECT_EQ(LogTimeStamp(t), "9 Dec 2026 0:00:05");
  t.tm_mday = 8;
  t.tm_hour = 20;
  t.tm_min = 44;
  t.tm_sec = 24;
  EXPECT_EQ(LogTimeStamp(t), "8 Dec 2026 20:44:24");
}

TEST_F(LogTest, KeepTailLeavesSmallFilesAndCutsLargeOnesAtALineBoundary) {
  VexaLog log(path_.c_str(), 30);
  auto fill = [&](size_t bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    for (size_t i = 0; out.tellp() < static_cast<std::streamoff>(bytes); ++i) {
      out << "line " << i << " of the error file\r\n";
    }
  };
  fill(10000);
  const std::string small = Contents();
  EXPECT_TRUE(log.KeepTail(32768));
  EXPECT_EQ(Contents(), small);

  fill(100000);
  const std::string large = Contents();
  EXPECT_TRUE(log.KeepTail(32768));
  const std::string kept = Contents();
  EXPECT_LE(kept.size(), 32768u);
  EXPECT_GT(kept.size(), 32000u);
  EXPECT_TRUE(kept.starts_with("line "));
  EXPECT_TRUE(large.ends_with(kept));
  EXPECT_EQ(large[large.size() - kept.size() - 1], '\n');
  EXPECT_EQ(log.FileSize(), static_cast<int64_t>(kept.size()));
  EXPECT_FALSE(fs::exists(path_ + ".temp"));
}

TEST_F(LogTest, KeepTailIgnoresAStaleTemporaryFile) {
  {
    std::ofstream stale(path_ + ".temp", std::ios::binary);
    stale << "left over from an interrupted run\n";
    std::ofstream out(path_, std::ios::binary);
    for (int i = 0; i < 100; ++i) out << "entry " << i << "\r\n";
  }
  VexaLog log(path_.c_str(), 30);
  EXPECT_TRUE(log.KeepTail(100));
  EXPECT_EQ(Contents().find("left over"), std::string::npos);
  EXPECT_TRUE(Contents().ends_with("entry 99\r\n"));
}

// Links in the error file's folder, each pointing at a file that belongs to someone else.
struct LinkInFolder {
  const char* what;
  const char* suffix;  // appended to the error file's path: "" is the error file itself
  bool keptTail;       // what KeepTail answers
};

class LinkInFolderTest : public LogTest, public ::testing::WithParamInterface<LinkInFolder> {};

TEST_P(LinkInFolderTest, NeverWritesOrCutsTheFileALinkPointsTo) {
  const LinkInFolder& row = GetParam();
  const std::string target = (dir_ / "precious.txt").string();
  const std::string precious(40000, 'p');
  std::ofstream(target, std::ios::binary) << precious;
  if (*row.suffix) {
    std::ofstream out(path_, std::ios::binary);
    for (int i = 0; i < 1000; ++i) out << "entry " << i << "\r\n";
  }
  ASSERT_EQ(symlink(target.c_str(), (path_ + row.suffix).c_str()), 0);
  VexaLog log(path_.c_str(), 30);

  EXPECT_EQ(log.KeepTail(100), row.keptTail);
  const int written = LogMessage(&log, 10, "COM3", "DSOpen at %d baud", 9600);
  EXPECT_EQ(written > 0, *row.suffix != 0);
  std::ifstream in(target, std::ios::binary);
  std::stringstream after;
  after << in.rdbuf();
  EXPECT_EQ(after.str(), precious);
  if (row.keptTail) {
    EXPECT_TRUE(Contents().starts_with("entry 9"));
  }
}

INSTANTIATE_TEST_SUITE_P(Links, LinkInFolderTest,
                         ::testing::Values(LinkInFolder{"ErrorFile", "", false},
                                           LinkInFolder{"TemporaryFile", ".temp", true}),
                         [](const ::testing::TestParamInfo<LinkInFolder>& row) {
                           return std::string(row.param.what);
                         });

TEST_F(LogTest, KeepTailOfAMissingFileFails) {
  VexaLog log(path_.c_str(), 30);
  EXPECT_FALSE(log.KeepTail(100));
}

}  // namespace
