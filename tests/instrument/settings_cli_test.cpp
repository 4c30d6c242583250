// vexabsl settings and vexabsl clock as a user runs them against the virtual Qd40.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/run_tool.h"
#include "tests/support/sim_instrument.h"

namespace {

nlohmann::json Store(SimInstrument& sim) {
  nlohmann::json store = sim.Stats()["instrument"]["settings"];
  store.erase("clock");
  return store;
}

TEST(SettingsCommand, PrintsEverySettingAndWritesThemBackUnchanged) {
  SimInstrument untouched("qd40");
  ASSERT_TRUE(untouched.Start()) << untouched.Error();
  ASSERT_EQ(untouched.Stop(), 0);

  SimInstrument sim("qd40");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const ToolOutcome run = RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() +
                                                    " --json --write-back --baud 57600 --log " +
                                                    sim.PathFor("errors.txt"));
  ASSERT_EQ(sim.Stop(), 0);
  ASSERT_EQ(run.exit, 0) << run.output;
  const nlohmann::json out = nlohmann::json::parse(run.output);
  EXPECT_EQ(out["present_mask"], "0x0FFFFFFF");
  EXPECT_EQ(out["write_result"], 1);

  // Every setting the logger keeps is printed, with the logger's value.
  const nlohmann::json store = Store(sim);
  const nlohmann::json& printed = out["settings"];
  for (const auto& [key, value] : store.items()) {
    ASSERT_TRUE(printed.contains(key)) << key;
    if (key == "trait") {
      EXPECT_EQ(printed[key].get<int>(), 0x4000 | value.get<int>());  // known, as kept
    } else {
      EXPECT_EQ(printed[key], value) << key;
    }
  }
  EXPECT_EQ(store, Store(untouched));
}

TEST(ClockCommand, SetsTheLoggerToTheComputersTime) {
  SimInstrument sim("qd40");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, "clock --port " + sim.LinkPath() + " --set --json --log " +
                                sim.PathFor("errors.txt"));
  ASSERT_EQ(run.exit, 0) << run.output;
  const nlohmann::json out = nlohmann::json::parse(run.output);
  EXPECT_LE(std::abs(out["difference"].get<int>()), 2) << run.output;
  EXPECT_EQ(out["time"].get<std::string>().size(), 19u);  // "2026-12-10 07:28:56"
}

TEST(SettingsCommand, ExplainsAnInstrumentThatIsNotThere) {
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, "settings --port /dev/vexa-no-such-port --log /dev/null");
  EXPECT_EQ(run.exit, 1);
  EXPECT_NE(run.output.find("[Error -2]"), std::string::npos) << run.output;
}

}  // namespace
