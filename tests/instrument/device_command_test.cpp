// The command transaction against scripted instruments: how answers are classified and retried,
// and what the caller's buffer receives.
#include "instrument/device_command.h"

#include <vector>

#include "tests/instrument/instrument_fixture.h"

namespace {

using Step = PtyDevice::Step;

constexpr const char* kVer = "get -ver\r";
constexpr uint32_t kShortTimeoutMs = 150;

struct ClassificationCase {
  const char* what;
  std::vector<std::string> answers;  // one per try; empty: the instrument stays silent
  int32_t result;                    // > 0: the byte count expected
  std::string stored;                // what the caller's buffer holds afterwards
};

class DeviceCommandTest : public InstrumentTest {};

TEST_F(DeviceCommandTest, ClassifiesAnswersAndRetries) {
  const ClassificationCase cases[] = {
      {"good answer", {"\rFP 1.50\r>"}, 10, "\rFP 1.50\r>"},
      {"refusal, then good", {"\rERROR\r>", "\rFP 1.50\r>"}, 10, "\rFP 1.50\r>"},
      {"refused three times", {"\rERROR\r>", "\rERROR\r>", "\rERROR\r>"}, kErrRefused, ""},
      {"question mark after OK", {"\rOK?\r>", "\rOK?\r>", "\rOK?\r>"}, kErrRefused, ""},
      {"Unsupported", {"\rUnsupported\r>", "", "\rUnsupported\r>"}, kErrRefused, ""},
      {"silent, refused, silent", {"", "\rERROR\r>", ""}, kErrLastTrySilent, ""},
      {"silent three times", {"", "", ""}, kErrNoAnswer, ""},
      {"silent, then good", {"", "\rFP 1.50\r>"}, 10, "\rFP 1.50\r>"},
      {"bare prompt", {"\r\r>"}, kErrBarePrompt, "\r\r>"},
      {"partial text, no prompt", {"\rFP 1."}, 6, "\rFP 1."},
  };
  for (const ClassificationCase& c : cases) {
    SCOPED_TRACE(c.what);
    PtyDevice pty;
    DeviceContext device(log_.get());
    ASSERT_EQ(DSOpen(&device.port, pty.Path().c_str(), 9600), 1);
    std::vector<Step> script;
    for (const std::string& answer : c.answers) {
      script.push_back(PtyDevice::Expects(kVer));
      if (!answer.empty()) script.push_back(PtyDevice::Sends(answer));
    }
    pty.Play(script);
    char answer[64] = "untouched";
    uint32_t size = sizeof answer;
    uint32_t elapsed = 12345;
    const int32_t result =
        DeviceCommand(&device, kVer, '>', kShortTimeoutMs, answer, &size, &elapsed);
    std::string received;
    EXPECT_TRUE(pty.Finish(&received));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(std::string(answer), c.stored);
    EXPECT_EQ(size, c.stored.size());
    EXPECT_EQ(Occurrences(received + pty.Receive(100), kVer), static_cast<int>(c.answers.size()));
    uint32_t silentTries = 0;
    for (const std::string& a : c.answers) silentTries += a.empty() ? 1 : 0;
    EXPECT_GE(elapsed, silentTries * kShortTimeoutMs);  // the elapsed time covers every try
    DSClose(&device.port);
  }
}

TEST_F(DeviceCommandTest, EchoStopsAtOnceAndIsLogged) {
  OpenSerial(3);
  pty_.Play({PtyDevice::Expects(kVer), PtyDevice::Sends(std::string(kVer) + "\rFP 1.50\r>")});
  char answer[32];
  uint32_t size = sizeof answer;
  uint32_t elapsed = 0;
  EXPECT_EQ(DeviceCommand(device_.get(), kVer, '>', 500, answer, &size, &elapsed), kErrEchoed);
  std::string received;
  EXPECT_TRUE(pty_.Finish(&received));
  EXPECT_EQ(Occurrences(received + pty_.Receive(300), kVer), 1);
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(
      Logged("DeviceCommand is hearing echoed commands -- device is broken? Relay active?"));
}

TEST_F(DeviceCommandTest, LongAnswerIsCutToTheBufferButCountedWhole) {
  OpenSerial(1);
  const std::string longAnswer = "\r" + std::string(40, 'x') + "\r>";
  pty_.Play({PtyDevice::Expects("time\r"), PtyDevice::Sends(longAnswer)});
  char answer[16];
  uint32_t size = sizeof answer;
  uint32_t elapsed = 0;
  EXPECT_EQ(DeviceCommand(device_.get(), "time\r", '>', 500, answer, &size, &elapsed),
            static_cast<int32_t>(longAnswer.size()));
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(std::string(answer), longAnswer.substr(0, 15));
  EXPECT_TRUE(Logged("DeviceCommand got 28 more bytes than expected (time\r)"));
}

TEST_F(DeviceCommandTest, BarePromptIsLoggedAndNoBufferIsFine) {
  OpenSerial(1);
  pty_.Play({PtyDevice::Expects("get -i\r"), PtyDevice::Sends("\r\r>")});
  uint32_t size = 0;
  EXPECT_EQ(DeviceCommand(device_.get(), "get -i\r", '>', 500, nullptr, &size, nullptr),
            kErrBarePrompt);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("DeviceCommand: device returned empty answer"));
  EXPECT_EQ(DeviceCommand(device_.get(), "get -i\r", '>', 500, nullptr, nullptr, nullptr),
            kErrMissingArgument);
}

TEST_F(DeviceCommandTest, ClosedPortFailsWithoutRetrying) {
  device_->tries = 3;
  uint32_t size = 0;
  uint32_t elapsed = 99;
  EXPECT_EQ(DeviceCommand(device_.get(), kVer, '>', 500, nullptr, &size, &elapsed), kErrNoAnswer);
  EXPECT_LT(elapsed, 1000u);  // no retries, no pauses
  EXPECT_TRUE(Logged("DeviceCommand got unexpected response (-21) from DCommWrite"));
}

TEST_F(DeviceCommandTest, ExtraWaitLengthensEveryTry) {
  OpenSerial(1);
  ConnectionOptions options;
  options.serialTries = 1;
  options.extraWaitMs = 700;
  ASSERT_EQ(SetConnectionOptions(device_.get(), &options), 1);
  // The answer comes 500 ms after a 100 ms time-out: only the extra wait catches its prompt.
  pty_.Play({PtyDevice::Expects(kVer), PtyDevice::Waits(500), PtyDevice::Sends("\rQd40 2.03\r>")});
  char answer[32];
  uint32_t size = sizeof answer;
  uint32_t elapsed = 0;
  EXPECT_EQ(DeviceCommand(device_.get(), kVer, '>', 100, answer, &size, &elapsed), 12);
  EXPECT_TRUE(pty_.Finish());
}

TEST(ConnectionOptions, AreValidatedOnTheWayIn) {
  DeviceContext device;
  struct Case {
    ConnectionOptions options;
    int32_t result;
  };
  ConnectionOptions tooManyTries;
  tooManyTries.serialTries = 13;
  ConnectionOptions tooManyRadioTries;
  tooManyRadioTries.radioTries = 13;
  ConnectionOptions negativeTrace;
  negativeTrace.traceLevel = -1;
  ConnectionOptions highTrace;
  highTrace.traceLevel = 4;
  ConnectionOptions longWait;
  longWait.extraWaitMs = 30001;
  ConnectionOptions limits;
  limits.serialTries = 12;
  limits.radioTries = 1;
  limits.traceLevel = 3;
  limits.extraWaitMs = 30000;
  for (const Case& c :
       {Case{tooManyTries, -11}, Case{tooManyRadioTries, -11}, Case{negativeTrace, -11},
        Case{highTrace, -11}, Case{longWait, -11}, Case{limits, 1}}) {
    EXPECT_EQ(SetConnectionOptions(&device, &c.options), c.result);
  }
  EXPECT_EQ(device.tries, 12u);  // a closed link takes the serial value

  ConnectionOptions zeros;
  zeros.serialTries = 0;
  zeros.radioTries = 0;
  device.request.linkKind = link_kind::kRadio;
  ASSERT_EQ(SetConnectionOptions(&device, &zeros), 1);
  ConnectionOptions out;
  ASSERT_EQ(GetConnectionOptions(&device, &out), 1);
  EXPECT_EQ(out.serialTries, 3u);
  EXPECT_EQ(out.radioTries, 5u);
  EXPECT_EQ(device.tries, 5u);  // the radio value on a radio link
  device.request.linkKind = link_kind::kNone;
}

TEST_F(DeviceCommandTest, GetValueStringReadsTheValueLine) {
  OpenSerial(1);
  pty_.Play({PtyDevice::Expects("get -i\r"), PtyDevice::Sends("\r\nFieldPal\r>")});
  char value[9];
  EXPECT_EQ(GetValueString(device_.get(), "get -i", 1500, value, 8), 1);
  EXPECT_STREQ(value, "FieldPal");
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("Vexa_protocol: GetValueString found get -i \"FieldPal\""));
}

TEST_F(DeviceCommandTest, GetValueStringCutsToCapacity) {
  OpenSerial(1);
  pty_.Play({PtyDevice::Expects("get -sn\r"), PtyDevice::Sends("\rABCDEFGHIJ\r>")});
  char value[5];
  EXPECT_EQ(GetValueString(device_.get(), "get -sn", 1500, value, 4), 1);
  EXPECT_STREQ(value, "ABCD");
  EXPECT_TRUE(pty_.Finish());
}

TEST_F(DeviceCommandTest, GetValueStringRefusesAPromptInPlaceOfAValue) {
  OpenSerial(1);
  pty_.Play({PtyDevice::Expects("get -i\r"), PtyDevice::Sends("\r\n>"),
             PtyDevice::Expects("get -i\r"), PtyDevice::Sends("\r\n>"),
             PtyDevice::Expects("get -i\r"), PtyDevice::Sends("\r\n>")});
  char value[9];
  EXPECT_EQ(GetValueString(device_.get(), "get -i", 500, value, 8), kErrUnreadableAnswer);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(
      Logged("GetValueString found a leading prompt character executing command "
             "\"get -i\""));
  EXPECT_TRUE(Logged("GetValueString received error -30 executing command \"get -i\""));
}

TEST_F(DeviceCommandTest, GetValueLongReadsAfterTheFirstLine) {
  struct Case {
    std::string answer;
    int32_t result;
    int32_t value;
  };
  const Case cases[] = {
      {"\r85\r>", 1, 85},
      {"\r\n-42\r>", 1, -42},
      {"\rfull\r>", kErrUnreadableAnswer, 7},
      {"\r4294967296\r>", kErrUnreadableAnswer, 7},  // beyond 32 bits
  };
  OpenSerial(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    std::vector<Step> script;
    const int tries = c.result == 1 ? 1 : 3;
    for (int i = 0; i < tries; ++i) {
      script.push_back(PtyDevice::Expects("get -batt\r"));
      script.push_back(PtyDevice::Sends(c.answer));
    }
    pty_.Play(script);
    int32_t value = 7;
    EXPECT_EQ(GetValueLong(device_.get(), "get -batt", 500, &value), c.result);
    EXPECT_EQ(value, c.value);
    EXPECT_TRUE(pty_.Finish());
  }
}

}  // namespace
