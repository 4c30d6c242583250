// Every fault vexa-sim offers, switched on from its command line and seen through the link.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

struct CommandLineFault {
  const char* name;
  std::vector<std::string> arguments;
  const char* command;
  const char* answer;
};

void PrintTo(const CommandLineFault& fault, std::ostream* out) {
  *out << fault.name;
}

class SimFaults : public ::testing::TestWithParam<CommandLineFault> {};

TEST_P(SimFaults, ChangeWhatTheCommandLineAnswers) {
  const CommandLineFault& fault = GetParam();
  SimInstrument sim;
  ASSERT_TRUE(sim.Start(fault.arguments)) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange(fault.command, '>', 500), fault.answer);
}

INSTANTIATE_TEST_SUITE_P(
    EachFault, SimFaults,
    ::testing::Values(
        CommandLineFault{
            "no_loader", {"--fault", "no-loader"}, "boot KWEL\r", "\rVexaBSL MISSING\r>"},
        CommandLineFault{"low_battery", {"--fault", "low-battery"}, "get -batt\r", "\r5\r>"},
        CommandLineFault{"wrong_hver", {"--fault", "wrong-hver"}, "get -hver\r", "\rB\r>"},
        CommandLineFault{
            "code_corrupt", {"--fault", "code-corrupt"}, "post\r", "\rCode Corrupt!\r>"},
        CommandLineFault{
            "dataflash_fail", {"--fault", "dataflash-fail"}, "yes\r", "\rDataFlash FAIL\r>"},
        CommandLineFault{"echo", {"--fault", "echo"}, "get -ver\r", "get -ver\r\rFP 1.50\r>"},
        CommandLineFault{
            "garble_rx_1", {"--fault", "garble-rx=1"}, "get -ver\r", "\rERROR\r>"},  // "fet"
        CommandLineFault{
            "drop_rx_9", {"--fault", "drop-rx=9"}, "get -ver\r", ""},  // the carriage return
        CommandLineFault{"garble_tx_2", {"--fault", "garble-tx=2"}, "get -ver\r", "\rGP 1.50\r>"},
        CommandLineFault{"drop_tx_2", {"--fault", "drop-tx=2"}, "get -ver\r", "\rP 1.50\r>"},
        CommandLineFault{"options", {"--battery", "9", "--hver", "D"}, "get -batt\r", "\r9\r>"}),
    [](const ::testing::TestParamInfo<CommandLineFault>& param) { return param.param.name; });

TEST(SimFaultOptions, UnknownOrIncompleteFaultsAreUsageErrors) {
  for (const char* fault : {"no-such-fault", "reject-block", "power-loss=0", "echo=x"}) {
    SimInstrument sim;
    EXPECT_FALSE(sim.Start({"--fault", fault})) << fault;
    EXPECT_NE(sim.Error().find("exit status 64"), std::string::npos) << sim.Error();
  }
}

TEST(SimFaultOptions, SilenceAfterSomeAnswers) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--fault", "silent-after=2"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("get -ver\r", '>'), "\rFP 1.50\r>");
  EXPECT_EQ(line.Exchange("get -hver\r", '>'), "\rC\r>");
  EXPECT_EQ(line.Exchange("get -ver\r", '>', 300), "");
  sim.Stop();
  EXPECT_EQ(sim.Stats()["silenced_answers"], 1);
}

TEST(SimFaultOptions, LoaderAlreadyRunning) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--fault", "loader-running"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.SendAndListen("get -ver\r", 300), "") << "the loader drops 9600-baud noise";
  ASSERT_TRUE(line.SetBaud(57600));
  EXPECT_EQ(line.Exchange("\r", '\r'), "?\r");
  EXPECT_EQ(line.Exchange(LoaderFrame('g', ""), '\r'), "+2+\r");
}

class LoaderFaults : public ::testing::Test {
 protected:
  void Begin(const std::vector<std::string>& arguments) {
    ASSERT_TRUE(sim_.Start(arguments)) << sim_.Error();
    ASSERT_TRUE(line_.Open(sim_.LinkPath(), 9600));
    ASSERT_EQ(ConnectFieldPalLoader(line_), "");
    ASSERT_EQ(Send('X', "02400"), "+\r");
    ASSERT_EQ(Send('@', "02400"), "+\r");
  }
  std::string Send(char letter, const std::string& payload) {
    return line_.Exchange(LoaderFrame(letter, payload), '\r', 500);
  }
  const std::string block_ = std::string(512, 'A');

  SimInstrument sim_;
  SimLine line_;
};

TEST_F(LoaderFaults, RejectABlockOnce) {
  Begin({"--fault", "reject-block=2"});
  EXPECT_EQ(Send('W', block_), "+\r");
  EXPECT_EQ(Send('W', block_), "-\r");
  // As a client retries: the block's address again, then the block.
  EXPECT_EQ(Send('@', "02500"), "+\r");
  EXPECT_EQ(Send('W', block_), "+\r");
}

TEST_F(LoaderFaults, RejectABlockAlways) {
  Begin({"--fault", "reject-block-always=2"});
  EXPECT_EQ(Send('W', block_), "+\r");
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_EQ(Send('@', "02500"), "+\r");
    EXPECT_EQ(Send('W', block_), "-\r") << attempt;
  }
  EXPECT_EQ(Send('@', "02600"), "+\r");
  EXPECT_EQ(Send('W', block_), "+\r") << "other blocks are taken";
}

TEST_F(LoaderFaults, PowerLossInTheMiddleOfTheWrite) {
  Begin({"--fault", "power-loss=2", "--power-off-ms", "800", "--realtime"});
  EXPECT_EQ(Send('W', block_), "+\r");
  EXPECT_EQ(Send('W', block_), "") << "no answer: the power failed";
  EXPECT_EQ(line_.SendAndListen("\r", 100), "") << "nothing answers while off";
  PumpingWait(500);
  // Power is back: the application is half written, so the loader waits again.
  EXPECT_EQ(line_.Exchange("\r", '\r'), "$\r");
  sim_.Stop();
  EXPECT_EQ(sim_.Stats()["instrument"]["power_losses"], 1);
}

}  // namespace
