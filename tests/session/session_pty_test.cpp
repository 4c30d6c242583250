// The session's exchanges with a scripted instrument on a pseudo-terminal: the login, the health
// checks around a firmware upload, the item-by-item collection's edges, the record sets over the
// command line, and the serial number change of a Hydrella 4's restore.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "instrument/device_time.h"
#include "link/clock.h"
#include "session/connection.h"
#include "session/lab_settings.h"
#include "session/record_sets.h"
#include "session/save_restore.h"
#include "tests/session/session_fixture.h"

namespace {

using Step = PtyDevice::Step;
constexpr int kLoginMs = 10000;  // the login is typed a character at a time

class SessionPtyTest : public SessionTest {
 protected:
  // Plays `script` while `run` talks to it; returns what the instrument heard, the script's
  // bytes and whatever came after it.
  template <typename Run>
  std::string Talk(std::vector<Step> script, Run run) {
    pty_.Play(std::move(script));
    run();
    std::string heard;
    EXPECT_TRUE(pty_.Finish(&heard)) << "the instrument did not hear what it expected: " << heard;
    return heard + pty_.Receive(50);
  }
};

TEST_F(SessionPtyTest, ALoginIsTakenWhenTheAnswerHasOkOrTheCode) {
  for (const char* answer : {"\rWelcome 5927\r>", "\rOK\r>"}) {
    SCOPED_TRACE(answer);
    PtyDevice pty;
    ASSERT_EQ(DSOpen(&session_->device.port, pty.Path().c_str(), 9600), 1);
    session_->device.request.linkKind = link_kind::kSerial;
    session_->device.tries = 1;
    pty.Play({PtyDevice::Expects("login *5927", kLoginMs), PtyDevice::Expects("\r\n\r", kLoginMs),
              PtyDevice::Sends(answer)});
    EXPECT_EQ(DPLogin(session_.get()), 1);
    EXPECT_TRUE(pty.Finish());
    DSClose(&session_->device.port);
  }
  EXPECT_TRUE(Logged("DPConnect successfully logged into the device"));
}

TEST_F(SessionPtyTest, ALoginRefusedThreeTimesFails) {
  OpenSerial();
  std::vector<Step> script;
  for (int attempt = 0; attempt < 3; ++attempt) {
    script.push_back(PtyDevice::Expects("login *5927\r\n\r", kLoginMs));
    script.push_back(PtyDevice::Sends("\rERROR\r>"));
  }
  int32_t result = 0;
  const std::string heard = Talk(script, [&] { result = DPLogin(session_.get()); });
  EXPECT_EQ(result, -25);
  EXPECT_EQ(Occurrences(heard, "login *5927"), 3);
  EXPECT_TRUE(Logged("DPConnect couldn't log into the device"));
}

TEST_F(SessionPtyTest, TheFirmwareSelfTestStopsAtAVerdict) {
  struct Case {
    const char* what;
    bool postInit;
    std::vector<const char*> answers;
    int32_t result;
  };
  const Case cases[] = {
      {"corrupt at once", false, {"\rCode Corrupt!\r>"}, -1},
      {"good, with -init", true, {"\rCode Good!\r>"}, 1},
      {"good after an unreadable answer", false, {"\rpost?\r>", "\rCode Good!\r>"}, 1},
      {"never readable", false, {"\rbusy\r>", "\rbusy\r>", "\rbusy\r>"}, -30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PtyDevice pty;
    ASSERT_EQ(DSOpen(&session_->device.port, pty.Path().c_str(), 9600), 1);
    session_->device.request.linkKind = link_kind::kSerial;
    session_->device.tries = 1;
    const std::string command = c.postInit ? "post -init\r" : "post\r";
    std::vector<Step> script;
    for (const char* answer : c.answers) {
      script.push_back(PtyDevice::Expects(command));
      script.push_back(PtyDevice::Sends(answer));
    }
    pty.Play(script);
    EXPECT_EQ(DPCheckFirmware(session_.get(), c.postInit), c.result);
    std::string heard;
    EXPECT_TRUE(pty.Finish(&heard));
    heard += pty.Receive(50);
    EXPECT_EQ(Occurrences(heard, command), static_cast<int>(c.answers.size()));
    DSClose(&session_->device.port);
  }
}

TEST_F(SessionPtyTest, TheBatteryIsReadAsAPercentage) {
  struct Case {
    const char* answer;  // null: silence
    int32_t result;
    int32_t percent;
  };
  const Case cases[] = {
      {"\r85\r>", 1, 85},
      {"\rabc\r>", -30, 42},  // left as it was
      {nullptr, -21, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer ? c.answer : "silence");
    PtyDevice pty;
    ASSERT_EQ(DSOpen(&session_->device.port, pty.Path().c_str(), 9600), 1);
    session_->device.request.linkKind = link_kind::kSerial;
    session_->device.tries = 1;
    std::vector<Step> script = {PtyDevice::Expects("get -batt\r")};
    if (c.answer) script.push_back(PtyDevice::Sends(c.answer));
    pty.Play(script);
    int32_t percent = 42;
    EXPECT_EQ(DPCheckBattery(session_.get(), &percent), c.result);
    EXPECT_EQ(percent, c.percent);
    EXPECT_TRUE(pty.Finish());
    DSClose(&session_->device.port);
  }
  EXPECT_EQ(DPCheckBattery(session_.get(), nullptr), -10);
}

TEST_F(SessionPtyTest, TheDataEraseTellsABrokenDataFlash) {
  OpenSerial();
  session_->type = 14;
  int32_t result = 0;
  Talk({PtyDevice::Expects("yes\r"), PtyDevice::Sends("\rDataFlash FAIL\r>")},
       [&] { result = DPEraseData(session_.get()); });
  EXPECT_EQ(result, -65);
  EXPECT_TRUE(Logged("DPEraseData failed due to a broken DataFlash"));
  Talk({PtyDevice::Expects("yes\r"), PtyDevice::Sends("\rOK\r>")},
       [&] { result = DPEraseData(session_.get()); });
  EXPECT_EQ(result, 1);
}

TEST_F(SessionPtyTest, WhatATypeCannotDoSendsNothing) {
  OpenSerial();
  session_->type = 13;
  EXPECT_EQ(DPEraseData(session_.get()), -13);
  session_->type = 14;
  session_->descriptor.setClock = false;
  EXPECT_EQ(DPSetTime(session_.get()), -13);
  EXPECT_EQ(GetInstInfo(session_.get(), 0), 0);
  EXPECT_EQ(SetInstInfo(session_.get(), 0), 0);
  EXPECT_EQ(pty_.Receive(100), "");
  EXPECT_TRUE(Logged("GetInstInfo should be called with non-zero flags"));
  EXPECT_TRUE(Logged("SetInstInfo should be called with non-zero flags"));
}

TEST_F(SessionPtyTest, TheIntervalIsNeverWrittenBack) {
  OpenSerial();
  session_->type = 7;
  EXPECT_EQ(SetInstInfo(session_.get(), lab_bit::kInterval), -30);
  EXPECT_EQ(session_->failedMask, lab_bit::kInterval);
  EXPECT_EQ(pty_.Receive(100), "");
  EXPECT_TRUE(Logged("SetInstInfo could not restore all settings"));
}

TEST_F(SessionPtyTest, AHydrella4GetsItsClockAsLocalSecondsSince2000) {
  OpenSerial();
  session_->type = 15;
  session_->descriptor.setClock = true;
  int32_t result = 0;
  const std::string heard =
      Talk({PtyDevice::Expects("set -sec "), PtyDevice::Expects("\r"), PtyDevice::Sends("\rOK\r>")},
           [&] { result = DPSetTime(session_.get()); });
  const long expected = static_cast<long>(std::time(nullptr) + UtcOffset() - kUnixTo2000);
  EXPECT_EQ(result, static_cast<int32_t>(std::strlen("\rOK\r>")));
  const size_t at = heard.find("set -sec ");
  ASSERT_NE(at, std::string::npos);
  const long sent = std::strtol(heard.c_str() + at + 9, nullptr, 10);
  EXPECT_NEAR(sent, expected, 5);
}

TEST_F(SessionPtyTest, ASerialNumberThatReadsOkIsRefused) {
  OpenSerial();
  session_->type = 14;
  std::vector<Step> script;
  for (int attempt = 0; attempt < 3; ++attempt) {
    script.push_back(PtyDevice::Expects("get -sn\r"));
    script.push_back(PtyDevice::Sends("\rOK\r>"));
  }
  int32_t result = 0;
  const std::string heard =
      Talk(script, [&] { result = GetInstInfo(session_.get(), lab_bit::kSerialNumber); });
  EXPECT_EQ(result, -35);
  EXPECT_EQ(Occurrences(heard, "get -sn\r"), 3);
  EXPECT_STREQ(session_->lab.serialNumber, "");
  EXPECT_EQ(session_->lab.presentMask, 0u);
  EXPECT_EQ(session_->failedMask, lab_bit::kSerialNumber);
}

// The instrument's own end of a list is the bare prompt (three times: a value read tries again).
std::vector<Step> BarePromptTo(const std::string& command) {
  std::vector<Step> steps;
  for (int attempt = 0; attempt < 3; ++attempt) {
    steps.push_back(PtyDevice::Expects(command));
    steps.push_back(PtyDevice::Sends("\r\r>"));
  }
  return steps;
}

TEST_F(SessionPtyTest, EquationsAreFetchedUntilTheBarePromptWhenTheCountIsNotAnswered) {
  OpenSerial();
  std::vector<Step> script = {
      PtyDevice::Expects("get -eqn\r"),  // no answer: up to 100 are fetched
      PtyDevice::Expects("get -eqn 0\r", 5000), PtyDevice::Sends("\rflow q=k*h\r>"),
      PtyDevice::Expects("get -eqn 1\r"),       PtyDevice::Sends("\rarea a=w*d\r>"),
  };
  for (const Step& step : BarePromptTo("get -eqn 2\r")) script.push_back(step);
  int32_t result = 0;
  Talk(script, [&] { result = GetRecords_Serial(session_.get(), record_type::kEqn); });
  EXPECT_EQ(result, 1);
  ASSERT_EQ(session_->eqns.count, 2u);
  EXPECT_STREQ(session_->eqns.records[1].data, "area a=w*d");
}

TEST_F(SessionPtyTest, ARecordListCutShortIsOnlyPartlyRead) {
  struct Case {
    const char* what;
    const char* count;
    const char* second;  // the answer to the second record, null: silence
  };
  const Case cases[] = {
      {"a silence in the middle", "\r3\r>", nullptr},
      {"a refusal before the reported count", "\r3\r>", "\rERROR\r>"},
      {"an unreadable answer", "\r2\r>", "\rError 5\r>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PtyDevice pty;
    ASSERT_EQ(DSOpen(&session_->device.port, pty.Path().c_str(), 9600), 1);
    session_->device.request.linkKind = link_kind::kSerial;
    session_->device.tries = 1;
    std::vector<Step> script = {
        PtyDevice::Expects("get -user\r"),
        PtyDevice::Sends(c.count),
        PtyDevice::Expects("get -user 0\r"),
        PtyDevice::Sends("\rdTA=\r>"),
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
      script.push_back(PtyDevice::Expects("get -user 1\r", 5000));
      if (c.second) script.push_back(PtyDevice::Sends(c.second));
    }
    pty.Play(script);
    EXPECT_EQ(GetRecords_Serial(session_.get(), record_type::kUser), -35);
    EXPECT_EQ(session_->users.count, 1u);
    std::string heard;
    EXPECT_TRUE(pty.Finish(&heard));
    EXPECT_EQ(Occurrences(heard + pty.Receive(50), "get -user 2"), 0);
    DSClose(&session_->device.port);
  }
}

TEST_F(SessionPtyTest, ASetWithNoRecordsTheInstrumentReportsIsEmpty) {
  OpenSerial();
  int32_t result = 1;
  Talk({PtyDevice::Expects("get -user\r"), PtyDevice::Sends("\r0\r>")},
       [&] { result = GetRecords_Serial(session_.get(), record_type::kUser); });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(Logged("GetRecords_Serial found no \"user\" records in instrument"));
}

TEST_F(SessionPtyTest, RecordsAreWrittenInNameOrderAndARefusalIsReported) {
  OpenSerial();
  ASSERT_EQ(AllocateRecords(&session_->eqns, 2), 1);
  std::strcpy(session_->eqns.records[0].data, "zeta z=1");
  std::strcpy(session_->eqns.records[1].data, "alpha a=2");
  int32_t result = 0;
  Talk({PtyDevice::Expects("set -eqn 0 alpha a=2\r"), PtyDevice::Sends("\rOK\r>"),
        PtyDevice::Expects("set -eqn 1 zeta z=1\r"), PtyDevice::Sends("\rERROR\r>")},
       [&] { result = SetRecords_Serial(session_.get(), record_type::kEqn); });
  EXPECT_EQ(result, -35);
  EXPECT_TRUE(Logged("SetRecords_Serial set \"eqn\" 0 to \"alpha a=2\""));
}

TEST_F(SessionPtyTest, AHydrella4ConfigFollowsANewSerialNumberOnlyWhenBothAreHeld) {
  struct Case {
    const char* what;
    int type;
    uint32_t held;
    std::vector<std::string> heard;
  };
  namespace lb = lab_bit;
  // "AB" sums to 131, "ABC" to 198: the config number moves by 67.
  const Case cases[] = {
      {"both held", 15, lb::kConfig | lb::kSerialNumber, {"set -sn ABC\r", "set -config 5067\r"}},
      {"both held, TDL",
       22,
       lb::kConfig | lb::kSerialNumber,
       {"set -sn ABC\r", "set -config 5067\r"}},
      {"config without the old serial number",
       15,
       lb::kConfig,
       {"set -sn ABC\r", "set -config 5000\r"}},
      {"serial number without config", 15, lb::kSerialNumber, {"set -sn ABC\r"}},
      {"another lab type keeps its config",
       17,
       lb::kConfig | lb::kSerialNumber,
       {"set -sn ABC\r", "set -config 5000\r"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PtyDevice pty;
    ASSERT_EQ(DSOpen(&session_->device.port, pty.Path().c_str(), 9600), 1);
    session_->device.request.linkKind = link_kind::kSerial;
    session_->device.tries = 1;
    ClearSessionSettings(session_.get());
    session_->type = static_cast<int8_t>(c.type);
    session_->settingsHeld = true;
    LabSettings& lab = session_->lab;
    lab.presentMask = c.held;
    std::strcpy(lab.config, "5000");
    std::strcpy(lab.serialNumber, "AB");
    std::vector<Step> script;
    for (const std::string& command : c.heard) {
      script.push_back(PtyDevice::Expects(command));
      script.push_back(PtyDevice::Sends("\rOK\r>"));
    }
    pty.Play(script);
    EXPECT_EQ(DPRestoreInfo(session_.get(), PathFor("unused.txt").c_str(), "ABC"), 1);
    std::string heard;
    EXPECT_TRUE(pty.Finish(&heard)) << heard;
    heard += pty.Receive(50);
    EXPECT_EQ(Occurrences(heard, "set -"), static_cast<int>(c.heard.size())) << heard;
    EXPECT_STREQ(lab.serialNumber, "ABC");
    DSClose(&session_->device.port);
  }
}

}  // namespace
