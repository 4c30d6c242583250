// The list of result codes: every code has one meaning, aliases share it, and the system errors
// met opening a port or a file come back as codes whose meaning is the real cause.
#include "link/result.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "link/serial_port.h"
#include "tests/support/pty_device.h"

namespace fs = std::filesystem;

namespace {

TEST(ResultText, NamesWhatACodeMeans) {
  struct Case {
    int32_t code;
    const char* meaning;
  };
  const Case cases[] = {
      {kResultOk, "success"},
      {7, "success"},
      {kResultNothingDone, "nothing done"},
      {kErrNoAnswer, "no answer from the instrument"},
      {kErrPortBusy, "port in use by another application"},
      {kErrLoginFailed, "login failed"},
      {kErrNotSerialPort, "not a serial port"},
      {kErrPortNoResponse, "the device did not respond to opening"},
      {kErrIsFolder, "a folder, not a file"},
      {kErrNotTiText, "not a TI-Text file"},
      {-9999, "unknown error"},
  };
  for (const Case& c : cases) EXPECT_STREQ(ResultText(c.code), c.meaning) << c.code;
}

TEST(ResultText, TheNamesOfOneNumberShareItsMeaning) {
  EXPECT_STREQ(ResultText(kErrNotForThisType), ResultText(kErrPermission));
  EXPECT_STREQ(ResultText(kErrUninitialised), ResultText(kErrNameOnlyPrompt));
  EXPECT_STREQ(ResultText(kErrSerialRefused), ResultText(kErrTraitNotWritable));
  EXPECT_STREQ(ResultText(kErrCodeCorrupt), ResultText(kErrCannotChangeBaud));
}

TEST(ResultText, EveryNegativeCodeInUseHasAMeaning) {
  const int32_t codes[] = {-1,   -2,   -5,   -6,   -10,  -11,  -12,  -13,   -20,   -21,  -22,
                           -23,  -25,  -30,  -31,  -32,  -33,  -34,  -35,   -36,   -37,  -40,
                           -45,  -50,  -51,  -52,  -53,  -54,  -56,  -60,   -65,   -66,  -80,
                           -81,  -82,  -100, -101, -102, -103, -104, -105,  -106,  -107, -108,
                           -110, -112, -120, -121, -130, -140, -141, -142,  -143,  -150, -151,
                           -152, -153, -154, -155, -156, -157, -158, -1000, -1001, -1002};
  for (int32_t code : codes) EXPECT_STRNE(ResultText(code), "unknown error") << code;
}

// No system error comes back as its own negated number: on Linux those numbers mean other things.
TEST(PortOpenResult, NoSystemErrorPassesThroughAsItsNumber) {
  const std::set<int32_t> portCodes = {kErrPortMissing,         kErrPortBusy,       kErrPermission,
                                       kErrNotSerialPort,       kErrPortNoResponse, kErrOutOfMemory,
                                       kErrPortSettingsRefused, kErrPortOpenFailed};
  for (int error = 1; error < 134; ++error) {
    EXPECT_TRUE(portCodes.count(PortOpenResult(error))) << "errno " << error;
  }
}

TEST(PortOpenResult, EachCauseHasItsCode) {
  struct Case {
    int error;
    int32_t code;
  };
  const Case cases[] = {
      {ENOENT, kErrPortMissing},   {ENODEV, kErrPortMissing},   {ENXIO, kErrPortMissing},
      {ENOTDIR, kErrPortMissing},  {EBUSY, kErrPortBusy},       {EWOULDBLOCK, kErrPortBusy},
      {EACCES, kErrPermission},    {EPERM, kErrPermission},     {ENOTTY, kErrNotSerialPort},
      {EISDIR, kErrNotSerialPort}, {EIO, kErrPortNoResponse},   {EINVAL, kErrPortSettingsRefused},
      {ENOMEM, kErrOutOfMemory},   {ELOOP, kErrPortOpenFailed}, {EMFILE, kErrPortOpenFailed},
  };
  for (const Case& c : cases) EXPECT_EQ(PortOpenResult(c.error), c.code) << "errno " << c.error;
}

class OpeningWhatIsNotAPort : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("vexa_result_" + std::to_string(getpid()));
    fs::create_directories(folder_);
    std::ofstream(folder_ / "plain.txt") << "not a port\n";
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
};

TEST_F(OpeningWhatIsNotAPort, SaysWhatItIs) {
  PtyDevice device;
  struct Case {
    std::string path;
    int32_t code;
  };
  const Case cases[] = {
      {"/etc/passwd", kErrNotSerialPort},
      {"/dev/null", kErrNotSerialPort},
      {(folder_ / "plain.txt").string(), kErrNotSerialPort},
      {folder_.string(), kErrNotSerialPort},
      {(folder_ / "plain.txt" / "below").string(), kErrPortMissing},
      {(folder_ / "nothing").string(), kErrPortMissing},
      {device.Path(), kResultOk},
  };
  for (const Case& c : cases) {
    SerialPort port;
    EXPECT_EQ(DSOpen(&port, c.path.c_str(), 9600), c.code) << c.path;
    DSClose(&port);
    EXPECT_EQ(port.handle, kNoHandle) << c.path;
  }
}

TEST(FileErrorCode, EachCauseHasItsCode) {
  struct Case {
    int error;
    int32_t code;
  };
  const Case cases[] = {
      {ENOENT, kErrFileMissing}, {ENOTDIR, kErrFileMissing},  {EACCES, kErrFileDenied},
      {EPERM, kErrFileDenied},   {EROFS, kErrFileDenied},     {EISDIR, kErrIsFolder},
      {ENOSPC, kErrDiskFull},    {EDQUOT, kErrDiskFull},      {ENOMEM, kErrOutOfMemory},
      {EIO, kErrFileReadFailed}, {EFBIG, kErrFileReadFailed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileErrorCode(c.error, kErrFileReadFailed), c.code) << "errno " << c.error;
  }
  EXPECT_EQ(FileErrorCode(EIO, kErrFileWriteFailed), kErrFileWriteFailed);
}

TEST(FileWriteErrorCode, AReadOnlyDiskIsToldApartFromAMissingPermission) {
  EXPECT_EQ(FileWriteErrorCode(EROFS), kErrDiskReadOnly);
  EXPECT_EQ(FileWriteErrorCode(EACCES), kErrFileDenied);
  EXPECT_EQ(FileWriteErrorCode(ENOSPC), kErrDiskFull);
  EXPECT_EQ(FileWriteErrorCode(EIO), kErrFileWriteFailed);
  for (int error : {EROFS, EACCES, ENOSPC, ENOENT, EISDIR, EIO}) {
    EXPECT_TRUE(IsFileWriteFailure(FileWriteErrorCode(error))) << "errno " << error;
  }
  for (int32_t code : {kErrNoAnswer, kErrUnreadableAnswer, kErrPartlyDone, kErrOutOfMemory}) {
    EXPECT_FALSE(IsFileWriteFailure(code)) << code;
  }
}

}  // namespace
