// The sensor type: read as a letter or a number, guessed from the identification of sensors that
// cannot tell, and set directly or by a family request that the present type must belong to.
#include <vector>

#include "tests/sdi12/sdi12_fixture.h"

namespace {

using Step = PtyDevice::Step;

class SensorTypeTest : public Sdi12Test {};

struct GetCase {
  const char* what;
  std::string x8Answer;  // empty: silent, then the recovery is silent too
  std::string iAnswer;   // empty: "?I!" is not expected
  int32_t result;
  uint8_t type;
  bool numeric;
};

TEST_F(SensorTypeTest, ReadsLettersNumbersAndOldModels) {
  const GetCase cases[] = {
      {"letter", "0z\r\n", "", 1, 'z', false},
      {"letter after a blank", "0 w\r\n", "", 1, 'w', false},
      {"number", "0105\r\n", "", 1, 105, true},
      {"number cut at three digits", "01234\r\n", "", 1, 123, true},
      {"no type in the answer, old model", "0\r\n", "013NORVANE HV-TM 101\r\n", 1, '}', false},
      {"silent, old 7QA", "", "013NORVANE 7QA   120\r\n", 1, 'z', false},
      {"silent, old HV-TE", "", "013NORVANE HV-TE 120\r\n", 1, 127, true},
      {"silent, unknown model", "", "013NORVANE KVL-3 120\r\n", -1, 0, false},
      {"number too large for a type code", "0300\r\n", "013NORVANE KVL-3 120\r\n", -1, 0, false},
  };
  for (const GetCase& c : cases) {
    SCOPED_TRACE(c.what);
    Reopen();
    sdi_->tries = 1;
    std::vector<Step> script;
    Exchange(&script, "?X8!", c.x8Answer);
    if (c.x8Answer.empty()) Exchange(&script, "?!", "");
    if (!c.iAnswer.empty()) Exchange(&script, "?I!", c.iAnswer);
    pty_->Play(script);
    EXPECT_EQ(SDIGetSensorType(sdi_.get()), c.result);
    EXPECT_TRUE(pty_->Finish());
    EXPECT_EQ(sdi_->type, c.type);
    EXPECT_EQ(sdi_->numericType, c.numeric);
  }
  EXPECT_TRUE(Logged("SDIGetSensorType found sensor type as \"105\""));
  EXPECT_TRUE(Logged("SDIGetSensorType couldn't detirmine sensor type"));
}

struct SetCase {
  const char* what;
  uint8_t present;
  bool numeric;
  uint32_t requested;
  std::string command;  // empty: nothing may be sent
  std::string answer;
  int32_t result;
  std::string logged;
};

TEST_F(SensorTypeTest, FamilyRequestsNeedAMemberType) {
  const SetCase cases[] = {
      {"KVL family, j", 'j', false, 262, "?X9 j!", "0OK\r\n", 1,
       "SDISetSensorType successfully set sensor type to \"106\""},
      {"KVL family, p", 'p', false, 262, "", "", kErrUnreadableAnswer,
       "SDISetSensorType didn't get a valid KVL Sensor type (112)"},
      {"KVL family, reported as 105", 105, true, 262, "?X9 105!", "0OK\r\n", 1, ""},
      {"LRN family, s", 's', false, 260, "?X9 s!", "0OK\r\n", 1, ""},
      {"LRN family, g", 'g', false, 260, "", "", kErrUnreadableAnswer,
       "SDISetSensorType didn't get a valid LRN Sensor type (103)"},
      {"WTP family, l", 'l', false, 261, "?X9 l!", "0OK\r\n", 1, ""},
      {"WTP family, nothing read", 0, false, 261, "", "", kErrUnreadableAnswer,
       "SDISetSensorType didn't get a valid WTP Sensor type (0)"},
      {"BH-x family, f", 'f', false, 263, "?X9 f!", "0OK\r\n", 1, ""},
      {"BH-x family, y", 'y', false, 263, "", "", kErrUnreadableAnswer,
       "SDISetSensorType didn't get a valid BH-x Sensor type (121)"},
      {"TORVA 1x family, h", 'h', false, 264, "?X9 h!", "0OK\r\n", 1, ""},
      {"TORVA 1x family, e", 'e', false, 264, "", "", kErrUnreadableAnswer,
       "SDISetSensorType didn't get a valid TORVA 1x Sensor type (101)"},
      {"a type itself, as a letter", 'z', false, 119, "?X9 w!", "0OK\r\n", 1, ""},
      {"a type itself, as a number", 105, true, 119, "?X9 119!", "0OK\r\n", 1, ""},
      {"refused", 'z', false, 119, "?X9 w!", "0ERROR\r\n", kErrUnreadableAnswer,
       "SDISetSensorType could not set sensor type to \"119\""},
      {"zero", 'z', false, 0, "", "", kErrBadArgument,
       "SDISetSensorType didn't get a valid sensor type (0)"},
      {"255", 'z', false, 255, "", "", kErrBadArgument,
       "SDISetSensorType didn't get a valid sensor type (255)"},
      {"beyond a type code", 'z', false, 300, "", "", kErrBadArgument,
       "SDISetSensorType didn't get a valid sensor type (300)"},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.what);
    Reopen();
    sdi_->type = c.present;
    sdi_->numericType = c.numeric;
    if (!c.command.empty()) pty_->Play({PtyDevice::Expects(c.command), PtyDevice::Sends(c.answer)});
    EXPECT_EQ(SDISetSensorType(sdi_.get(), c.requested), c.result);
    bool scriptOk = false;
    EXPECT_EQ(Written(&scriptOk), c.command.empty() ? "" : "|" + c.command);
    EXPECT_TRUE(scriptOk);
    if (!c.logged.empty()) {
      EXPECT_TRUE(Logged(c.logged));
    }
  }
}

}  // namespace
