// power-cut-after=N: the instrument's power fails right after its N-th answer. It stays silent
// until the power comes back, then powers up by its own rules; with --state a later run of the
// simulator powers it up. For the FieldPal, a cut at each exchange of an update decides whether
// it comes back in its old firmware, in its loader or in the new firmware.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/clock.h"
#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

struct Family {
  const char* name;
  const char* version;  // the answer to "get -ver"
};

void PrintTo(const Family& family, std::ostream* out) {
  *out << family.name;
}

const Family kFamilies[] = {
    {"fieldpal", "\rFP 1.50\r>"},
    {"qd40", "\rQd40 2.03\r>"},
    {"qd4", "\rERROR\r>"},  // the oldest firmware refuses it, which is an answer too
    {"hs4", "\rHS4 2.10\r>"},
};

class PowerCut : public ::testing::TestWithParam<Family> {
 protected:
  void Begin(const std::vector<std::string>& arguments) {
    ASSERT_TRUE(sim_.Start(arguments)) << sim_.Error();
    ASSERT_TRUE(line_.Open(sim_.LinkPath(), 9600));
  }
  std::string AskVersion(uint32_t timeoutMs = 1000) {
    return line_.Exchange("get -ver\r", '>', timeoutMs);
  }

  SimInstrument sim_{GetParam().name};
  SimLine line_;
};

TEST_P(PowerCut, LeavesTheInstrumentSilentAfterItsNthAnswer) {
  Begin({"--fault", "power-cut-after=2"});
  EXPECT_EQ(AskVersion(), GetParam().version);
  EXPECT_EQ(AskVersion(), GetParam().version);
  EXPECT_EQ(AskVersion(200), "") << "no power, no answer";
  EXPECT_EQ(line_.SendAndListen("\r", 100), "");
  line_.Close();
  ASSERT_EQ(sim_.Stop(), 0);
  const nlohmann::json instrument = sim_.Stats()["instrument"];
  EXPECT_EQ(instrument["answers_sent"], 2);
  EXPECT_EQ(instrument["power_losses"], 1);
  EXPECT_EQ(instrument["state"], "off");
}

TEST_P(PowerCut, EndsWhenThePowerComesBack) {
  Begin({"--fault", "power-cut-after=1", "--power-off-ms", "300", "--realtime"});
  EXPECT_EQ(AskVersion(), GetParam().version);
  EXPECT_EQ(AskVersion(100), "");
  PumpingWait(300);
  EXPECT_EQ(AskVersion(), GetParam().version) << "powered up at its command line";
  line_.Close();
  ASSERT_EQ(sim_.Stop(), 0);
  EXPECT_EQ(sim_.Stats()["instrument"]["answers_sent"], 2);
}

INSTANTIATE_TEST_SUITE_P(EachFamily, PowerCut, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<Family>& param) {
                           return param.param.name;
                         });

TEST(PowerCutOption, IsAUsageErrorWithoutACountOrBehindTheRadio) {
  for (auto [family, fault] :
       {std::pair{"fieldpal", "power-cut-after=0"}, std::pair{"hs4", "power-cut-after"},
        std::pair{"radio", "power-cut-after=3"}}) {
    SimInstrument sim(family);
    EXPECT_FALSE(sim.Start({"--fault", fault})) << family << " " << fault;
    EXPECT_NE(sim.Error().find("exit status 64"), std::string::npos) << sim.Error();
  }
}

// One exchange of an update: at the rate, what is sent and the answer.
struct Step {
  uint32_t baud;
  std::string sent;
  char awaited;
  std::string answer;
};

// The start of an update: the version, the loader's handshake, an erase, a write and the
// vectors (the reset vector at 0x2400).
const std::vector<Step> kUpdate = {
    {9600, "get -ver\r", '>', "\rFP 1.50\r>"},
    {9600, "boot KWEL\r", '>', "\rOK\r>"},
    {57600, "\r", '\r', "$\r"},
    {57600, "P", '\r', "#\r"},
    {57600, LoaderFrame('X', "02400"), '\r', "+\r"},
    {57600, LoaderFrame('@', "02400"), '\r', "+\r"},
    {57600, LoaderFrame('W', "3412"), '\r', "+\r"},
    {57600, LoaderFrame('V', std::string(60, 'F') + "2400"), '+', "+"},
};

// Where the FieldPal comes up in the next run after a cut right after answer N of kUpdate.
struct CutCase {
  const char* name;
  uint32_t answer;
  const char* comesUpIn;    // "FP 1.50", "FP 2.00" (the command line) or "loader"
  const char* name_answer;  // "get -i" in the firmware: its settings, kept or factory
};

void PrintTo(const CutCase& cut, std::ostream* out) {
  *out << cut.name;
}

class PowerCutDuringAnUpdate : public ::testing::TestWithParam<CutCase> {};

TEST_P(PowerCutDuringAnUpdate, ComesUpByThePowerUpRulesInTheNextRun) {
  const CutCase& cut = GetParam();
  SimInstrument sim;
  const std::string state = sim.PathFor("state.json");
  ASSERT_TRUE(
      sim.Start({"--state", state, "--fault", "power-cut-after=" + std::to_string(cut.answer)}))
      << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  for (uint32_t i = 0; i <= cut.answer && i < kUpdate.size(); ++i) {
    const Step& step = kUpdate[i];
    ASSERT_TRUE(line.SetBaud(step.baud));
    const std::string expected = i < cut.answer ? step.answer : "";
    EXPECT_EQ(line.Exchange(step.sent, step.awaited, i < cut.answer ? 1000 : 200), expected)
        << "exchange " << i + 1;
  }
  line.Close();
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["state"], "off");

  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  if (std::string(cut.comesUpIn) == "loader") {
    EXPECT_EQ(line.SendAndListen("get -ver\r", 200), "") << "no firmware answers";
    ASSERT_TRUE(line.SetBaud(57600));
    EXPECT_EQ(line.Exchange("\r", '\r'), "$\r") << "the loader waits";
  } else {
    EXPECT_EQ(line.Exchange("get -ver\r", '>'), std::string("\r") + cut.comesUpIn + "\r>");
    EXPECT_EQ(line.Exchange("get -i\r", '>'), std::string("\r") + cut.name_answer + "\r>");
  }
}

INSTANTIATE_TEST_SUITE_P(EachExchange, PowerCutDuringAnUpdate,
                         ::testing::Values(CutCase{"after_the_version", 1, "FP 1.50", "FP0042"},
                                           CutCase{"after_boot", 2, "FP 1.50", "FP0042"},
                                           CutCase{"after_connecting", 4, "FP 1.50", "FP0042"},
                                           CutCase{"after_the_erase", 5, "loader", ""},
                                           CutCase{"after_a_write", 7, "loader", ""},
                                           CutCase{"after_the_vectors", 8, "FP 2.00", "FieldPal"}),
                         [](const ::testing::TestParamInfo<CutCase>& param) {
                           return param.param.name;
                         });

}  // namespace
