// --factory-reset: the instrument starts with its factory settings, as if it had been reset
// between a settings save and a restore, and keeps the rest of its state (the firmware version,
// the clock) from the state file.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

struct Exchange {
  const char* command;
  const char* answer;
};

struct FactoryCase {
  const char* family;
  std::vector<std::string> firstRun;  // options of the run before the reset
  std::vector<Exchange> afterReset;   // what the reset instrument answers
  const char* login = nullptr;        // what the family needs before it answers them
};

void PrintTo(const FactoryCase& reset, std::ostream* out) {
  *out << reset.family;
}

class FactoryReset : public ::testing::TestWithParam<FactoryCase> {};

TEST_P(FactoryReset, ReplacesTheSettingsAndKeepsTheRestOfTheState) {
  const FactoryCase& reset = GetParam();
  SimInstrument sim(reset.family);
  const std::vector<std::string> state = {"--state", sim.PathFor("state.json")};
  std::vector<std::string> arguments = state;
  arguments.insert(arguments.end(), reset.firstRun.begin(), reset.firstRun.end());
  ASSERT_TRUE(sim.Start(arguments)) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  if (reset.login) {
    ASSERT_EQ(line.Exchange(reset.login, '>'), "\rOK\r>");
  }
  ASSERT_EQ(line.Exchange("set -sec 1000000000\r", '>'), "\rOK\r>");  // 2031-09-09 01:46:40
  line.Close();
  ASSERT_EQ(sim.Stop(), 0);

  arguments = state;
  arguments.push_back("--factory-reset");
  ASSERT_TRUE(sim.Start(arguments)) << sim.Error();
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  if (reset.login) {
    ASSERT_EQ(line.Exchange(reset.login, '>'), "\rOK\r>");
  }
  for (const Exchange& exchange : reset.afterReset) {
    EXPECT_EQ(line.Exchange(exchange.command, '>'), exchange.answer) << exchange.command;
  }
  EXPECT_EQ(line.Exchange("get -t\r", '>').substr(0, 11), "\r2031-09-09") << "the clock is kept";
}

INSTANTIATE_TEST_SUITE_P(
    EachFamily, FactoryReset,
    ::testing::Values(
        FactoryCase{"fieldpal",
                    {"--version", "1.70"},
                    {{"get -ver\r", "\rFP 1.70\r>"},  // from the state, not the option's 1.50
                     {"get -i\r", "\rFieldPal\r>"},
                     {"get -sn\r", "\r\r>"},
                     {"get -contr\r", "\r50\r>"},
                     {"get -cal 0\r", "\r\r>"}}},
        FactoryCase{"qd40",
                    {"--trait", "1"},
                    {{"get -i\r", "\rLOGGER\r>"},
                     {"get -sn\r", "\rQ40-0012345\r>"},  // the logger's own, as its trait
                     {"get -site\r", "\r\r>"},
                     {"get -w\r", "\r60\r>"},
                     {"get -adc30\r", "\r128 0 128 0 128 0 128 0 128 0 128\r>"},
                     {"get -trait\r", "\r254\r>"}}},  // the hardware's trait survives a reset
        FactoryCase{"hs4",
                    {},
                    {{"get -sn\r", "\r\r>"},
                     {"get -config\r", "\r0\r>"},
                     {"get -tau\r", "\r10\r>"},
                     {"get -user\r", "\r0\r>"},
                     {"get -eqn\r", "\r0\r>"},
                     {"get -ver\r", "\rHS4 2.10\r>"}},
                    "login *5927\r"}),
    [](const ::testing::TestParamInfo<FactoryCase>& param) { return param.param.family; });

TEST(FactoryResetOption, WithoutAStateFileStartsFromFactorySettings) {
  SimInstrument sim("rq7");
  ASSERT_TRUE(sim.Start({"--factory-reset"})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("get -i\r", '>'), "\rLOGGER\r>");
  EXPECT_EQ(line.Exchange("get -devid\r", '>'), "\r\r>");
}

}  // namespace
