// The instrument clock against scripted instruments, in a known local zone.
#include "instrument/device_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "instrument/device_types.h"
#include "tests/instrument/instrument_fixture.h"

namespace {

using Step = PtyDevice::Step;

constexpr int32_t kLeapDay = 762527109;     // 2024-02-29 13:05:09 counted from 2000
constexpr int32_t kSummerNoon = 773150400;  // 2024-07-01 12:00:00

class DeviceTimeTest : public InstrumentTest {
 protected:
  void SetUp() override {
    InstrumentTest::SetUp();
    const char* zone = std::getenv("TZ");
    if (zone) savedZone_ = zone;
    hadZone_ = zone != nullptr;
    // Eastern time with its daylight saving rule: no zone files needed.
    setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
    tzset();
    OpenSerial(2);
    device_->settings.deviceType = device_type::kQd40;
    device_->settings.newFirmware = 1;
    device_->settings.capabilityMask = 0x5E7FFF7;  // a date-and-time clock
  }
  void TearDown() override {
    if (hadZone_) {
      setenv("TZ", savedZone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
    InstrumentTest::TearDown();
  }
  static Step Answer(const std::string& text) { return PtyDevice::Sends("\r" + text + "\r>"); }

  bool hadZone_ = false;
  std::string savedZone_;
};

TEST_F(DeviceTimeTest, ReadsTheWallTimeWhateverTheSeason) {
  struct Case {
    const char* answer;
    int32_t result;
    int32_t seconds;
  };
  const Case cases[] = {
      {"Date\\Time: 2024-02-29 13:05:09", 1, kLeapDay},
      {"2024-02-29 13:05:09", 1, kLeapDay},
      {"2024-07-01 12:00:00", 1, kSummerNoon},  // daylight saving then, whatever it is now
      {"2024-13-01 12:00:00", -30, -1},
      {"2024-02-29 13:05", -30, -1},
      {"clock stopped", -30, -1},
  };
  for (const Case& c : cases) {
    pty_.Play({PtyDevice::Expects("get -t\r"), Answer(c.answer)});
    int32_t seconds = 0;
    EXPECT_EQ(DeviceTime(device_.get(), &seconds, SettingDirection::kRead), c.result) << c.answer;
    EXPECT_EQ(seconds, c.seconds) << c.answer;
    EXPECT_TRUE(pty_.Finish()) << c.answer;
  }
  EXPECT_TRUE(Logged("DeviceTime found device date/time 2024-2-29 13:05:09 or 762527109"));
  EXPECT_TRUE(Logged("DeviceTime failed with error -30"));
}

TEST_F(DeviceTimeTest, SetsTimeOfDayThenDate) {
  pty_.Play({PtyDevice::Expects("set -t 13:5:9\r"), Answer("OK"),
             PtyDevice::Expects("set -d 2024-2-29\r"), Answer("OK")});
  int32_t seconds = kLeapDay;
  EXPECT_EQ(DeviceTime(device_.get(), &seconds, SettingDirection::kWrite), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("DeviceTime set device time to 13:05:09"));
  EXPECT_TRUE(Logged("DeviceTime set device date to 2024-2-29"));

  // A refused time of day is a failed set, not a clock half set.
  pty_.Play({PtyDevice::Expects("set -t 13:5:9\r"), Answer("what")});
  EXPECT_EQ(DeviceTime(device_.get(), &seconds, SettingDirection::kWrite), -30);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(pty_.Receive(100), "");  // no date followed
}

TEST_F(DeviceTimeTest, SecondsCounterTakesTheComputersTime) {
  device_->settings.capabilityMask |= capability::kClockSeconds;
  std::string received;
  pty_.Play({PtyDevice::Expects("\r"), Answer("OK")});
  int32_t seconds = 0;
  const int32_t before = LocalInstrumentSeconds();
  EXPECT_EQ(DeviceTime(device_.get(), &seconds, SettingDirection::kWrite), 1);
  EXPECT_TRUE(pty_.Finish(&received));
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, LocalInstrumentSeconds());
  EXPECT_EQ(received, "set -sec " + std::to_string(seconds) + "\r");

  // A count that is negative as a signed number is a clock gone wrong.
  pty_.Play({PtyDevice::Expects("get -sec\r"), Answer("4294967295")});
  EXPECT_EQ(DeviceTime(device_.get(), &seconds, SettingDirection::kRead), -30);
  EXPECT_EQ(seconds, -1);
  EXPECT_TRUE(pty_.Finish());

  pty_.Play({PtyDevice::Expects("get -sec\r"), Answer("762527109")});
  EXPECT_EQ(DeviceTime(device_.get(), &seconds, SettingDirection::kRead), 1);
  EXPECT_EQ(seconds, kLeapDay);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("DeviceTime found device date/timr 762527109 VexaSeconds"));
}

TEST_F(DeviceTimeTest, NoClockNoExchange) {
  device_->settings.capabilityMask = 0x5;
  int32_t seconds = 5;
  EXPECT_EQ(DeviceTime(device_.get(), &seconds, SettingDirection::kRead), -1);
  EXPECT_EQ(seconds, -1);
  EXPECT_EQ(pty_.Receive(100), "");
}

}  // namespace
