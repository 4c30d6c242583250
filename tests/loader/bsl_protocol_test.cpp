// The loader client against scripted loaders on a pseudo-terminal: exact frames on the wire,
// answer rules, retries and the erase walk.
#include "loader/bsl_protocol.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "loader/firmware_image.h"
#include "tests/support/pty_device.h"
#include "tests/support/scratch_log.h"

namespace fs = std::filesystem;

namespace {

using Step = PtyDevice::Step;

std::string Frame(const std::string& body) {
  char tail[8];
  std::snprintf(tail, sizeof tail, ".%04X\r",
                BSLFrameChecksum(body[0], body.data() + 1, static_cast<uint32_t>(body.size() - 1)));
  return body + tail;
}

std::string Hex(uint32_t value, int digits) {
  char text[8];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

TEST(BSLFrameChecksum, MatchesKnownFrames) {
  struct Case {
    std::string body;
    uint32_t checksum;
  };
  const Case cases[] = {
      {"g", 0x0095},
      {"@2400", 0x0134},
      {"X2400", 0x014C},
      // 512 characters of code 255 pass 65535 and wrap (modulo 65535, not 65536).
      {"W" + std::string(512, '\xff'), (46 + 'W' + 512 * 255) % 65535},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        BSLFrameChecksum(c.body[0], c.body.data() + 1, static_cast<uint32_t>(c.body.size() - 1)),
        c.checksum)
        << c.body.substr(0, 8);
  }
  EXPECT_EQ(Frame("g"), "g.0095\r");
}

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = scratch::MakeFolder("vexa_bsl");
    log_ = std::make_unique<VexaLog>(scratch::ErrorFilePath(dir_).string().c_str(), 30);
    host_ = std::make_unique<VexaBSLHost>(log_.get());
    ASSERT_EQ(host_->image.status, 0);
  }
  void TearDown() override {
    host_.reset();
    scratch::EndFolder(dir_);
  }

  // Opens the port as the loader steps find it after BSLConnect.
  void OpenLoaderPort(uint32_t tries = 3) {
    ASSERT_EQ(DSOpen(&host_->port, device_.Path().c_str(), 57600), 1);
    host_->portOpen = true;
    host_->tries = tries;
  }

  void LoadImage(const std::string& tiText) {
    const std::string path = (dir_ / "image.txt").string();
    std::ofstream(path, std::ios::binary) << tiText;
    ASSERT_EQ(BSLLoadTIFile(host_.get(), path.c_str()), 1);
  }

  std::string LogText() const { return scratch::Contents(log_->Path()); }

  fs::path dir_;
  std::unique_ptr<VexaLog> log_;
  std::unique_ptr<VexaBSLHost> host_;
  PtyDevice device_;
};

const char kVectors[] =
    "@FFE0\n"
    "00 24 00 24 00 24 00 24 00 24 00 24 00 24 00 24\n"
    "00 24 00 24 00 24 00 24 00 24 00 24 00 24 00 24\n";

TEST_F(LoaderTest, EraseFlashWalksSegmentsAndJumpsOverTheLoaderArea) {
  OpenLoaderPort();
  std::vector<Step> script;
  std::vector<uint32_t> expected;
  for (uint32_t a = 0x2400; a <= 0xF800; a += 512) expected.push_back(a);
  expected.push_back(0x10000);
  expected.push_back(0x10200);
  for (uint32_t a : expected) {
    script.push_back(PtyDevice::Expects(Frame("X" + Hex(a, 5))));
    script.push_back(PtyDevice::Sends("+\r"));
  }
  device_.Play(script);
  EXPECT_GT(BSLEraseFlash(host_.get(), 0x2400, 0x10400, true), 0);
  std::string received;
  EXPECT_TRUE(device_.Finish(&received));
  EXPECT_EQ(received.find("XFA00"), std::string::npos);
  EXPECT_NE(LogText().find("BSLEraseFlash successful: segment 2400 to 10400"), std::string::npos);

  EXPECT_EQ(BSLEraseFlash(host_.get(), 0xFA00, 0x10400, true), kErrBadArgument);
  EXPECT_EQ(BSLEraseFlash(host_.get(), 0x3000, 0x3000, true), 0);
}

TEST_F(LoaderTest, EraseInfoSendsEachSegmentAndReportsTheAddressAfterTheLast) {
  OpenLoaderPort();
  device_.Play({PtyDevice::Expects(Frame("X01000")), PtyDevice::Sends("+\r"),
                PtyDevice::Expects(Frame("X01040")), PtyDevice::Sends("+\r"),
                PtyDevice::Expects(Frame("X01080")), PtyDevice::Sends("+\r")});
  EXPECT_GT(BSLEraseINFO(host_.get(), 0x1000, 3, 0x40, true), 0);
  EXPECT_TRUE(device_.Finish());
  EXPECT_NE(LogText().find("BSLEraseINFO successful: 3 segments @ 10C0"), std::string::npos);
}

TEST_F(LoaderTest, SixteenBitAddressingSendsTheLastFourDigits) {
  LoadImage("@2400\n01 02 03\n@10000\nAA BB\n" + std::string(kVectors) + "q\n");
  OpenLoaderPort();
  device_.Play({PtyDevice::Expects(Frame("@2400")), PtyDevice::Sends("+\r"),
                PtyDevice::Expects(Frame("W0201FF03")), PtyDevice::Sends("+\r"),
                PtyDevice::Expects(Frame("@0000")), PtyDevice::Sends("+\r"),
                PtyDevice::Expects(Frame("WBBAA")), PtyDevice::Sends("+\r")});
  EXPECT_GT(BSLSendFirmware(host_.get(), false), 0);
  EXPECT_TRUE(device_.Finish());
}

TEST_F(LoaderTest, ARejectedBlockIsResentAfterItsAddressAndThreeRejectionsFail) {
  // 300 bytes: one full block of 256 and a second block of 44 starting at 0x2500.
  std::string data;
  for (int i = 0; i < 300; ++i) data += Hex(i & 0xFF, 2) + (i % 16 == 15 ? "\n" : " ");
  LoadImage("@2400\n" + data + "\n" + kVectors + "q\n");
  OpenLoaderPort();
  const std::string text = host_->image.text;
  const std::string first = "W" + text.substr(6, 512);
  const std::string second = "W" + text.substr(6 + 512);

  device_.Play({PtyDevice::Expects(Frame("@02400")), PtyDevice::Sends("+\r"),
                PtyDevice::Expects(Frame(first)), PtyDevice::Sends("+\r"),
                PtyDevice::Expects(Frame(second)), PtyDevice::Sends("-\r"),
                PtyDevice::Expects(Frame("@02500")), PtyDevice::Sends("+\r"),
                PtyDevice::Expects(Frame(second)), PtyDevice::Sends("+\r")});
  EXPECT_GT(BSLSendFirmware(host_.get(), true), 0);
  EXPECT_TRUE(device_.Finish());

  std::vector<Step> rejecting = {PtyDevice::Expects(Frame("@02400")), PtyDevice::Sends("+\r")};
  for (int i = 0; i < 3; ++i) {
    rejecting.push_back(PtyDevice::Expects(Frame(first)));
    rejecting.push_back(PtyDevice::Sends("-\r"));
    rejecting.push_back(PtyDevice::Expects(Frame("@02400")));
    rejecting.push_back(PtyDevice::Sends("+\r"));
  }
  device_.Play(rejecting);
  EXPECT_EQ(BSLSendFirmware(host_.get(), true), -1);
  std::string received;
  EXPECT_TRUE(device_.Finish(&received));
  EXPECT_EQ(received.find(Frame(second)), std::string::npos) << "no later block is sent";
  EXPECT_NE(LogText().find("BSLSendFirmware failed with error -1 ("), std::string::npos);
}

bool CancelAtSecondCall(void* context, uint32_t, uint32_t, int phase, char) {
  int* calls = static_cast<int*>(context);
  return phase != 1 || ++*calls < 2;
}

TEST_F(LoaderTest, AHookThatSaysStopCancelsTheWrite) {
  std::string data;
  for (int i = 0; i < 600; ++i) data += "5A ";
  LoadImage("@2400\n" + data + "\n" + kVectors + "q\n");
  OpenLoaderPort();
  int calls = 0;
  host_->progress = true;
  host_->progressHook = CancelAtSecondCall;
  host_->progressContext = &calls;
  // The hook is asked at every 512 characters of image text: the second call stops the write
  // before the first block goes out.
  device_.Play({PtyDevice::Expects(Frame("@02400")), PtyDevice::Sends("+\r")});
  EXPECT_EQ(BSLSendFirmware(host_.get(), true), kErrCancelled);
  EXPECT_TRUE(device_.Finish());
  EXPECT_NE(LogText().find("BSLSendFirmware failed with error -40 ("), std::string::npos);
}

TEST_F(LoaderTest, VectorsWaitForThePlusSign) {
  LoadImage("@2400\n01 02\n" + std::string(kVectors) + "q\n");
  OpenLoaderPort();
  std::string words;
  for (int i = 0; i < 16; ++i) words += "2400";
  // The answer ends with "+" and nothing after it: waiting for a carriage return would time out.
  device_.Play({PtyDevice::Expects(Frame("V" + words)), PtyDevice::Sends("+")});
  const uint32_t start = MsClock();
  EXPECT_GT(BSLSendVectors(host_.get()), 0);
  EXPECT_LT(MsClock() - start, 900u);
  EXPECT_TRUE(device_.Finish());
}

TEST_F(LoaderTest, CommandArgumentsAreChecked) {
  char answer[kAnswerSize];
  uint32_t elapsed = 0;
  EXPECT_EQ(BSLCommand(host_.get(), 'g', nullptr, 0, '\r', answer, &elapsed), kErrNoAnswer)
      << "port not open";
  OpenLoaderPort();
  const std::string big(513, 'A');
  EXPECT_EQ(BSLCommand(host_.get(), 'W', big.data(), 513, '\r', answer, &elapsed), kErrBadArgument);
  EXPECT_EQ(BSLCommand(host_.get(), 'W', nullptr, 0, '\r', answer, &elapsed), kErrMissingArgument);
  EXPECT_EQ(BSLCommand(host_.get(), 'g', nullptr, 0, '\r', nullptr, &elapsed), kErrMissingArgument);
  const uint32_t values[129] = {};
  EXPECT_EQ(BSLCommandValues(host_.get(), 'V', values, 129, '+', answer, &elapsed, false),
            kErrBadArgument);
  EXPECT_EQ(BSLCommandValues(host_.get(), 'V', values, 128, '+', answer, &elapsed, true),
            kErrBadArgument)
      << "128 five-digit values do not fit a frame";
}

TEST_F(LoaderTest, AnswerRules) {
  OpenLoaderPort();
  struct Case {
    const char* answer;
    int32_t result;
  };
  const Case cases[] = {{"+\r", 2}, {"x+\r", 3}, {"-\r", -1}, {"?\r", -1}, {"ERR\r", -1}};
  for (const Case& c : cases) {
    device_.Play({PtyDevice::Expects(Frame("g")), PtyDevice::Sends(c.answer)});
    char answer[kAnswerSize];
    uint32_t elapsed = 0;
    EXPECT_EQ(BSLCommand(host_.get(), 'g', nullptr, 0, '\r', answer, &elapsed), c.result)
        << c.answer;
    EXPECT_TRUE(device_.Finish());
  }
  char answer[kAnswerSize];
  uint32_t elapsed = 0;
  EXPECT_EQ(BSLCommand(host_.get(), 'g', nullptr, 0, '\r', answer, &elapsed), kErrNoAnswer)
      << "silence";
}

TEST_F(LoaderTest, ConnectFindsARunningLoaderFromTheBootAnswer) {
  // A loader at 9600 (most families) answers the boot command itself.
  device_.Play({PtyDevice::Expects("boot KWEL\r"), PtyDevice::Sends("?\r"),
                PtyDevice::Expects(Frame("g")), PtyDevice::Sends("+12+\r")});
  EXPECT_EQ(BSLConnect(host_.get(), device_.Path().c_str(), 9600, false, 3), 12);
  EXPECT_TRUE(device_.Finish());
  EXPECT_EQ(device_.ClientBaud(), 9600u) << "a 9600 loader never changes the rate";
  const std::string log = LogText();
  EXPECT_NE(log.find("BSLInvocation found the VexaBSL already active"), std::string::npos);
  EXPECT_NE(log.find("BSLConnect connected to device running VexaBSL version 12"),
            std::string::npos);
  EXPECT_EQ(BSLDisconnect(host_.get()), 1);
  EXPECT_EQ(BSLDisconnect(host_.get()), 0);
}

TEST_F(LoaderTest, MissingLoaderEndsTheInvocationAtOnce) {
  device_.Play({PtyDevice::Expects("boot KWEL\r"), PtyDevice::Sends("VexaBSL MISSING\r>"),
                PtyDevice::Expects("\r")});  // BSLCheck's carriage return, unanswered
  EXPECT_EQ(BSLConnect(host_.get(), device_.Path().c_str(), 57600, false, 3), kErrNoLoader);
  std::string received;
  EXPECT_TRUE(device_.Finish(&received));
  EXPECT_EQ(received.find("boot KWEL\r"), received.rfind("boot KWEL\r")) << "sent once";
  const std::string log = LogText();
  EXPECT_NE(log.find("BSLInvocation failed with error -112"), std::string::npos);
  EXPECT_NE(log.find("BSLConnect failed to connect to device (error -112)"), std::string::npos);
  EXPECT_FALSE(host_->portOpen);
}

TEST_F(LoaderTest, HandOffBorrowsAPortAndHandBackForgetsIt) {
  char buffer[kReadBufferSize];
  EXPECT_EQ(BSLHandOff(host_.get(), 7, nullptr, "x", false, 0), kErrBadArgument);
  EXPECT_NE(LogText().find("BSLHandOff called with some NULL parameters"), std::string::npos);
  EXPECT_EQ(BSLHandOff(host_.get(), 7, buffer, "ttyUSB0", true, 0), 1);
  EXPECT_EQ(host_->tries, 3u);
  EXPECT_EQ(host_->port.baud, 9600u);
  EXPECT_TRUE(host_->portOpen);
  EXPECT_EQ(BSLHandBack(host_.get()), 1);
  EXPECT_EQ(host_->port.handle, kNoHandle);
  EXPECT_EQ(host_->port.gReadBuffer, nullptr);
  EXPECT_EQ(BSLDisconnect(host_.get()), 0);
}

}  // namespace
