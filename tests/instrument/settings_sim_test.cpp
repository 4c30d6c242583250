// The settings snapshot, the clock and the data erase against the virtual loggers: a Qd40 with
// its whole settings store, an older one lacking most settings, an rQ7 and the oldest Qd4.
#include <gtest/gtest.h>

#include <cstring>

#include "instrument/device_command.h"
#include "instrument/device_settings.h"
#include "instrument/device_time.h"
#include "instrument/erase_data.h"
#include "instrument/session.h"
#include "instrument/setting_commands.h"
#include "tests/instrument/instrument_fixture.h"
#include "tests/support/sim_instrument.h"

namespace {

namespace bit = setting_bit;
constexpr uint32_t kWritable = kAllSettings & ~bit::kIdentification;

class SettingsSimTest : public InstrumentTest {
 protected:
  void Start(const std::string& family, const std::vector<std::string>& arguments,
             uint8_t baudCode = 2, uint8_t linkKind = link_kind::kSerial) {
    sim_ = std::make_unique<SimInstrument>(family);
    ASSERT_TRUE(sim_->Start(arguments)) << sim_->Error();
    ConnectionRequest request;
    std::snprintf(request.portName, sizeof request.portName, "%s", sim_->LinkPath().c_str());
    request.linkKind = linkKind;
    request.baudCode = baudCode;
    ASSERT_EQ(ConnectDevice(device_.get(), &request), 1);
  }
  // Disconnects and stops the simulator; its settings store as it ended.
  nlohmann::json Finish() {
    DisconnectDevice(device_.get(), false);
    EXPECT_EQ(sim_->Stop(), 0);
    nlohmann::json settings = sim_->Stats()["instrument"]["settings"];
    settings.erase("clock");  // runs on by itself
    return settings;
  }
  // The store of a logger that nobody talked to.
  static nlohmann::json Untouched(const std::string& family) {
    SimInstrument sim(family);
    EXPECT_TRUE(sim.Start()) << sim.Error();
    EXPECT_EQ(sim.Stop(), 0);
    nlohmann::json settings = sim.Stats()["instrument"]["settings"];
    settings.erase("clock");
    return settings;
  }
  int32_t Read(SettingsRecord* record, uint32_t wanted = kAllSettings) {
    uint32_t mask = wanted;
    const int32_t result = DeviceSettings(device_.get(), record, &mask, SettingDirection::kRead);
    lastMask_ = mask;
    return result;
  }
  int32_t Write(SettingsRecord* record, uint32_t wanted) {
    uint32_t mask = wanted;
    const int32_t result = DeviceSettings(device_.get(), record, &mask, SettingDirection::kWrite);
    lastMask_ = mask;
    return result;
  }
  void TearDown() override {
    device_.reset();
    sim_.reset();
    InstrumentTest::TearDown();
  }

  std::unique_ptr<SimInstrument> sim_;
  uint32_t lastMask_ = 0;
};

TEST_F(SettingsSimTest, ReadsEverySettingAndWritesThemBackUnchanged) {
  Start("qd40", {}, 6);
  SettingsRecord record;
  ASSERT_EQ(Read(&record), 1);
  EXPECT_EQ(lastMask_, kAllSettings);
  EXPECT_EQ(record.presentMask, kAllSettings);
  EXPECT_STREQ(record.deviceName, "LOGGER1");
  EXPECT_STREQ(record.site, "North Creek weir");
  EXPECT_DOUBLE_EQ(record.latitude, 45.12345);
  EXPECT_EQ(record.trait, 0x4009u);
  EXPECT_EQ(record.adc15Offsets[4], 13);
  EXPECT_STREQ(record.apnPassword, "s3cret");
  EXPECT_STREQ(record.radioVersion, "1085");

  ASSERT_EQ(Write(&record, record.presentMask & kWritable), 1);
  EXPECT_EQ(lastMask_, kWritable & ~bit::kRadioVersion);  // the radio's version is its own
  EXPECT_EQ(Finish(), Untouched("qd40"));
  EXPECT_EQ(sim_->Stats()["instrument"]["refusals"], 0);
  EXPECT_FALSE(Logged("s3cret"));
}

TEST_F(SettingsSimTest, WritesWhatTheRecordSays) {
  Start("qd40", {});
  SettingsRecord record;
  ASSERT_EQ(Read(&record), 1);
  std::strcpy(record.deviceName, "WEIR2");
  std::strcpy(record.site, "South Fork");
  record.latitude = -33.5;
  record.timeZoneQuarters = 22;
  record.ports[4] = 9;
  record.adc30Slopes[0] = 99;
  record.trait = 0x4008;  // the network modem, no radio
  std::strcpy(record.apnPassword, "n3w");
  record.radioSubChannel = 0x4321;
  ASSERT_EQ(Write(&record, kWritable & ~bit::kRadioVersion), 1);
  const nlohmann::json store = Finish();
  EXPECT_EQ(store["name"], "WEIR2");
  EXPECT_EQ(store["site"], "South Fork");
  EXPECT_DOUBLE_EQ(store["latitude"].get<double>(), -33.5);
  EXPECT_EQ(store["time_zone"], 22);
  EXPECT_EQ(store["ports"][4], 9);
  EXPECT_EQ(store["adc30_slopes"][0], 99);
  EXPECT_EQ(store["trait"], 8);
  EXPECT_EQ(store["apn_password"], "n3w");
  EXPECT_EQ(store["radio_subchannel"], 0x4321);
}

TEST_F(SettingsSimTest, AnOlderLoggerTakesWhatItHas) {
  Start("qd40", {"--version", "1.05", "--name", "OLD105"});
  SettingsRecord record;
  EXPECT_EQ(Read(&record), -35);
  EXPECT_TRUE(record.presentMask & bit::kWakeInterval);
  EXPECT_FALSE(record.presentMask & bit::kSite);
  EXPECT_EQ(record.trait, 0x4001u);  // no trait of its own: it answered for its radio

  // A whole record from a newer logger: the settings it has are still written.
  record.presentMask = kAllSettings;
  std::strcpy(record.deviceName, "NEW105");
  record.wakeInterval = 900;
  EXPECT_EQ(Write(&record, kWritable & ~bit::kRadioVersion), -35);
  EXPECT_TRUE(lastMask_ & bit::kName);
  EXPECT_TRUE(lastMask_ & bit::kWakeInterval);
  EXPECT_FALSE(lastMask_ & bit::kSite);
  const nlohmann::json store = Finish();
  EXPECT_EQ(store["name"], "NEW105");
  EXPECT_EQ(store["wake_interval"], 900);
}

TEST_F(SettingsSimTest, LogsInAgainWhenTheLoggerFallsSilent) {
  // The fifth answer after the connect's and the two after it are lost: one whole exchange.
  Start("qd40", {"--fault", "silent-after=6", "--fault", "silent-for=3"});
  SettingsRecord record;
  EXPECT_EQ(Read(&record), 1);
  EXPECT_EQ(lastMask_, kAllSettings);
  EXPECT_TRUE(Logged("DeviceSettings re-connected to device"));
  EXPECT_STREQ(record.site, "North Creek weir");
}

TEST_F(SettingsSimTest, GivesUpWhenTheLoggerIsGone) {
  Start("qd40", {"--fault", "silent-after=4"});
  SettingsRecord record;
  EXPECT_EQ(Read(&record), -21);
  EXPECT_FALSE(Logged("DeviceSettings re-connected to device"));
  EXPECT_TRUE(record.presentMask & bit::kName);  // what came before is kept
}

TEST_F(SettingsSimTest, OverTheRadioTheModemKnowsTheRadioValues) {
  Start("radio", {"--awake"}, 2, link_kind::kRadio);
  SettingsRecord record;
  EXPECT_EQ(Read(&record), 1);
  EXPECT_EQ(lastMask_, kAllSettings & ~bit::kRadioVersion);  // the modem cannot tell it
  EXPECT_EQ(record.radioChannel, 3);
  EXPECT_EQ(record.radioSubChannel, 0x1234);
  EXPECT_TRUE(Logged("MSRadioCommand asked the Mx2 and found the RCH is 3 and RSCH is 4660"));
}

TEST_F(SettingsSimTest, OverTheRadioASilenceEndsTheRead) {
  Start("radio", {"--awake", "--fault", "silent-after=8"}, 2, link_kind::kRadio);
  SettingsRecord record;
  EXPECT_EQ(Read(&record), -21);
  EXPECT_FALSE(Logged("DeviceSettings re-connected to device"));
}

TEST_F(SettingsSimTest, AnRQ7IsNeverAskedForItsRadioMode) {
  Start("rq7", {});
  SettingsRecord record;
  EXPECT_EQ(Read(&record), -35);  // no build text, no network modem
  EXPECT_EQ(record.radioMode, 16);
  EXPECT_TRUE(record.presentMask & bit::kRadioMode);
  EXPECT_FALSE(record.presentMask & bit::kBuild);
  EXPECT_FALSE(record.presentMask & bit::kApn);
  Finish();
  EXPECT_EQ(sim_->Stats()["instrument"]["rmode_commands"], 0);
}

TEST_F(SettingsSimTest, ARadioValueNeedsTheTraitFirst) {
  Start("qd40", {});
  SettingsRecord record;
  ASSERT_EQ(Read(&record, bit::kRadioChannel), 1);
  EXPECT_EQ(lastMask_, bit::kTrait | bit::kRadioChannel);  // identified at the connect
  EXPECT_EQ(record.radioChannel, 3);
  EXPECT_EQ(record.radioSubChannel, 0);  // not asked for

  // Known to have no radio: its values are not asked for.
  record.trait = 0x4008;
  device_->settings = record;
  EXPECT_EQ(Read(&record, bit::kRadioChannel | bit::kName), -35);
  EXPECT_EQ(lastMask_, bit::kName);
}

// Cancels once `limit` settings are done.
bool CancelAfter(void* context, uint32_t, uint32_t done, int phase) {
  return phase != 1 || done < *static_cast<uint32_t*>(context);
}

TEST_F(SettingsSimTest, TheProgressHookCancels) {
  Start("qd40", {});
  uint32_t limit = 3;
  device_->options.progressEnabled = 1;
  device_->progressHook = CancelAfter;
  device_->progressContext = &limit;
  SettingsRecord record;
  EXPECT_EQ(Read(&record), -40);
  EXPECT_TRUE(Logged("DeviceSettings canceled by user after getting 3 of 28 settings"));
}

TEST_F(SettingsSimTest, ClockSetAndReadBack) {
  Start("qd40", {});
  int32_t seconds = 762527109;  // 2024-02-29 13:05:09
  ASSERT_EQ(DeviceTime(device_.get(), &seconds, SettingDirection::kWrite), 1);
  int32_t read = 0;
  ASSERT_EQ(DeviceTime(device_.get(), &read, SettingDirection::kRead), 1);
  EXPECT_GE(read, seconds);
  EXPECT_LE(read, seconds + 2);
  EXPECT_TRUE(Logged("DeviceTime set device date to 2024-2-29"));
}

TEST_F(SettingsSimTest, EraseChecksTheInstrumentFirst) {
  Start("qd40", {});
  SettingsRecord record;
  ASSERT_EQ(Read(&record, bit::kName), 1);
  EXPECT_EQ(EraseData(device_.get()), 1);
  EXPECT_TRUE(Logged("InitializeDevice erased device data"));

  // Someone renamed the logger since: it may not be the one meant.
  char answer[32];
  uint32_t size = sizeof answer;
  ASSERT_GT(DeviceCommand(device_.get(), "set -i OTHER\r", '>', 1500, answer, &size, nullptr), 0);
  EXPECT_EQ(EraseData(device_.get()), -37);
  EXPECT_TRUE(Logged("EraseData: Identity mismatch. Class: LOGGER1, Device: OTHER"));
  Finish();
  EXPECT_EQ(sim_->Stats()["instrument"]["data_erases"], 1);
}

TEST_F(SettingsSimTest, EraseReportsABrokenDataMemory) {
  Start("qd40", {"--fault", "dataflash-fail"});
  SettingsRecord record;
  ASSERT_EQ(Read(&record, bit::kName), 1);
  EXPECT_EQ(EraseData(device_.get()), -65);
  EXPECT_TRUE(Logged("EraseData failed due to a broken DataFlash"));
}

TEST_F(SettingsSimTest, TheOldestFirmwareConfirmsWithAnExclamation) {
  Start("qd4", {});
  SettingsRecord record;
  ASSERT_EQ(Read(&record, bit::kName), 1);
  EXPECT_STREQ(record.deviceName, "QD4UNIT");
  EXPECT_EQ(EraseData(device_.get()), 1);
  Finish();
  EXPECT_EQ(sim_->Stats()["instrument"]["data_erases"], 1);
}

}  // namespace
