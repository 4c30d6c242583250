// Saving a sensor's settings and writing them back, its serial number, the firmware check and
// the start of its loader.
#include <vector>

#include "tests/sdi12/sdi12_fixture.h"

namespace {

using Step = PtyDevice::Step;

class SensorSettingsTest : public Sdi12Test {};

// The answers of a type ']' sensor at address 3 with firmware 3.40.
constexpr const char* kIdentity = "313NORVANE KVL-3 340 extra\r\n";

void ScriptSave(std::vector<Step>* script, const std::string& serialAnswer) {
  Exchange(script, "?I!", kIdentity);
  Exchange(script, "?X8!", "3]\r\n");
  Exchange(script, "?X#!", serialAnswer);
  Exchange(script, "?!", "3\r\n");
  Exchange(script, "?X4!", "3 1.25 -1 7\r\n");
  Exchange(script, "?Xa!", "3 2 3 4\r\n");
  Exchange(script, "?XO!", "3 0.5\r\n");
}

TEST_F(SensorSettingsTest, RestoreWritesBackExactlyWhatSaveRead) {
  std::vector<Step> script;
  ScriptSave(&script, "3 SN-4711\r\n");
  pty_->Play(script);
  ASSERT_EQ(SDISaveSensor(sdi_.get()), 1);
  EXPECT_TRUE(pty_->Finish());
  EXPECT_EQ(sdi_->address, '3');
  EXPECT_STREQ(sdi_->info, "NORVANE KVL-3 340 extra");
  EXPECT_EQ(sdi_->version, 340u);
  EXPECT_EQ(sdi_->type, ']');
  EXPECT_STREQ(sdi_->serialNumber, "SN-4711");
  EXPECT_STREQ(sdi_->x4, "1.25 -1 7");
  EXPECT_STREQ(sdi_->xa, "2 3 4");
  EXPECT_STREQ(sdi_->xo, "0.5");
  EXPECT_TRUE(Logged("SDIGetSensorVersion found sensor info: NORVANE KVL-3 340 extra"));

  // New firmware: the sensor answers at address 0 again and takes everything back.
  script.clear();
  Exchange(&script, "?X#SN-4711!", "0OK\r\n");
  Exchange(&script, "?!", "0\r\n");
  Exchange(&script, "0A3!", "3\r\n");
  Exchange(&script, "?X51.25 -1 7!", "3OK\r\n");
  Exchange(&script, "?Xb2 3 4!", "3OK\r\n");
  Exchange(&script, "?XO0.5!", "3OK\r\n");
  pty_->Play(script);
  EXPECT_EQ(SDIRestoreSensor(sdi_.get()), 1);
  bool scriptOk = false;
  EXPECT_EQ(Written(&scriptOk), "|?X#SN-4711!|?!|0A3!|?X51.25 -1 7!|?Xb2 3 4!|?XO0.5!");
  EXPECT_TRUE(scriptOk);
  EXPECT_TRUE(Logged("SDISetSensorAddress successfully set sensor address to '3'"));
}

TEST_F(SensorSettingsTest, SensorThatKeptItsAddressNeedsNoChange) {
  sdi_->address = '3';
  pty_->Play({PtyDevice::Expects("?!"), PtyDevice::Sends("3\r\n")});
  EXPECT_EQ(SDISetSensorAddress(sdi_.get(), '3'), 1);
  EXPECT_EQ(Written(), "|?!");
}

TEST_F(SensorSettingsTest, AddressTakenByAnotherIsRefused) {
  pty_->Play({PtyDevice::Expects("?!"), PtyDevice::Sends("0\r\n"), PtyDevice::Expects("0A5!"),
              PtyDevice::Sends("0\r\n")});
  EXPECT_EQ(SDISetSensorAddress(sdi_.get(), '5'), kErrUnreadableAnswer);
  EXPECT_TRUE(pty_->Finish());
  EXPECT_TRUE(Logged("SDISetSensorAddress could not set sensor address to '5'"));
}

TEST_F(SensorSettingsTest, NoSerialNumberIsNeitherKeptNorWritten) {
  std::vector<Step> script;
  ScriptSave(&script, "3\r\n");
  pty_->Play(script);
  ASSERT_EQ(SDISaveSensor(sdi_.get()), 1);
  EXPECT_TRUE(pty_->Finish());
  EXPECT_STREQ(sdi_->serialNumber, "");
  EXPECT_EQ(SDISetSensorSN(sdi_.get()), 0);
  EXPECT_EQ(pty_->Receive(100), "");
  EXPECT_TRUE(Logged("SDISetSensorSN didn't find a valid serial number"));
}

TEST_F(SensorSettingsTest, SerialNumberRefusedEveryTimeIsRefused) {
  sdi_->tries = 2;
  std::snprintf(sdi_->serialNumber, sizeof sdi_->serialNumber, "SN-1");
  pty_->Play({PtyDevice::Expects("?X#SN-1!"), PtyDevice::Sends("0ERROR\r\n"),
              PtyDevice::Expects("?X#SN-1!"), PtyDevice::Sends("0ERROR\r\n")});
  EXPECT_EQ(SDISetSensorSN(sdi_.get()), kErrRefused);
  EXPECT_TRUE(pty_->Finish());
}

TEST_F(SensorSettingsTest, SaveStopsWhenTheSensorIsSilent) {
  sdi_->tries = 1;
  pty_->Play({PtyDevice::Expects("?I!"), PtyDevice::Expects("?!")});
  EXPECT_EQ(SDISaveSensor(sdi_.get()), kErrNoAnswer);
  EXPECT_TRUE(pty_->Finish());
  EXPECT_TRUE(Logged("SDIGetSensorVersion received error -21"));
}

TEST_F(SensorSettingsTest, CheckBinaryReadsTheSelfTest) {
  const std::pair<std::string, int32_t> cases[] = {
      {"0Code Good\r\n", 1}, {"0Code Corrupt\r\n", kErrFirmwareCorrupt}, {"0what\r\n", -1}};
  for (const auto& [answer, result] : cases) {
    SCOPED_TRACE(answer);
    Reopen();
    pty_->Play({PtyDevice::Expects("?post!"), PtyDevice::Sends(answer)});
    EXPECT_EQ(SDICheckBinary(sdi_.get()), result);
    EXPECT_TRUE(pty_->Finish());
  }
  EXPECT_TRUE(Logged("SDICheckBinary found corrupt firmware"));
}

TEST_F(SensorSettingsTest, InvokeLoaderRelaysToItOrReportsNone) {
  pty_->Play({PtyDevice::Expects("?B!"), PtyDevice::Sends("0No BSL\r\n")});
  EXPECT_EQ(SDIInvokeVexaBSL(sdi_.get()), kErrSensorHasNoLoader);
  EXPECT_EQ(Written(), "|?B!");
  EXPECT_TRUE(Logged("SDIInvokeVexaBSL: sensor reported a missing VexaBSL"));

  // A sensor that jumps into its loader says nothing: one short try, then the loader relay.
  Reopen();
  pty_->Play({PtyDevice::Expects("?B!")});
  EXPECT_EQ(SDIInvokeVexaBSL(sdi_.get()), 1);
  EXPECT_EQ(Written() + pty_->Receive(300), "|?B!|||?!]P");
  EXPECT_EQ(sdi_->tries, kSensorTries);
  EXPECT_EQ(sdi_->timeoutMs, kTestTimeoutMs);
}

}  // namespace
