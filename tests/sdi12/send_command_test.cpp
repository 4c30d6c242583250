// One exchange with the sensor through the reader: the break before a command, the recovery
// after silence and the prefix it toggles, and what the caller's buffer receives.
#include <vector>

#include "tests/sdi12/sdi12_fixture.h"

namespace {

using Step = PtyDevice::Step;

struct RecoveryCase {
  const char* what;
  uint32_t tries;
  // Per attempt: the answer to the command ("" silent), and to the recovery's "?!" when silent.
  std::vector<std::pair<std::string, std::string>> attempts;
  int32_t result;  // > 0: the answer's length
  std::string written;
};

class SendCommandTest : public Sdi12Test {};

TEST_F(SendCommandTest, RecoveryTogglesThePrefixAndDecidesTheResult) {
  const RecoveryCase cases[] = {
      {"answered at once", 5, {{"0z\r\n", ""}}, 4, "|?X8!"},
      {"missed once: next try without the break",
       5,
       {{"", "0\r\n"}, {"0z\r\n", ""}},
       4,
       "|?X8!|||?!?X8!"},
      {"missed twice: the break is back on the third try",
       5,
       {{"", "0\r\n"}, {"", "0\r\n"}, {"0z\r\n", ""}},
       4,
       "|?X8!|||?!?X8!|||?!|?X8!"},
      {"not even the recovery is answered", 5, {{"", ""}}, kErrNoAnswer, "|?X8!|||?!"},
      {"second try silent, recovery silent",
       5,
       {{"", "0\r\n"}, {"", ""}},
       kErrNoAnswer,
       "|?X8!|||?!?X8!|||?!"},
      {"every try missed, every recovery answered",
       2,
       {{"", "0\r\n"}, {"", "0\r\n"}},
       kErrNoAttempt,
       "|?X8!|||?!?X8!|||?!"},
      // The answer to the recovery's "?!" is no answer to the command.
      {"one try, missed, recovery answered", 1, {{"", "0\r\n"}}, kErrNoAttempt, "|?X8!|||?!"},
  };
  for (const RecoveryCase& c : cases) {
    SCOPED_TRACE(c.what);
    Reopen();
    sdi_->tries = c.tries;
    std::vector<Step> script;
    for (const auto& [answer, recovery] : c.attempts) {
      Exchange(&script, "?X8!", answer);
      if (answer.empty()) Exchange(&script, "?!", recovery);
    }
    pty_->Play(script);
    char buffer[64] = "untouched";
    uint32_t size = sizeof buffer;
    uint32_t elapsed = 0;
    const int32_t result = SDISendCommand(sdi_.get(), "?X8!", buffer, &size, &elapsed);
    bool scriptOk = false;
    EXPECT_EQ(Written(&scriptOk), c.written);
    EXPECT_TRUE(scriptOk);
    EXPECT_EQ(result, c.result);
    if (result > 0) {
      EXPECT_STREQ(buffer, "0z\r\n");
      EXPECT_EQ(size, 4u);
    } else {
      EXPECT_STREQ(buffer, "");
      EXPECT_EQ(size, 0u);
    }
  }
  EXPECT_TRUE(Logged("VexaSDI12: SDISendCommand sent \"?X8!\""));
  EXPECT_TRUE(Logged("VexaSDI12: SDISendCommand received \"0z\r\n\""));
}

TEST_F(SendCommandTest, LongAnswerIsCutToTheCallersBuffer) {
  const std::string answer = "0" + std::string(40, 'x') + "\r\n";
  pty_->Play({PtyDevice::Expects("?X4!"), PtyDevice::Sends(answer)});
  char buffer[16];
  uint32_t size = sizeof buffer;
  uint32_t elapsed = 0;
  EXPECT_EQ(SDISendCommand(sdi_.get(), "?X4!", buffer, &size, &elapsed),
            static_cast<int32_t>(answer.size()));
  EXPECT_TRUE(pty_->Finish());
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(std::string(buffer), answer.substr(0, 15));
  EXPECT_TRUE(Logged("DeviceCommand got 28 more bytes than expected (?X4!)"));
}

TEST_F(SendCommandTest, AnswerLongerThanTheSensorBufferIsCutNotOverflowed) {
  const std::string answer = "0" + std::string(400, '7') + "\r\n";
  pty_->Play({PtyDevice::Expects("?X4!"), PtyDevice::Sends(answer)});
  char buffer[kSensorAnswerSize + 1];
  uint32_t size = sizeof buffer;
  uint32_t elapsed = 0;
  EXPECT_EQ(SDISendCommand(sdi_.get(), "?X4!", buffer, &size, &elapsed),
            static_cast<int32_t>(kSensorAnswerSize));
  EXPECT_TRUE(pty_->Finish());
  EXPECT_EQ(size, kSensorAnswerSize);
  EXPECT_EQ(std::string(buffer), answer.substr(0, kSensorAnswerSize));
}

TEST_F(SendCommandTest, ClosedPortFailsAtOnce) {
  DSClose(&device_->port);
  char buffer[16] = "untouched";
  uint32_t size = sizeof buffer;
  uint32_t elapsed = 99;
  EXPECT_EQ(SDISendCommand(sdi_.get(), "?I!", buffer, &size, &elapsed), kErrNoAnswer);
  EXPECT_EQ(elapsed, 0u);
  EXPECT_EQ(size, 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_TRUE(Logged("SDISendCommand got unexpected response (-21) from DCommWrite"));
}

}  // namespace
