// The calibration strings by sensor type: which are read, the defaults and replacements of older
// firmware, the "-1" rewrite, the conversion of nine-number X4, and what is written back.
#include <vector>

#include "tests/sdi12/sdi12_fixture.h"

namespace {

using Step = PtyDevice::Step;

constexpr const char* kFirstXa = "1 1.44832 1.91683 2.35961 2.991";
constexpr const char* kSecondXaZx = "1 1.39619 2.03054 2.54573 2.9907";
constexpr const char* kSecondXaW = "1 1.4724 2.03944 2.5652 2.9907";

struct ReadCase {
  const char* what;
  char type;
  uint32_t version;
  std::string x4Answer;
  std::string xaAnswer;  // empty: "?Xa!" is not expected
  std::string xoAnswer;  // empty: "?XO!" is not expected
  std::string x4;
  std::string xa;
  std::string xaWord;  // "set" or "found" in the Xa log line
  bool xoPresent;
  std::string xo;
};

class SensorCalibrationTest : public Sdi12Test {};

TEST_F(SensorCalibrationTest, ReadsWhatEachTypeCarries) {
  const std::string first = std::string("0 ") + kFirstXa + "\r\n";
  const ReadCase cases[] = {
      {"z 360, empty Xa: second default", 'z', 360, "0 1.5 2\r\n", "0\r\n", "", "1.5 2",
       kSecondXaZx, "set", false, ""},
      {"z 355, empty Xa: first default", 'z', 355, "0 1.5\r\n", "0\r\n", "", "1.5", kFirstXa, "set",
       false, ""},
      {"x 400, empty Xa: no default", 'x', 400, "0 1.5\r\n", "0\r\n", "", "1.5", "", "found", false,
       ""},
      {"x 399, first set replaced", 'x', 399, "0 1.5\r\n", first, "", "1.5", kSecondXaZx, "set",
       false, ""},
      {"z 400, first set kept", 'z', 400, "0 1.5\r\n", first, "", "1.5", kFirstXa, "found", false,
       ""},
      {"z 360, -1 tokens become +0", 'z', 360, "0-1 2.5e-1 -1 3 -1\r\n", "0 9 8 7 6 5\r\n", "",
       "+0 2.5e-1 +0 3 +0", "9 8 7 6 5", "found", false, ""},
      {"u keeps -1", 'u', 360, "0 -1 2\r\n", "", "", "-1 2", "", "", false, ""},
      {"w 401, first set replaced", 'w', 401, "0 1.5\r\n", first, "", "1.5", kSecondXaW, "set",
       false, ""},
      {"w 402, first set kept", 'w', 402, "0 1.5\r\n", first, "", "1.5", kFirstXa, "found", false,
       ""},
      {"w 352, empty Xa: first default", 'w', 352, "0 1.5\r\n", "0\r\n", "", "1.5", kFirstXa, "set",
       false, ""},
      {"w 353, empty Xa: second default", 'w', 353, "0 1.5\r\n", "0\r\n", "", "1.5", kSecondXaW,
       "set", false, ""},
      {"k reads Xa as it is", 'k', 300, "0 1.5\r\n", "0 3 4\r\n", "", "1.5", "3 4", "found", false,
       ""},
      {"] reads XO too", ']', 300, "0 1.5\r\n", "0 3 4\r\n", "0 0.25\r\n", "1.5", "3 4", "found",
       true, "0.25"},
      {"] with XO refused", ']', 300, "0 1.5\r\n", "0 3 4\r\n", "0ERROR\r\n", "1.5", "3 4", "found",
       false, ""},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    Reopen();
    sdi_->type = static_cast<uint8_t>(c.type);
    sdi_->version = c.version;
    std::vector<Step> script;
    Exchange(&script, "?!", "0\r\n");
    Exchange(&script, "?X4!", c.x4Answer);
    if (!c.xaAnswer.empty()) Exchange(&script, "?Xa!", c.xaAnswer);
    if (!c.xoAnswer.empty()) Exchange(&script, "?XO!", c.xoAnswer);
    pty_->Play(script);
    EXPECT_EQ(SDIGetSensorCalibration(sdi_.get()), 1);
    bool scriptOk = false;
    const std::string written = Written(&scriptOk);
    EXPECT_TRUE(scriptOk);
    EXPECT_EQ(written.find("?Xa!") != std::string::npos, !c.xaAnswer.empty()) << written;
    EXPECT_EQ(written.find("?XO!") != std::string::npos, !c.xoAnswer.empty()) << written;
    EXPECT_EQ(std::string(sdi_->x4), c.x4);
    EXPECT_EQ(std::string(sdi_->xa), c.xa);
    EXPECT_EQ(sdi_->xoPresent, c.xoPresent);
    EXPECT_EQ(std::string(sdi_->xo), c.xo);
    if (!c.xaWord.empty()) {
      EXPECT_TRUE(
          Logged("SDIGetSensorCalibration " + c.xaWord + " calibration Xa \"" + c.xa + "\""));
    }
  }
  EXPECT_TRUE(Logged("SDIGetSensorCalibration updated X4 to remove '-1'"));
  EXPECT_TRUE(Logged("SDIGetSensorCalibration received \"ERROR\" response looking for XO"));
}

TEST_F(SensorCalibrationTest, Gau1IsNeitherReadNorWritten) {
  sdi_->type = '^';
  std::snprintf(sdi_->x4, sizeof sdi_->x4, "1 2 3");
  EXPECT_EQ(SDIGetSensorCalibration(sdi_.get()), 0);
  EXPECT_EQ(SDISetSensorCalibration(sdi_.get(), nullptr), 0);
  EXPECT_EQ(pty_->Receive(100), "");
  EXPECT_TRUE(Logged("SDIGetSensorCalibration no calibration for version GAU-1"));
  EXPECT_TRUE(Logged("SDISetSensorCalibration skipped GAU-1"));
}

TEST_F(SensorCalibrationTest, XaReadFailureAbortsOnlyForTypeY) {
  for (const char type : {'y', 'l'}) {
    SCOPED_TRACE(type);
    Reopen();
    sdi_->tries = 1;
    sdi_->type = static_cast<uint8_t>(type);
    std::vector<Step> script;
    Exchange(&script, "?!", "0\r\n");
    Exchange(&script, "?X4!", "0 1.5\r\n");
    Exchange(&script, "?Xa!", "");
    Exchange(&script, "?!", "");  // the recovery goes unanswered too
    pty_->Play(script);
    EXPECT_EQ(SDIGetSensorCalibration(sdi_.get()), type == 'y' ? kErrNoAnswer : 1);
    EXPECT_TRUE(pty_->Finish());
    EXPECT_STREQ(sdi_->x4, "1.5");
  }
  EXPECT_TRUE(Logged("SDIGetSensorCalibration received error -21 looking for Xa"));
}

struct ConvertCase {
  const char* what;
  char type;
  uint32_t version;
  const char* x4;
  const char* converted;
};

TEST_F(SensorCalibrationTest, ConvertsNineNumbersOfOldFirmwareOnly) {
  const char* nine = "1.5 100 600 0 20 30 0 0 25";
  const char* six = "1.500 -2.000000e+02 2.000000e+00 0.000000e+00 25.0 25.0";
  const ConvertCase cases[] = {
      {"u 339 converts", 'u', 339, nine, six},
      {"t 100 converts", 't', 100, nine, six},
      {"u 340 keeps", 'u', 340, nine, nine},
      {"z 100 keeps", 'z', 100, nine, nine},
      // Anything but nine numbers, or no span, is kept rather than replaced by zeros.
      {"already six numbers", 'u', 339, six, six},
      {"no span", 't', 100, "1 5 5 0 0 0 0 0 2", "1 5 5 0 0 0 0 0 2"},
  };
  for (const ConvertCase& c : cases) {
    SCOPED_TRACE(c.what);
    sdi_->type = static_cast<uint8_t>(c.type);
    sdi_->version = c.version;
    std::snprintf(sdi_->x4, sizeof sdi_->x4, "%s", c.x4);
    ConvertOldCalibration(sdi_.get());
    EXPECT_STREQ(sdi_->x4, c.converted);
  }
}

struct WriteCase {
  const char* what;
  char type;
  const char* xa;
  bool xoPresent;
  std::vector<std::pair<std::string, std::string>> exchanges;  // command, answer
  int32_t result;
};

TEST_F(SensorCalibrationTest, WritesWhatEachTypeCarries) {
  const WriteCase cases[] = {
      {"u: X5 only", 'u', "3 4", false, {{"?X51 2!", "0OK\r\n"}}, 1},
      {"l reads Xa but writes no Xb", 'l', "3 4", false, {{"?X51 2!", "0OK\r\n"}}, 1},
      {"k: X5 and Xb", 'k', "3 4", false, {{"?X51 2!", "0OK\r\n"}, {"?Xb3 4!", "0OK\r\n"}}, 1},
      {"k without a saved Xa: no empty Xb", 'k', "", false, {{"?X51 2!", "0OK\r\n"}}, 1},
      {"]: X5, Xb and XO",
       ']',
       "3 4",
       true,
       {{"?X51 2!", "0OK\r\n"}, {"?Xb3 4!", "0OK\r\n"}, {"?XO0.25!", "0OK\r\n"}},
       1},
      {"] without XO", ']', "3 4", false, {{"?X51 2!", "0OK\r\n"}, {"?Xb3 4!", "0OK\r\n"}}, 1},
      {"X5 refused, then taken",
       'u',
       "",
       false,
       {{"?X51 2!", "0ERROR\r\n"}, {"?X51 2!", "0OK\r\n"}},
       1},
      {"X5 refused every time keeps its failure past a good Xb",
       'w',
       "3 4",
       false,
       {{"?X51 2!", "0ERROR\r\n"},
        {"?X51 2!", "0ERROR\r\n"},
        {"?X51 2!", "0ERROR\r\n"},
        {"?Xb3 4!", "0OK\r\n"}},
       kErrRefused},
      {"X5 answered without OK",
       'u',
       "",
       false,
       {{"?X51 2!", "0\r\n"}, {"?X51 2!", "0\r\n"}, {"?X51 2!", "0\r\n"}},
       kErrNoAttempt},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    Reopen();
    sdi_->tries = 3;
    sdi_->type = static_cast<uint8_t>(c.type);
    std::snprintf(sdi_->x4, sizeof sdi_->x4, "1 2");
    std::snprintf(sdi_->xa, sizeof sdi_->xa, "%s", c.xa);
    std::snprintf(sdi_->xo, sizeof sdi_->xo, "0.25");
    sdi_->xoPresent = c.xoPresent;
    std::vector<Step> script;
    std::string expected;
    for (const auto& [command, answer] : c.exchanges) {
      Exchange(&script, command, answer);
      expected += "|" + command;
    }
    pty_->Play(script);
    EXPECT_EQ(SDISetSensorCalibration(sdi_.get(), nullptr), c.result);
    bool scriptOk = false;
    EXPECT_EQ(Written(&scriptOk), expected);
    EXPECT_TRUE(scriptOk);
  }
  EXPECT_TRUE(Logged("SDISetSensorCalibration successfully set sensor Xb calibration to \"3 4\""));
  EXPECT_TRUE(Logged("SDISetSensorCalibration did not set sensor calibration"));
}

TEST_F(SensorCalibrationTest, OverlongX5IsCutToACalibrationString) {
  sdi_->type = 'u';
  const std::string x5(700, '5');
  const std::string sent = "?X5" + std::string(kCalibrationSize - 1, '5') + "!";
  pty_->Play({PtyDevice::Expects(sent), PtyDevice::Sends("0OK\r\n")});
  EXPECT_EQ(SDISetSensorCalibration(sdi_.get(), x5.c_str()), 1);
  EXPECT_EQ(Written(), "|" + sent);
}

TEST_F(SensorCalibrationTest, EmptyX5SendsNothing) {
  sdi_->type = 'u';
  EXPECT_EQ(SDISetSensorCalibration(sdi_.get(), nullptr), 0);
  EXPECT_EQ(pty_->Receive(100), "");
  EXPECT_TRUE(Logged("SDISetSensorCalibration doesn't have a valid X5 calibration string"));
}

}  // namespace
