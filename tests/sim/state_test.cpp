// --state: what a FieldPal keeps when the simulator is stopped and started again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

class SimState : public ::testing::Test {
 protected:
  bool Start(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.end(), {"--state", sim_.PathFor("state.json")});
    return sim_.Start(arguments) && line_.Open(sim_.LinkPath(), 9600);
  }
  void Restart(std::vector<std::string> arguments = {}) {
    line_.Close();
    ASSERT_EQ(sim_.Stop(), 0);
    ASSERT_TRUE(Start(arguments)) << sim_.Error();
  }
  std::string Send(char letter, const std::string& payload) {
    return line_.Exchange(LoaderFrame(letter, payload), '\r', 500);
  }

  SimInstrument sim_;
  SimLine line_;
};

TEST_F(SimState, SettingsAndClockSurviveARestart) {
  ASSERT_TRUE(Start()) << sim_.Error();
  ASSERT_EQ(line_.Exchange("set -i KEEP1\r", '>'), "\rOK\r>");
  ASSERT_EQ(line_.Exchange("set -cal 9 kept entry\r", '>'), "\rOK\r>");
  ASSERT_EQ(line_.Exchange("set -d 2031-07-04\r", '>'), "\rOK\r>");
  Restart();
  EXPECT_EQ(line_.Exchange("get -i\r", '>'), "\rKEEP1\r>");
  EXPECT_EQ(line_.Exchange("get -cal 9\r", '>'), "\rkept entry\r>");
  EXPECT_EQ(line_.Exchange("get -t\r", '>').substr(0, 11), "\r2031-07-04");
  EXPECT_EQ(line_.Exchange("get -ver\r", '>'), "\rFP 1.50\r>");
}

TEST_F(SimState, AnUpdateInterruptedAfterTheEraseFindsTheLoaderWaiting) {
  ASSERT_TRUE(Start()) << sim_.Error();
  ASSERT_EQ(ConnectFieldPalLoader(line_), "");
  ASSERT_EQ(Send('X', "02400"), "+\r");
  ASSERT_EQ(Send('@', "02400"), "+\r");
  ASSERT_EQ(Send('W', "3412"), "+\r");

  Restart({"--dump-flash", sim_.PathFor("flash.txt")});
  EXPECT_EQ(line_.SendAndListen("get -ver\r", 300), "") << "no firmware answers";
  ASSERT_TRUE(line_.SetBaud(57600));
  EXPECT_EQ(line_.Exchange("\r", '\r'), "$\r");
  EXPECT_EQ(line_.Exchange("P", '\r'), "#\r");
  // The update goes on where it stopped: the written word is still in flash, the rest of the
  // segment erased.
  ASSERT_EQ(Send('@', "02402"), "+\r");
  EXPECT_EQ(Send('W', "7856"), "+\r");
  EXPECT_EQ(line_.Exchange(LoaderFrame('V', std::string(60, 'F') + "2400"), '+'), "+");
  ASSERT_TRUE(line_.SetBaud(9600));
  EXPECT_EQ(line_.Exchange("get -ver\r", '>'), "\rFP 2.00\r>");
  line_.Close();
  ASSERT_EQ(sim_.Stop(), 0);
  EXPECT_EQ(sim_.Stats()["instrument"]["flash_faults"], 0);
}

TEST_F(SimState, ABadStateFileIsRefusedAndKept) {
  ASSERT_TRUE(Start()) << sim_.Error();
  line_.Close();
  ASSERT_EQ(sim_.Stop(), 0);
  {
    std::FILE* file = std::fopen(sim_.PathFor("state.json").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("{\"family\": \"qd40\"}", file);
    std::fclose(file);
  }
  EXPECT_FALSE(sim_.Start({"--state", sim_.PathFor("state.json")}));
  EXPECT_NE(sim_.Error().find("exit status 1"), std::string::npos) << sim_.Error();
  std::FILE* file = std::fopen(sim_.PathFor("state.json").c_str(), "r");
  ASSERT_NE(file, nullptr);
  char text[64] = {};
  EXPECT_GT(std::fread(text, 1, sizeof text - 1, file), 0u);
  std::fclose(file);
  EXPECT_STREQ(text, "{\"family\": \"qd40\"}");
}

}  // namespace
