// The oldest Qd4's pass-through to its own radio modem ("term"), byte for byte: the modem's AT
// commands on the Qd4's radio values, the watch for the closing "term", the values kept by
// --state, and a Qd4 without a radio.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

constexpr const char* kShow = "\rID: QD4UNIT\rVersion: 1.12\rRadio: 1\rWake: 60\rResets: 3\r>";

class Qd4PassThrough : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> arguments = {}) {
    ASSERT_TRUE(sim_.Start(arguments)) << sim_.Error();
    ASSERT_TRUE(line_.Open(sim_.LinkPath(), 9600));
  }
  // "term" and the escape into the modem's command mode, as the updater does it.
  void EnterCommandMode() {
    ASSERT_EQ(line_.SendAndListen("term\r", 300), "") << "the Qd4 answers nothing to term";
    ASSERT_EQ(line_.Exchange("+++", '\r'), "OK\r");  // after the 300 ms of silence above
  }
  nlohmann::json Stop() {
    line_.Close();
    EXPECT_EQ(sim_.Stop(), 0);
    return sim_.Stats()["instrument"];
  }

  SimInstrument sim_{"qd4"};
  SimLine line_;
};

TEST_F(Qd4PassThrough, TheModemAnswersWithTheQd4sRadioUntilTerm) {
  Start();
  EnterCommandMode();
  EXPECT_EQ(line_.Exchange("ATHP\r", '\r'), "3\r");
  EXPECT_EQ(line_.Exchange("ATDT\r", '\r'), "1234\r");
  EXPECT_EQ(line_.Exchange("ATVR\r", '\r'), "1085\r");
  EXPECT_EQ(line_.Exchange("ATDT1F\r", '\r'), "OK\r");
  EXPECT_EQ(line_.Exchange("ATHP7\r", '\r'), "ERROR\r");
  EXPECT_EQ(line_.Exchange("ATDT\r", '\r'), "1F\r");
  EXPECT_EQ(line_.Exchange("ATWR\r", '\r'), "OK\r");
  // In command mode the line is the modem's: "term" is one more unknown command.
  EXPECT_EQ(line_.Exchange("term\r", '\r'), "ERROR\r");
  EXPECT_EQ(line_.Exchange("ATCN\r", '\r'), "OK\r");

  // Transparent: what is not "term" goes out over the air to nobody, "+++" without the guard
  // time before it included.
  EXPECT_EQ(line_.SendAndListen("show\r", 200), "");
  EXPECT_EQ(line_.SendAndListen("x+++\r", 200), "");
  EXPECT_EQ(line_.Exchange("term\r", '>'), "\r>");
  EXPECT_EQ(line_.Exchange("show\r", '>'), kShow);  // its own command line again

  const nlohmann::json stats = Stop();
  EXPECT_EQ(stats["settings"]["radio_channel"], 3);
  EXPECT_EQ(stats["settings"]["radio_subchannel"], 0x1F);
  EXPECT_EQ(stats["pass_throughs"], 1);
  EXPECT_EQ(stats["escapes"], 1);
  EXPECT_EQ(stats["at_commands"], 9);
  EXPECT_EQ(stats["dropped_bytes"], 10);
}

TEST_F(Qd4PassThrough, StartsOnItsConfiguredChannelsAndKeepsWhatWasWritten) {
  const std::string state = sim_.PathFor("state.json");
  Start({"--channel", "5", "--subchannel", "43981", "--state", state});
  EnterCommandMode();
  EXPECT_EQ(line_.Exchange("ATHP\r", '\r'), "5\r");
  EXPECT_EQ(line_.Exchange("ATDT\r", '\r'), "ABCD\r");
  EXPECT_EQ(line_.Exchange("ATHP1\r", '\r'), "OK\r");
  EXPECT_EQ(line_.Exchange("ATDT2A\r", '\r'), "OK\r");
  EXPECT_EQ(line_.Exchange("ATWR\r", '\r'), "OK\r");
  EXPECT_EQ(line_.Exchange("ATCN\r", '\r'), "OK\r");
  EXPECT_EQ(line_.Exchange("term\r", '>'), "\r>");
  Stop();

  Start({"--state", state});
  EnterCommandMode();
  EXPECT_EQ(line_.Exchange("ATHP\r", '\r'), "1\r");
  EXPECT_EQ(line_.Exchange("ATDT\r", '\r'), "2A\r");
  EXPECT_EQ(line_.Exchange("ATCN\r", '\r'), "OK\r");
  EXPECT_EQ(line_.Exchange("term\r", '>'), "\r>");
}

TEST_F(Qd4PassThrough, WithoutARadioTermIsRefusedAndTheCommandLineStays) {
  Start({"--no-radio"});
  EXPECT_EQ(line_.Exchange("term\r", '>'), "\rNo Radio\r>");
  EXPECT_EQ(line_.Exchange("show\r", '>'), kShow);
  const nlohmann::json stats = Stop();
  EXPECT_EQ(stats["pass_throughs"], 0);
}

}  // namespace
