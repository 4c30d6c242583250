// The FieldPal's relay to a digital sensor, byte by byte: "[" relays SDI-12 commands, "|" breaks
// a half-sent one, "`" returns to the command line; the sensor answers its address and "?".
#include <gtest/gtest.h>

#include <string>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

constexpr uint32_t kSilenceMs = 300;

TEST(SensorRelay, RelaysCommandsToTheSensorAndReturns) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--sensor", "z"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.SendAndListen("[", kSilenceMs), "");
  EXPECT_EQ(line.Exchange("?!", '\n'), "0\r\n");
  EXPECT_EQ(line.SendAndListen("1!", kSilenceMs), "");  // another address
  EXPECT_EQ(line.Exchange("0A5!", '\n'), "5\r\n");
  EXPECT_EQ(line.Exchange("?I!", '\n'), "513NORVANE DS-1  360\r\n");
  EXPECT_EQ(line.SendAndListen("?X8|", kSilenceMs), "");  // the break drops the half command
  EXPECT_EQ(line.Exchange("5X8!", '\n'), "5z\r\n");
  EXPECT_EQ(line.Exchange("?X5" + std::string(511, '1') + "!", '\n'), "5OK\r\n");
  EXPECT_EQ(line.Exchange("?X5" + std::string(512, '1') + "!", '\n'), "5ERROR\r\n");
  EXPECT_EQ(line.Exchange("?XO!", '\n'), "5ERROR\r\n");  // no offset calibration
  EXPECT_EQ(line.Exchange("`get -ver\r", '>'), "\rFP 1.50\r>");
  EXPECT_EQ(line.Exchange("[?post!", '\n'), "5Code Good\r\n");
  EXPECT_EQ(line.SendAndListen("?B!", kSilenceMs), "");  // off into its loader
  EXPECT_EQ(line.SendAndListen("?!", kSilenceMs), "");
  line.Close();
  ASSERT_EQ(sim.Stop(), 0);
  const nlohmann::json sensor = sim.Stats()["instrument"]["sensor"];
  EXPECT_EQ(sensor["address"], "5");
  EXPECT_EQ(sensor["x4"], std::string(511, '1'));
  EXPECT_EQ(sensor["in_loader"], true);
  EXPECT_EQ(sim.Stats()["instrument"]["relays"], 2);
}

TEST(SensorRelay, MissesEveryNthCommandWhenTold) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--sensor", "105", "--fault", "sensor-miss=2"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("[?X8!", '\n'), "0105\r\n");
  EXPECT_EQ(line.SendAndListen("?X8!", kSilenceMs), "");
  EXPECT_EQ(line.Exchange("?X8!", '\n'), "0105\r\n");
  line.Close();
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["sensor"]["missed"], 1);
}

TEST(SensorRelay, UploadThroughTheSensorsLoaderRestartsItWithFactorySettings) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--sensor", "w", "--sensor-version", "352"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.SendAndListen("[?B!", kSilenceMs), "");
  // Raw bytes to the sensor's loader, at the reader's own 9600 baud.
  EXPECT_EQ(line.Exchange("]P", '\r'), "#\r");
  const auto send = [&line](char letter, const std::string& payload) {
    return line.Exchange(LoaderFrame(letter, payload), '\r', 500);
  };
  EXPECT_EQ(send('X', "8000"), "+\r");
  EXPECT_EQ(send('@', "8000"), "+\r");
  EXPECT_EQ(send('W', "3412"), "+\r");
  std::string vectors;
  for (int i = 0; i < 16; ++i) vectors += "8000";
  EXPECT_EQ(line.SendAndListen(LoaderFrame('V', vectors), kSilenceMs), "+");
  EXPECT_EQ(line.Exchange("`[?I!", '\n'), "013NORVANE DS-1  400\r\n");
  EXPECT_EQ(line.Exchange("?X#!", '\n'), "0\r\n");
  EXPECT_EQ(line.Exchange("?X4!", '\n'), "0 \r\n");
  EXPECT_EQ(line.Exchange("?post!", '\n'), "0Code Good\r\n");
  line.Close();
  ASSERT_EQ(sim.Stop(), 0);
  const nlohmann::json sensor = sim.Stats()["instrument"]["sensor"];
  EXPECT_EQ(sensor["uploads"], 1);
  EXPECT_EQ(sensor["version"], "400");
  EXPECT_EQ(sensor["in_loader"], false);
}

TEST(SensorRelay, WithoutASensorNothingAnswers) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.SendAndListen("[?I!", kSilenceMs), "");
  EXPECT_EQ(line.Exchange("`get -ver\r", '>'), "\rFP 1.50\r>");
}

}  // namespace
