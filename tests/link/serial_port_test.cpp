#include "link/serial_port.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/pty_device.h"

namespace fs = std::filesystem;

namespace {

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_path_ = (fs::temp_directory_path() /
                 ("vexa_serial_" + std::to_string(getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt"))
                    .string();
    fs::remove(log_path_);
    log_ = std::make_unique<VexaLog>(log_path_.c_str(), 40);
    port_.log = log_.get();
  }
  void TearDown() override {
    DSClose(&port_);
    fs::remove(log_path_);
  }

  std::string LogText() const {
    std::ifstream in(log_path_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::unique_ptr<VexaLog> log_;
  std::string log_path_;
  SerialPort port_;
  PtyDevice device_;
};

TEST_F(SerialPortTest, OpenAtBaudZeroMeansNineSixHundred) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 0), 1);
  EXPECT_EQ(port_.baud, 9600u);
  EXPECT_EQ(device_.ClientBaud(), 9600u);
  EXPECT_NE(LogText().find(device_.Path() +
                           ": DSOpen successfully opened and configured comm port at 9600 baud"),
            std::string::npos);
  EXPECT_TRUE(port_.ownsBuffer);
  EXPECT_EQ(DSClose(&port_), 1);
  EXPECT_EQ(port_.gReadBuffer, nullptr);
  EXPECT_EQ(DSClose(&port_), 0);
}

TEST_F(SerialPortTest, OpenErrorsAreMappedForTheUser) {
  EXPECT_EQ(DSOpen(&port_, "/dev/vexa-no-such-port", 9600), kErrPortMissing);
  EXPECT_EQ(DSOpen(&port_, "ttyVexaMissing", 9600), kErrPortMissing);
  EXPECT_NE(LogText().find("ttyVexaMissing: DSOpen failed to open comm port (error 2)"),
            std::string::npos);

  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  SerialPort other;
  other.log = log_.get();
  EXPECT_EQ(DSOpen(&other, device_.Path().c_str(), 9600), kErrPortBusy);
  EXPECT_NE(LogText().find("DSOpen failed to open comm port (error 5)"), std::string::npos);
  DSClose(&port_);
  EXPECT_EQ(DSOpen(&other, device_.Path().c_str(), 9600), 1) << "the port is free again";
  DSClose(&other);
}

TEST_F(SerialPortTest, ADeviceThatCannotBeConfiguredIsNotLeftOpen) {
  EXPECT_EQ(DSOpen(&port_, "/dev/null", 9600), kErrNotSerialPort);
  EXPECT_EQ(port_.handle, kNoHandle);
  EXPECT_NE(LogText().find("DSOpen failed to retreive DCB on comm port (error 25)"),
            std::string::npos);

  EXPECT_EQ(DSOpen(&port_, device_.Path().c_str(), 12345), kErrPortSettingsRefused);
  EXPECT_EQ(port_.handle, kNoHandle);
  EXPECT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1) << "the port is not left locked";
}

TEST_F(SerialPortTest, OpeningAnOpenRecordClosesItFirst) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 57600), 1);
  EXPECT_EQ(device_.ClientBaud(), 57600u);
  EXPECT_NE(LogText().find("VexaSerial: DSOpen found port"), std::string::npos);
}

TEST_F(SerialPortTest, WaitFindsTheCharacterAndReadDeliversTheBurstWithoutTouchingThePort) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  uint32_t written = 0;
  EXPECT_EQ(DSWrite(&port_, "get -ver\r", 9, &written), 9);
  EXPECT_EQ(written, 9u);
  EXPECT_EQ(device_.Receive(200), "get -ver\r");

  device_.Send("OK\r>");
  EXPECT_EQ(DSWait(&port_, 1000, '\r'), '\r');
  device_.Send("later");  // must stay in the port until the next read
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  char answer[20];
  uint32_t got = 0;
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), 4);
  EXPECT_EQ(std::string(answer, got), "OK\r>");
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), 5);
  EXPECT_EQ(std::string(answer, got), "later");
}

TEST_F(SerialPortTest, ReadTruncatesToTheCallersSizeAndDropsTheRest) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  device_.Send("0123456789abcdefghijklmnopqrs\r");  // 30 characters
  ASSERT_EQ(DSWait(&port_, 1000, '\r'), '\r');
  char answer[20];
  uint32_t got = 0;
  const uint32_t start = MsClock();
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), 20);
  EXPECT_LT(MsClock() - start, 90u) << "a truncating read returns without a 100 ms port read";
  EXPECT_EQ(std::string(answer, got), "0123456789abcdefghij");
  device_.Send("Z");
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), 1);
  EXPECT_EQ(answer[0], 'Z');
}

TEST_F(SerialPortTest, WaitTimesOutJustAfterItsLimitAndKeepsWhatArrived) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  device_.Send("partial");
  struct Case {
    uint32_t limit;
    uint32_t slack;  // one more 100 ms read, plus a 200 ms pumping slice above 400 ms
  };
  for (const Case& c : {Case{300, 100}, Case{700, 300}}) {
    const uint32_t start = MsClock();
    EXPECT_EQ(DSWait(&port_, c.limit, '\r'), 0);
    const uint32_t elapsed = MsClock() - start;
    EXPECT_GE(elapsed, c.limit);
    EXPECT_LE(elapsed, c.limit + c.slack + 400) << c.limit;  // generous: a loaded machine
  }
  EXPECT_NE(LogText().find("DSWait read 0 bytes, but never found '\r'"), std::string::npos);
  // The first wait's bytes were overwritten by the second wait, which collected nothing.
  device_.Send("more");
  char answer[20];
  uint32_t got = 0;
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), 4);
}

TEST_F(SerialPortTest, AfterATimeOutReadReturnsTheCollectedTextAndReadsThePortOnce) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  device_.Send("abc");
  EXPECT_EQ(DSWait(&port_, 150, '\r'), 0);
  device_.Send("def");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  char answer[20];
  uint32_t got = 0;
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), 6);
  EXPECT_EQ(std::string(answer, got), "abcdef");
}

TEST_F(SerialPortTest, PurgeForgetsCollectedAndPendingBytes) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  device_.Send("OK\r");
  ASSERT_EQ(DSWait(&port_, 1000, '\r'), '\r');
  device_.Send("stale");
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(DSPurge(&port_, 1), 0);
  char answer[20];
  uint32_t got = 7;
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), 0);
  EXPECT_EQ(got, 0u);
  device_.Send("fresh");
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), 5);
}

TEST_F(SerialPortTest, HostBaudChangesTheLineOnlyWhenNeeded) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  EXPECT_EQ(DSHostBaud(&port_, 9600), 0);
  EXPECT_EQ(DSHostBaud(&port_, 115200), 1);
  EXPECT_EQ(device_.ClientBaud(), 115200u);
  EXPECT_EQ(port_.baud, 115200u);
  EXPECT_EQ(DSHostBaud(&port_, 12345), -EINVAL);
  EXPECT_EQ(port_.baud, 115200u);

  SerialPort unnamed;
  EXPECT_EQ(DSHostBaud(&unnamed, 57600), kErrNoPortName);
}

TEST_F(SerialPortTest, ClosedPortOperationsFailWithNoAnswer) {
  char answer[8];
  uint32_t got = 0;
  char buffer[kReadBufferSize] = {};
  port_.gReadBuffer = buffer;  // like the device context, which owns its buffer
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), kErrNoAnswer);
  EXPECT_EQ(DSWrite(&port_, "x", 1, &got), kErrNoAnswer);
  EXPECT_EQ(DSWait(&port_, 100, '\r'), kErrNoAnswer);
  const std::string text = LogText();
  EXPECT_NE(text.find("VexaSerial: DSRead tried to read from a closed port"), std::string::npos);
  EXPECT_NE(text.find("VexaSerial: DSWrite tried to write to a closed port"), std::string::npos);
  EXPECT_NE(text.find("VexaSerial: DSWait tried to operate on a closed port"), std::string::npos);

  SerialPort bare;
  EXPECT_EQ(DSRead(&bare, answer, sizeof answer, &got), kErrOutOfMemory);
  port_.gReadBuffer = nullptr;
}

TEST_F(SerialPortTest, AGivenReadBufferIsUsedAndNotReleased) {
  char buffer[kReadBufferSize];
  port_.gReadBuffer = buffer;
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  EXPECT_FALSE(port_.ownsBuffer);
  device_.Send("OK\r");
  ASSERT_EQ(DSWait(&port_, 1000, '\r'), '\r');
  EXPECT_STREQ(buffer, "OK\r");
  DSClose(&port_);
  EXPECT_EQ(port_.gReadBuffer, buffer);
  port_.gReadBuffer = nullptr;
}

TEST_F(SerialPortTest, ALineThatHangsUpFailsAtOnceInsteadOfTimingOut) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  device_.Play({PtyDevice::Sends("half an ans"), PtyDevice::Waits(200), PtyDevice::HangsUp()});
  const uint32_t start = MsClock();
  EXPECT_EQ(DSWait(&port_, 5000, '\r'), kErrNoAnswer);
  EXPECT_LT(MsClock() - start, 2000u);
  EXPECT_TRUE(device_.Finish());
  char answer[20];
  uint32_t got = 0;
  EXPECT_EQ(DSRead(&port_, answer, sizeof answer, &got), kErrNoAnswer);
  EXPECT_EQ(DSWrite(&port_, "x", 1, &got), kErrNoAnswer);
  EXPECT_NE(LogText().find("DSWait ReadFile failed (error 5)"), std::string::npos);
  EXPECT_EQ(DSClose(&port_), 1);
}

TEST_F(SerialPortTest, ScriptedDeviceSeesTheRequestAndAnswers) {
  ASSERT_EQ(DSOpen(&port_, device_.Path().c_str(), 9600), 1);
  device_.Play(
      {PtyDevice::Expects("get -ver\r"), PtyDevice::Waits(50), PtyDevice::Sends("FP 1.50\r>")});
  DSPurge(&port_, 1);
  uint32_t written = 0;
  DSWrite(&port_, "get -ver\r", 9, &written);
  EXPECT_EQ(DSWait(&port_, 1500, '>'), '>');
  char answer[32];
  uint32_t got = 0;
  DSRead(&port_, answer, sizeof answer, &got);
  EXPECT_EQ(std::string(answer, got), "FP 1.50\r>");
  EXPECT_TRUE(device_.Finish());
}

}  // namespace
