// vexabsl settings --save and --restore as service staff use them: the settings of an instrument
// saved to a file, the instrument reset to its factory settings, and the file written back; the
// families that need a login get it; a save or restore that moves nothing says so.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <ostream>
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

std::string TextOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr const char* kLoggedIn = "DPConnect successfully logged into the device";

struct Family {
  const char* name;
  bool needsLogin;  // the Hydrella 4 refuses every command but "get -ver" before the login
};

void PrintTo(const Family& family, std::ostream* out) {
  *out << family.name;
}

class SaveAndRestore : public ::testing::TestWithParam<Family> {};

TEST_P(SaveAndRestore, GivesAnInstrumentResetToFactorySettingsItsOwnSettingsBack) {
  SimInstrument sim(GetParam().name);
  const std::string state = sim.PathFor("state.json");
  const std::string file = sim.PathFor("kept.settings.txt");
  const std::string saveLog = sim.PathFor("save.errors.txt");
  const std::string restoreLog = sim.PathFor("restore.errors.txt");

  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  const ToolOutcome saved = RunTool(
      VEXABSL_PATH, "settings --port " + sim.LinkPath() + " --save " + file + " --log " + saveLog);
  ASSERT_EQ(sim.Stop(), 0);
  ASSERT_EQ(saved.exit, 0) << saved.output << TextOf(saveLog);
  EXPECT_EQ(TextOf(saveLog).find(kLoggedIn) != std::string::npos, GetParam().needsLogin);
  EXPECT_EQ(sim.Stats()["instrument"].value("logged_in", false), false) << "logged out at the end";
  const nlohmann::json original = StoredSettings(sim);
  ASSERT_TRUE(original.is_object());

  ASSERT_TRUE(sim.Start({"--state", state, "--factory-reset"})) << sim.Error();
  ASSERT_EQ(sim.Stop(), 0);
  ASSERT_NE(StoredSettings(sim), original) << "the factory settings differ from those in use";

  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  const ToolOutcome restored =
      RunTool(VEXABSL_PATH,
              "settings --port " + sim.LinkPath() + " --restore " + file + " --log " + restoreLog);
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(restored.exit, 0) << restored.output << TextOf(restoreLog);
  EXPECT_EQ(TextOf(restoreLog).find(kLoggedIn) != std::string::npos, GetParam().needsLogin);
  EXPECT_EQ(sim.Stats()["instrument"].value("logged_in", false), false) << "logged out at the end";
  EXPECT_EQ(StoredSettings(sim), original);
}

INSTANTIATE_TEST_SUITE_P(EachFamily, SaveAndRestore,
                         ::testing::Values(Family{"fieldpal", false}, Family{"qd40", false},
                                           Family{"hs4", true}),
                         [](const ::testing::TestParamInfo<Family>& param) {
                           return param.param.name;
                         });

class ClockOfEachFamily : public ::testing::TestWithParam<Family> {};

TEST_P(ClockOfEachFamily, IsSetAfterTheLoginItsFamilyNeeds) {
  SimInstrument sim(GetParam().name);
  const std::string log = sim.PathFor("clock.errors.txt");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, "clock --port " + sim.LinkPath() + " --set --json --log " + log);
  ASSERT_EQ(sim.Stop(), 0);
  ASSERT_EQ(run.exit, 0) << run.output << TextOf(log);
  EXPECT_EQ(TextOf(log).find(kLoggedIn) != std::string::npos, GetParam().needsLogin);
  const nlohmann::json out = nlohmann::json::parse(run.output, nullptr, false);
  ASSERT_TRUE(out.is_object()) << run.output;
  EXPECT_LE(std::abs(out["difference"].get<int>()), 2) << run.output;
}

INSTANTIATE_TEST_SUITE_P(EachFamily, ClockOfEachFamily,
                         ::testing::Values(Family{"fieldpal", false}, Family{"hs4", true}),
                         [](const ::testing::TestParamInfo<Family>& param) {
                           return param.param.name;
                         });

TEST(SettingsCommand, LeavesTheFileAsItWasWhenASaveReadsNothing) {
  // A Hydrella Series 3 keeps its ADC calibration and config, neither of which the FieldPal that
  // plays one knows: every item is refused.
  SimInstrument sim("fieldpal");
  ASSERT_TRUE(sim.Start({"--type-word", "H3B", "--version", "3.60"})) << sim.Error();
  const std::string file = sim.PathFor("kept.settings.txt");
  const std::string kept =
      "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n"
      "type=\"H3B\"\r\nconfig=\"12345\"\r\n";
  std::ofstream(file, std::ios::binary) << kept;
  const std::string log = sim.PathFor("errors.txt");
  const ToolOutcome run = RunTool(
      VEXABSL_PATH, "settings --port " + sim.LinkPath() + " --save " + file + " --log " + log);
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_EQ(TextOf(file), kept);
  EXPECT_NE(run.output.find("None of these settings could be read: adccal, config"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("Nothing was saved"), std::string::npos) << run.output;
  EXPECT_NE(TextOf(log).find(kLoggedIn), std::string::npos) << "the H3B needs the login too";
}

TEST(SettingsCommand, SaysSoWhenARestoreHasNothingToWrite) {
  SimInstrument sim("hs4");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const std::string file = sim.PathFor("empty.settings.txt");
  std::ofstream(file, std::ios::binary)
      << "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\ntype=\"HS4\"\r\n";
  const ToolOutcome run = RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() +
                                                    " --restore " + file + " --log /dev/null");
  EXPECT_NE(run.exit, 0) << run.output;
  EXPECT_NE(run.output.find("nothing was restored"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("Restored"), std::string::npos) << run.output;
}

TEST(SettingsCommand, NamesTheSettingsALoggerCouldNotGive) {
  // The rQ7 has no build text and no network modem settings.
  SimInstrument sim("rq7");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() + " --log /dev/null");
  EXPECT_EQ(run.exit, 1) << run.output;
  const size_t line = run.output.find("Some settings could not be read: ");
  ASSERT_NE(line, std::string::npos) << run.output;
  const std::string names = run.output.substr(line, run.output.find('\n', line) - line);
  EXPECT_NE(names.find("apn"), std::string::npos) << names;
  EXPECT_NE(names.find("build"), std::string::npos) << names;
  EXPECT_EQ(names.find("serial_number"), std::string::npos) << names;
}

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

// A FieldPal's settings file with `lines` after the type.
std::string FieldPalFile(const std::string& lines) {
  return "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\ntype=\"FP\"\r\n" + lines;
}

TEST(SettingsCommand, RestoresNothingWhenAValueWouldBeCut) {
  SimInstrument sim("fieldpal");
  const std::string state = sim.PathFor("state.json");
  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  ASSERT_EQ(sim.Stop(), 0);
  const nlohmann::json before = StoredSettings(sim);
  ASSERT_TRUE(before.is_object());
  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  const std::string file = sim.PathFor("cut.settings.txt");
  std::ofstream(file, std::ios::binary) << FieldPalFile(
      "name=\"SIXTEEN-CHARS-AB\"\r\ncontr=\"60\"\r\ncal00=\"" + std::string(1 << 20, '7') +
      "\"\r\nsn=\"FP-00" + std::string(1, '\0') + "42\"\r\nadc15=\"1.0 0.5\"\r\n");
  const ToolOutcome run = RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() +
                                                    " --restore " + file + " --log /dev/null");
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(run.exit, 1) << run.output.substr(0, 2000);
  for (const char* expected :
       {"name: 16 characters, only the first 8 would be written",
        "cal00: 1048576 characters, only the first 256 would be written",
        "sn: 8 characters with a NUL byte among them",
        "adc15: 7 characters, none of which would be written", "nothing was restored"}) {
    EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\n" << run.output;
  }
  EXPECT_EQ(run.output.find("contr:"), std::string::npos) << "held whole";
  EXPECT_EQ(run.output.find("Restored"), std::string::npos) << run.output;
  EXPECT_EQ(StoredSettings(sim), before) << "nothing was written";
}

struct FileCase {
  const char* name;
  const char* option;  // --save or --restore
  const char* path;    // in the simulator's folder; "-" a settings file of the wrong kind
  const char* told;
};

void PrintTo(const FileCase& file, std::ostream* out) {
  *out << file.name;
}

class SettingsFileProblem : public ::testing::TestWithParam<FileCase> {};

TEST_P(SettingsFileProblem, IsToldAsWhatHappenedToTheFile) {
  const FileCase& c = GetParam();
  SimInstrument sim("fieldpal");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  std::ofstream(sim.PathFor("notes.txt")) << "Calibrated on Monday.\n";
  std::filesystem::create_directory(sim.PathFor("folder"));
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() + " " + c.option + " " +
                                sim.PathFor(c.path) + " --log /dev/null");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_NE(run.output.find(c.told), std::string::npos) << run.output;
  for (const char* misleading : {"the answer could not be understood", "could not retrieve",
                                 "no permission to open the port"}) {
    EXPECT_EQ(run.output.find(misleading), std::string::npos) << run.output;
  }
}

INSTANTIATE_TEST_SUITE_P(
    EachProblem, SettingsFileProblem,
    ::testing::Values(
        FileCase{"restore_from_a_missing_file", "--restore", "gone.txt", "there is no file"},
        FileCase{"restore_from_a_folder", "--restore", "folder", "is a folder, not a file"},
        FileCase{"restore_from_notes", "--restore", "notes.txt",
                 "is not a settings file of a FieldPal"},
        FileCase{"save_into_a_missing_folder", "--save", "gone/kept.txt", "does not exist"},
        FileCase{"save_over_a_folder", "--save", "folder", "is a folder, not a file"}),
    [](const ::testing::TestParamInfo<FileCase>& param) { return param.param.name; });

TEST(SettingsCommand, SaysThatTheUpdaterKeepsNoFileForTheOldestQd4) {
  SimInstrument sim("qd4");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, "settings --port " + sim.LinkPath() + " --save " +
                                sim.PathFor("qd4.settings.txt") + " --log /dev/null");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_NE(run.output.find("keeps no settings file"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("no permission"), std::string::npos) << run.output;
}

}  // namespace
