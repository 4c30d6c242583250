// Reading a file the user names for sending: a regular file up to its limit is read whole;
// anything else is refused before a byte is read, and a FIFO without a writer does not block.
#include "net/regular_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class RegularFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("vexa-regular-file-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Write(const std::string& name, const std::string& content) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  fs::path folder_;
};

struct ReadCase {
  const char* what;
  std::string path;
  net::FileReading result;
  std::string content;  // for kOk
  std::string message;  // a text the message holds, for the others
};

TEST_F(RegularFileTest, ARegularFileUpToTheLimitIsReadAndNothingElseIs) {
  constexpr int64_t kLimit = 16;
  const std::string full(16, 'a');
  const std::string fifo = (folder_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string atLimit = Write("limit.bin", full);
  fs::create_symlink(atLimit, folder_ / "link.bin");
  const std::string missing = (folder_ / "gone.txt").string();
  const std::string over = Write("over.bin", full + "b");

  const ReadCase cases[] = {
      {"an empty file", Write("empty.txt", ""), net::FileReading::kOk, "", ""},
      {"a file of the limit", atLimit, net::FileReading::kOk, full, ""},
      {"a link to a regular file", (folder_ / "link.bin").string(), net::FileReading::kOk, full,
       ""},
      {"one byte over", over, net::FileReading::kTooLarge, "", over + " is larger than 16 bytes"},
      {"a missing file", missing, net::FileReading::kMissing, "",
       "cannot find the file " + missing},
      {"a FIFO without a writer", fifo, net::FileReading::kNotRegular, "",
       fifo + " is not a regular file"},
      {"an endless device", "/dev/zero", net::FileReading::kNotRegular, "",
       "/dev/zero is not a regular file"},
      {"a folder", folder_.string(), net::FileReading::kNotRegular, "",
       folder_.string() + " is not a regular file"},
  };
  for (const ReadCase& c : cases) {
    const net::FileContent read = net::ReadRegularFile(c.path, kLimit);
    EXPECT_EQ(read.result, c.result) << c.what;
    if (c.result == net::FileReading::kOk) {
      EXPECT_EQ(read.content, c.content) << c.what;
    } else {
      EXPECT_TRUE(read.content.empty()) << c.what;
      EXPECT_EQ(read.message, c.message) << c.what;
    }
  }
}

}  // namespace
