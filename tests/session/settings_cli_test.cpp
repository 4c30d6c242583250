// vexabsl settings --save and --restore as service staff use them: the settings of an instrument
// saved to a file, the instrument reset to its factory settings, and the file written back.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/run_tool.h"
#include "tests/support/sim_instrument.h"

namespace {

// The instrument's settings as its state file keeps them: those an update saves and restores.
nlohmann::json StoredSettings(SimInstrument& sim) {
  std::ifstream in(sim.PathFor("state.json"));
  nlohmann::json state = nlohmann::json::parse(in, nullptr, false);
  nlohmann::json settings = state.is_object() ? state["settings"] : nlohmann::json();
  if (!settings.is_object()) return settings;
  settings.erase("clock");
  // A Hydrella 4's humidity adjustment and time constant are the sensor's, not kept by an update.
  if (state["family"] == "hs4") settings.erase("hadj"), settings.erase("tau");
  return settings;
}

class SaveAndRestore : public ::testing::TestWithParam<const char*> {};

TEST_P(SaveAndRestore, GivesAnInstrumentResetToFactorySettingsItsOwnSettingsBack) {
  SimInstrument sim(GetParam());
  const std::string state = sim.PathFor("state.json");
  const std::string file = sim.PathFor("kept.settings.txt");
  const std::string log = " --log " + sim.PathFor("errors.txt");

  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  const ToolOutcome saved =
      RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() + " --save " + file + log);
  ASSERT_EQ(sim.Stop(), 0);
  ASSERT_EQ(saved.exit, 0) << saved.output;
  const nlohmann::json original = StoredSettings(sim);
  ASSERT_TRUE(original.is_object());

  ASSERT_TRUE(sim.Start({"--state", state, "--factory-reset"})) << sim.Error();
  ASSERT_EQ(sim.Stop(), 0);
  ASSERT_NE(StoredSettings(sim), original) << "the factory settings differ from those in use";

  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  const ToolOutcome restored =
      RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() + " --restore " + file + log);
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(restored.exit, 0) << restored.output;
  EXPECT_EQ(StoredSettings(sim), original);
}

INSTANTIATE_TEST_SUITE_P(EachFamily, SaveAndRestore, ::testing::Values("fieldpal", "qd40", "hs4"));

TEST(SettingsCommand, SaysWhichSettingsARestoreCouldNotWrite) {
  SimInstrument sim("fieldpal");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const std::string file = sim.PathFor("odd.settings.txt");
  // The FieldPal refuses a contrast above 255; the name still goes back.
  std::ofstream(file, std::ios::binary)
      << "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n"
      << "type=\"FP\"\r\nname=\"FP7\"\r\ncontr=\"999\"\r\n";
  const ToolOutcome run = RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() +
                                                    " --restore " + file + " --log /dev/null");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_NE(run.output.find("These settings were not restored: contr"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("[Error -35]"), std::string::npos) << run.output;
}

}  // namespace
