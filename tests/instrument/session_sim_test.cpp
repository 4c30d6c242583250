// The connection life against the virtual instruments: a Qd40 that changes its rate, a Qd4 with
// the oldest firmware, loaders found instead of firmware, and loggers behind a radio modem.
#include <gtest/gtest.h>

#include "instrument/device_command.h"
#include "instrument/device_types.h"
#include "instrument/identify.h"
#include "instrument/session.h"
#include "tests/instrument/instrument_fixture.h"
#include "tests/support/sim_instrument.h"

namespace {

class SimSessionTest : public InstrumentTest {
 protected:
  // Starts `family` with `arguments` and fills the request for its link.
  void Start(const std::string& family, const std::vector<std::string>& arguments,
             uint8_t linkKind = link_kind::kSerial) {
    sim_ = std::make_unique<SimInstrument>(family);
    ASSERT_TRUE(sim_->Start(arguments)) << sim_->Error();
    std::snprintf(request_.portName, sizeof request_.portName, "%s", sim_->LinkPath().c_str());
    request_.linkKind = linkKind;
  }
  void TearDown() override {
    device_.reset();  // disconnects while the instrument is still there
    sim_.reset();
    InstrumentTest::TearDown();
  }

  std::unique_ptr<SimInstrument> sim_;
  ConnectionRequest request_;
};

TEST_F(SimSessionTest, Qd40ChangesToTheRateAskedAndBackAtDisconnect) {
  Start("qd40", {});
  request_.baudCode = 6;
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_EQ(request_.baudCode, 6);
  EXPECT_EQ(device_->port.baud, 115200u);
  EXPECT_EQ(device_->settings.deviceType, device_type::kQd40);
  EXPECT_EQ(device_->settings.versionNumber, 203);
  EXPECT_STREQ(device_->settings.versionText, "Qd40 2.03");

  // Working at the new rate.
  char answer[32];
  uint32_t size = sizeof answer;
  EXPECT_GT(DeviceCommand(device_.get(), "get -i\r", '>', 1500, answer, &size, nullptr), 0);
  EXPECT_STREQ(answer, "\rLOGGER1\r>");

  EXPECT_EQ(DisconnectDevice(device_.get(), false), 1);
  EXPECT_EQ(device_->settings.versionNumber, 0);
  EXPECT_TRUE(Logged("SetBaudCommand set device baud rate to 115200"));
  EXPECT_TRUE(Logged("DeviceLogin communicating with a device running Qd40 2.03 at 115200 baud"));
  EXPECT_TRUE(Logged("SetBaudCommand set device baud rate to 9600"));
  EXPECT_TRUE(Logged("DisconnectDevice successful"));

  // The instrument is back at 9600: a new connection at the start rate works at once.
  request_.baudCode = 2;
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_EQ(device_->port.baud, 9600u);
}

TEST_F(SimSessionTest, Qd40ReturnsTo9600WhenTheHostFallsSilent) {
  Start("qd40", {"--idle-ms", "300"});
  request_.baudCode = 8;
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_EQ(device_->port.baud, 460800u);
  DSClose(&device_->port);  // the host goes away without a word
  device_->request.linkKind = link_kind::kNone;
  PumpingWait(500);
  request_.baudCode = 2;
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_EQ(device_->settings.versionNumber, 203);
}

TEST_F(SimSessionTest, KeepPortOpenLeavesTheLineAt9600ForTheNextConnect) {
  Start("qd40", {});
  ConnectionOptions options;
  options.keepPortOpen = 1;
  ASSERT_EQ(SetConnectionOptions(device_.get(), &options), 1);
  request_.baudCode = 7;
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_EQ(device_->port.baud, 230400u);
  const int handle = device_->port.handle;
  EXPECT_EQ(DisconnectDevice(device_.get(), false), 1);
  EXPECT_EQ(device_->port.handle, handle);
  EXPECT_EQ(device_->port.baud, 9600u);
  EXPECT_EQ(device_->request.linkKind, link_kind::kSerial);
  EXPECT_EQ(device_->settings.deviceType, 0);
  request_.baudCode = 2;
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_EQ(device_->port.handle, handle);  // not opened again
  EXPECT_EQ(device_->settings.deviceType, device_type::kQd40);
}

TEST_F(SimSessionTest, OldestQd4IsIdentifiedThroughShow) {
  Start("qd4", {});
  request_.baudCode = 6;  // it cannot change: the connection stays at 9600
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_EQ(request_.baudCode, 2);
  EXPECT_EQ(device_->port.baud, 9600u);
  EXPECT_EQ(device_->settings.deviceType, device_type::kQd4);
  EXPECT_EQ(device_->settings.newFirmware, 0);
  EXPECT_EQ(device_->settings.capabilityMask, 0x331Cu);

  EXPECT_EQ(VerCommand(device_.get(), false), 1);  // known old firmware: "show" alone
  EXPECT_STREQ(device_->settings.deviceName, "QD4UNIT");
  EXPECT_STREQ(device_->settings.versionText, "1.12");
  EXPECT_EQ(device_->settings.versionNumber, 112);
  EXPECT_EQ(device_->settings.radioMode, 1);
  EXPECT_EQ(device_->settings.wakeInterval, 60);
  EXPECT_EQ(device_->resets, 3u);
  EXPECT_TRUE(Logged("VerCommand found Qd4 with old firmware"));
  EXPECT_TRUE(Logged("ParseShowCommand found QD4UNIT:1.12:1:60:3"));
}

TEST_F(SimSessionTest, LoaderFoundInsteadOfTheFirmware) {
  struct Case {
    const char* fault;
    int32_t result;
  };
  for (const Case& c :
       {Case{"loader-running", kErrLoaderRunning}, Case{"loader-waiting", kErrLoaderWaiting}}) {
    SCOPED_TRACE(c.fault);
    Start("fieldpal", {"--loader-baud", "9600", "--fault", c.fault});
    EXPECT_EQ(ConnectDevice(device_.get(), &request_), c.result);
    EXPECT_EQ(device_->request.linkKind, link_kind::kNone);  // the failed connect closed it
    EXPECT_EQ(device_->port.handle, kNoHandle);
    EXPECT_TRUE(Logged("DeviceLogin failed with error " + std::to_string(c.result)));
  }
}

TEST_F(SimSessionTest, RadioConnectNeedsTheWake) {
  Start("radio", {}, link_kind::kRadio);
  ConnectionOptions options;
  options.radioTries = 1;
  ASSERT_EQ(SetConnectionOptions(device_.get(), &options), 1);
  device_->wakePacketMs = 1;  // the simulator wakes on the count, not on the pacing
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_STREQ(device_->settings.deviceName, "RADIO1");
  EXPECT_STREQ(device_->request.deviceName, "RADIO1");
  EXPECT_EQ(device_->settings.versionText[0], 0);  // a radio connect does not identify
  EXPECT_TRUE(Logged("QueryCommand didn't get any answers after 1 tries"));
  EXPECT_TRUE(Logged("SendWake sent 909 packets"));
  EXPECT_TRUE(Logged("QueryCommand heard from: RADIO1"));
  EXPECT_TRUE(Logged("DeviceLogin communicating with a device running  at 9600 baud"));

  EXPECT_EQ(VerCommand(device_.get(), false), 1);
  EXPECT_EQ(device_->settings.deviceType, device_type::kQd40);
  EXPECT_EQ(DisconnectDevice(device_.get(), false), 1);
  EXPECT_TRUE(Logged("DisconnectDevice successful"));
}

TEST_F(SimSessionTest, RadioModemConfiguredOntoTheLoggersChannel) {
  Start("radio", {"--awake", "--channel", "5", "--subchannel", "4660", "--modem-channel", "1"},
        link_kind::kRadio);
  request_.configureRadioModem = 1;
  request_.radioChannel = 5;
  request_.radioSubChannel = 4660;
  std::snprintf(request_.deviceName, sizeof request_.deviceName, "RADIO1");
  ASSERT_EQ(ConnectDevice(device_.get(), &request_), 1);
  EXPECT_TRUE(Logged("Mx2Config set rch to 5"));
  EXPECT_TRUE(Logged("Mx2Config set rsch to 4660"));
  EXPECT_STREQ(device_->settings.deviceName, "RADIO1");
}

TEST_F(SimSessionTest, RadioModemOnTheWrongChannelHearsNobody) {
  Start("radio", {"--awake", "--channel", "3"}, link_kind::kRadio);
  ConnectionOptions options;
  options.radioTries = 1;
  ASSERT_EQ(SetConnectionOptions(device_.get(), &options), 1);
  device_->wakePacketMs = 1;
  request_.configureRadioModem = 1;
  request_.radioChannel = 2;
  request_.radioSubChannel = 0x1234;
  EXPECT_EQ(ConnectDevice(device_.get(), &request_), kErrNothingListening);
  EXPECT_TRUE(Logged("Mx2Config set rch to 2"));
  EXPECT_TRUE(Logged("SendWake sent 909 packets"));
  EXPECT_TRUE(Logged("DeviceLogin: nothing is listening over the radio"));
  EXPECT_EQ(device_->port.handle, kNoHandle);
}

TEST_F(SimSessionTest, RelayEchoOverTheRadio) {
  Start("radio", {"--awake", "--fault", "echo"}, link_kind::kRadio);
  EXPECT_EQ(ConnectDevice(device_.get(), &request_), kErrRelayEchoes);
  EXPECT_TRUE(Logged("QueryCommand is hearing \"query\" -- a relay must be active"));
  EXPECT_TRUE(Logged("DeviceLogin failed with error -33"));
}

}  // namespace
