// The loggers and the radio modem, byte for byte: what the Qd40 and the Qd4 answer, the Qd40's
// rate changes, and the modem's AT command mode and channels in front of a sleeping logger.
#include <gtest/gtest.h>

#include <string>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

TEST(Qd40, AnswersAndChangesItsRate) {
  SimInstrument sim("qd40");
  ASSERT_TRUE(sim.Start({"--idle-ms", "400"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("get -ver\r", '>'), "\rQd40 2.03\r>");
  EXPECT_EQ(line.Exchange("get -rsch\r", '>'), "\rOK\r1234\r>");
  EXPECT_EQ(line.Exchange("set -rch 5\r", '>'), "\rOK\r>");
  EXPECT_EQ(line.Exchange("get -rch\r", '>'), "\rOK\r5\r>");
  EXPECT_EQ(line.Exchange("show\r", '>'), "\rERROR\r>");
  EXPECT_EQ(line.Exchange("set -baud 4\r", '>'), "\rOK\r>");  // still at 9600
  PumpingWait(50);
  ASSERT_TRUE(line.SetBaud(115200));
  EXPECT_EQ(line.Exchange("get -i\r", '>'), "\rLOGGER1\r>");
  // Silent for longer than the idle time: back at 9600.
  PumpingWait(600);
  EXPECT_NE(line.Exchange("get -i\r", '>', 300), "\rLOGGER1\r>");
  ASSERT_TRUE(line.SetBaud(9600));
  EXPECT_EQ(line.Exchange("get -i\r", '>'), "\rLOGGER1\r>");
}

TEST(Qd4, RefusesGetVerAndAnswersShow) {
  SimInstrument sim("qd4");
  ASSERT_TRUE(sim.Start({"--name", "UNIT7", "--resets", "12"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("get -ver\r", '>'), "\rERROR\r>");
  EXPECT_EQ(line.Exchange("set -baud 4\r", '>'), "\rERROR\r>");
  EXPECT_EQ(line.Exchange("show\r", '>'),
            "\rID: UNIT7\rVersion: 1.12\rRadio: 1\rWake: 60\rResets: 12\r>");
}

TEST(RadioModem, CommandModeAndChannels) {
  SimInstrument sim("radio");
  // A long guard time, so that no pause of a busy test machine passes for one by accident.
  ASSERT_TRUE(sim.Start({"--awake", "--channel", "2", "--modem-channel", "1", "--guard-ms", "600"}))
      << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  // On channel 1 the logger on channel 2 hears nothing.
  EXPECT_EQ(line.SendAndListen("\rquery\r", 300), "");
  PumpingWait(700);  // the guard time before "+++"
  EXPECT_EQ(line.Exchange("+++", '\r'), "OK\r");
  EXPECT_EQ(line.Exchange("ATHP\r", '\r'), "1\r");
  EXPECT_EQ(line.Exchange("ATDT\r", '\r'), "1234\r");
  EXPECT_EQ(line.Exchange("ATHP7\r", '\r'), "ERROR\r");
  EXPECT_EQ(line.Exchange("ATHP2\r", '\r'), "OK\r");
  EXPECT_EQ(line.Exchange("ATVR\r", '\r'), "1085\r");
  EXPECT_EQ(line.Exchange("ATWR\r", '\r'), "OK\r");
  EXPECT_EQ(line.Exchange("ATCN\r", '\r'), "OK\r");
  // Now on the logger's channel: it answers the query with its name, ignores empty lines and
  // strangers, and logs in by name.
  EXPECT_EQ(line.Exchange("\rquery\r", '\r'), "RADIO1\r");
  EXPECT_EQ(line.SendAndListen("login OTHER\r", 300), "");
  EXPECT_EQ(line.SendAndListen("get -ver\r", 300), "");
  EXPECT_EQ(line.Exchange("login RADIO1\r", '>'), "\rOK\r>");
  EXPECT_EQ(line.Exchange("get -ver\r", '>'), "\rQd40 2.03\r>");
  // "+++" without the guard time before it is data for the logger.
  EXPECT_EQ(line.Exchange("+++\r", '>'), "\rERROR\r>");
  // Logged out, it sleeps: nothing answers until the wake packets.
  EXPECT_EQ(line.SendAndListen("logout\r", 300), "");
  EXPECT_EQ(line.SendAndListen("\rquery\r", 300), "");
}

TEST(RadioModem, WakePacketsWakeTheLogger) {
  SimInstrument sim("radio");
  ASSERT_TRUE(sim.Start({"--wake-packets", "50"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.SendAndListen("\rquery\r", 300), "");
  EXPECT_EQ(line.SendAndListen(std::string(48, '\r'), 200), "");  // 50 with the query's two
  EXPECT_EQ(line.Exchange("\rquery\r", '\r'), "RADIO1\r");
}

}  // namespace
