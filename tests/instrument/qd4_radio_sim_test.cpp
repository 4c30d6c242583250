// The radio of a Qd4 with the oldest firmware, through its pass-through ("term") to its own radio
// modem: read and written by MSRadioCommand, and read with everything else by DeviceSettings.
#include <gtest/gtest.h>

#include <cstring>

#include "instrument/device_command.h"
#include "instrument/device_settings.h"
#include "instrument/radio_modem.h"
#include "instrument/session.h"
#include "tests/instrument/instrument_fixture.h"
#include "tests/support/sim_instrument.h"

namespace {

namespace bit = setting_bit;

class Qd4RadioSimTest : public InstrumentTest {
 protected:
  void Start(const std::vector<std::string>& arguments = {}) {
    sim_ = std::make_unique<SimInstrument>("qd4");
    ASSERT_TRUE(sim_->Start(arguments)) << sim_->Error();
    ConnectionRequest request;
    std::snprintf(request.portName, sizeof request.portName, "%s", sim_->LinkPath().c_str());
    request.linkKind = link_kind::kSerial;
    ASSERT_EQ(ConnectDevice(device_.get(), &request), 1);
    ASSERT_EQ(device_->settings.newFirmware, 0);
  }
  // The Qd4 answers on its own command line (the pass-through is over).
  bool OnItsCommandLine() {
    char answer[128];
    uint32_t size = sizeof answer;
    return DeviceCommand(device_.get(), "show\r", '>', 1500, answer, &size, nullptr) > 0 &&
           std::strstr(answer, "ID: QD4UNIT") != nullptr;
  }
  // Disconnects and stops the simulator; its statistics under "instrument".
  nlohmann::json Finish() {
    DisconnectDevice(device_.get(), false);
    EXPECT_EQ(sim_->Stop(), 0);
    return sim_->Stats()["instrument"];
  }
  void TearDown() override {
    device_.reset();
    sim_.reset();
    InstrumentTest::TearDown();
  }

  std::unique_ptr<SimInstrument> sim_;
};

TEST_F(Qd4RadioSimTest, ReadsChannelSubChannelAndVersion) {
  Start();
  int32_t channel = -1;
  int32_t subChannel = -1;
  char version[kRadioVersionLength + 1] = {};
  uint32_t mask = kRadioBits;
  ASSERT_EQ(
      MSRadioCommand(device_.get(), &channel, &subChannel, version, SettingDirection::kRead, &mask),
      1);
  EXPECT_EQ(mask, kRadioBits);
  EXPECT_EQ(channel, 3);
  EXPECT_EQ(subChannel, 4660);
  EXPECT_STREQ(version, "1085");
  EXPECT_TRUE(OnItsCommandLine());
  const nlohmann::json stats = Finish();
  EXPECT_EQ(stats["pass_throughs"], 1);
  EXPECT_EQ(stats["escapes"], 1);
  EXPECT_EQ(stats["at_commands"], 4);  // ATHP, ATDT, ATVR, ATCN
  EXPECT_EQ(stats["dropped_bytes"], 0);
}

TEST_F(Qd4RadioSimTest, WritesChannelAndSubChannel) {
  Start();
  int32_t channel = 1;
  int32_t subChannel = 0x4321;
  uint32_t mask = bit::kRadioChannel | bit::kRadioSubChannel;
  ASSERT_EQ(MSRadioCommand(device_.get(), &channel, &subChannel, nullptr, SettingDirection::kWrite,
                           &mask),
            1);
  EXPECT_EQ(mask, bit::kRadioChannel | bit::kRadioSubChannel);
  EXPECT_TRUE(Logged("Mx2Config set rsch to 17185"));
  EXPECT_TRUE(Logged("Mx2Config saved configuration"));
  EXPECT_TRUE(OnItsCommandLine());
  const nlohmann::json stats = Finish();
  EXPECT_EQ(stats["settings"]["radio_channel"], 1);
  EXPECT_EQ(stats["settings"]["radio_subchannel"], 0x4321);
}

TEST_F(Qd4RadioSimTest, WithoutARadioTheModemNeverAnswersAndTheQd4StaysUsable) {
  Start({"--no-radio"});
  device_->tries = 1;  // each "+++" waits its full time-out: keep them few
  int32_t channel = -1;
  uint32_t mask = bit::kRadioChannel;
  EXPECT_EQ(
      MSRadioCommand(device_.get(), &channel, nullptr, nullptr, SettingDirection::kRead, &mask),
      -23);
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(channel, -1);
  EXPECT_TRUE(OnItsCommandLine());
  EXPECT_EQ(Finish()["pass_throughs"], 0);
}

TEST_F(Qd4RadioSimTest, DeviceSettingsReadsWhatTheOldestFirmwareHas) {
  Start();
  SettingsRecord record;
  uint32_t mask = kAllSettings;
  // "show" gives the name, identification, wake interval and radio mode; the trait comes from
  // asking the radio for its version, the radio values from the pass-through. The firmware has
  // no serial number, no PADC below 1.65 and none of the later settings.
  EXPECT_EQ(DeviceSettings(device_.get(), &record, &mask, SettingDirection::kRead), -35);
  const uint32_t expected = bit::kName | bit::kIdentification | bit::kWakeInterval |
                            bit::kRadioMode | bit::kTrait | kRadioBits;
  EXPECT_EQ(mask, expected);
  EXPECT_EQ(record.presentMask, expected);
  EXPECT_EQ(record.trait, 0x4001u);  // known, with a radio
  EXPECT_EQ(record.radioChannel, 3);
  EXPECT_EQ(record.radioSubChannel, 4660);
  EXPECT_STREQ(record.radioVersion, "1085");
  EXPECT_STREQ(record.deviceName, "QD4UNIT");
  // Twice through: the radio version for the trait, then the radio values.
  EXPECT_EQ(Finish()["pass_throughs"], 2);
}

}  // namespace
