// What a run does with the files an earlier run left: the journal of an update cut off between
// the erase and the end of its restore, and a settings file whose restore did not fully succeed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/update_journal.h"
#include "link/result.h"
#include "tests/app/update_fixture.h"
#include "tests/support/run_tool.h"

namespace {

constexpr const char* kSaveStatus = "Saving settings for this FieldPal...";

// The settings an earlier, cut-off run saved from its FieldPal.
const nlohmann::json& EarlierSettings() {
  static const nlohmann::json settings = SimSettings(
      "FP0042", "FP14-2291047", 41, {"pH 4.01 7.00 10.01 slope 0.9912", "T offset 0.2"});
  return settings;
}

class UnfinishedUpdateTest : public UpdateTest {
 protected:
  // The files a run cut off after its erase leaves in the data folder.
  void LeaveUnfinishedRun(const nlohmann::json& settings) {
    Put(SettingsFile(),
        SettingsFileText(settings, std::to_string(settings["contrast"].get<int>())));
    ASSERT_EQ(WriteJournal(JournalFile(), {"erasing", settings["serial"], settings["name"]}),
              kResultOk);
  }
};

TEST_F(UnfinishedUpdateTest, TheSameFieldPalWithNewFirmwareGetsItsSettingsWithoutBeingAsked) {
  LeaveUnfinishedRun(EarlierSettings());
  SimInstrument sim;
  // The new firmware runs with factory settings, the serial number already back.
  StartWithSettings(sim, "2.00", SimSettings("FieldPal", "FP14-2291047", 50));
  ASSERT_EQ(Run(sim), kResultOk);

  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_FALSE(ui_.SawStatus(kSaveStatus));  // the factory settings must not replace the file
  EXPECT_TRUE(context_->settingsRestored);
  EXPECT_EQ(DataFiles(), std::vector<std::string>{});
  EXPECT_EQ(FinalSettings(sim), EarlierSettings());
}

struct UnfinishedAnswer {
  const char* what;
  BoxAnswer answer;
  bool restoredFromFile;
};

void PrintTo(const UnfinishedAnswer& row, std::ostream* out) {
  *out << row.what;
}

class UnfinishedAnswerTest : public UnfinishedUpdateTest,
                             public ::testing::WithParamInterface<UnfinishedAnswer> {};

TEST_P(UnfinishedAnswerTest, AnotherSerialNumberAsksWhoseSettingsTheFileHolds) {
  const UnfinishedAnswer& row = GetParam();
  LeaveUnfinishedRun(EarlierSettings());
  const nlohmann::json own = SimSettings("FPX", "FP14-0000777", 60, {"EC 1413 cell 1.000"});
  SimInstrument sim;
  StartWithSettings(sim, "2.00", own);
  ui_.answers = {row.answer};
  ASSERT_EQ(Run(sim), kResultOk);

  ASSERT_EQ(ui_.QuestionCaptions(), std::vector<std::string>{"Unfinished Update"});
  EXPECT_NE(ui_.questions[0].text.find("\"FP14-2291047\""), std::string::npos)
      << ui_.questions[0].text;
  EXPECT_NE(ui_.questions[0].text.find("\"FP0042\""), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(JournalFile()));
  EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
  if (row.restoredFromFile) {
    EXPECT_FALSE(ui_.SawStatus(kSaveStatus));
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_EQ(DataFiles(), std::vector<std::string>{});
    EXPECT_EQ(FinalSettings(sim), EarlierSettings());
  } else {
    const std::string kept = DataPath("FieldPal.FP14-2291047.settings.txt");
    EXPECT_TRUE(ui_.SawStatus(kSaveStatus));
    ASSERT_EQ(ui_.BoxCaptions(), std::vector<std::string>{"Settings Kept"});
    EXPECT_EQ(ui_.boxes[0].kind, BoxKind::kInformation);
    EXPECT_NE(ui_.boxes[0].text.find(kept), std::string::npos) << ui_.boxes[0].text;
    EXPECT_EQ(context_->keptSettingsFile, kept);
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"FieldPal.FP14-2291047.settings.txt"});
    EXPECT_EQ(Contents(kept), SettingsFileText(EarlierSettings(), "41"));
    EXPECT_EQ(FinalSettings(sim), own);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UnfinishedAnswerTest,
    ::testing::Values(UnfinishedAnswer{"OkRestoresTheFile", BoxAnswer::kOk, true},
                      UnfinishedAnswer{"CancelKeepsTheFile", BoxAnswer::kCancel, false}),
    RowName());

struct KeptName {
  const char* what;
  std::vector<std::string> alreadyKept;
  std::string expected;
};

void PrintTo(const KeptName& row, std::ostream* out) {
  *out << row.what;
}

class KeptNameTest : public UnfinishedUpdateTest, public ::testing::WithParamInterface<KeptName> {};

TEST_P(KeptNameTest, AFieldPalWithOtherFirmwareKeepsTheFileAsAnotherInstrumentsAndIsUpdated) {
  const KeptName& row = GetParam();
  const nlohmann::json another = SimSettings("FP0777", "FP14-0000777", 44, {"T offset 0.1"});
  LeaveUnfinishedRun(another);
  for (const std::string& name : row.alreadyKept) Put(DataPath(name), "kept by an earlier run");
  const nlohmann::json inUse = UntouchedSettings();
  SimInstrument sim;
  ASSERT_EQ(UpdateOn(sim), kResultOk);  // the FieldPal runs 1.50

  EXPECT_TRUE(ui_.questions.empty());
  ASSERT_EQ(ui_.BoxCaptions(), std::vector<std::string>{"Settings Kept"});
  const std::string kept = DataPath(row.expected);
  EXPECT_NE(ui_.boxes[0].text.find(kept), std::string::npos) << ui_.boxes[0].text;
  EXPECT_NE(ui_.boxes[0].text.find("\"FP14-0000777\""), std::string::npos);
  EXPECT_EQ(Contents(kept), SettingsFileText(another, "44"));
  for (const std::string& name : row.alreadyKept) {
    EXPECT_EQ(Contents(DataPath(name)), "kept by an earlier run") << name;
  }
  std::vector<std::string> files = row.alreadyKept;
  files.push_back(row.expected);
  std::sort(files.begin(), files.end());
  EXPECT_EQ(DataFiles(), files);  // the journal and this run's settings file are gone

  EXPECT_TRUE(ui_.SawStatus(kSaveStatus));  // the run went on as usual
  EXPECT_TRUE(context_->settingsRestored);
  EXPECT_EQ(FinalSettings(sim), inUse);
}

INSTANTIATE_TEST_SUITE_P(
    Names, KeptNameTest,
    ::testing::Values(KeptName{"FirstOfItsSerial", {}, "FieldPal.FP14-0000777.settings.txt"},
                      KeptName{"NeverOverAnother",
                               {"FieldPal.FP14-0000777.settings.txt",
                                "FieldPal.FP14-0000777-2.settings.txt"},
                               "FieldPal.FP14-0000777-3.settings.txt"}),
    RowName());

TEST_F(UnfinishedUpdateTest, ARestoreThatFailsPartlyKeepsTheSettingsFile) {
  // A contrast the FieldPal refuses: every other item goes back.
  Put(SettingsFile(), SettingsFileText(EarlierSettings(), "300"));
  SimInstrument sim;
  ASSERT_EQ(UpdateOn(sim, {"--fault", "loader-waiting"}), kResultOk);

  ASSERT_EQ(ui_.BoxCaptions(), (std::vector<std::string>{"Settings Error", "Settings Kept"}));
  EXPECT_EQ(ui_.boxes[0].text,
            "The FieldPal Firmware Updater failed to restore some of the settings for your "
            "FieldPal.\n\nPlease check the settings after this updater is finished.");
  const std::string kept = DataPath("FieldPal.FP14-2291047.settings.txt");
  EXPECT_NE(ui_.boxes[1].text.find(kept), std::string::npos) << ui_.boxes[1].text;
  EXPECT_EQ(ui_.boxes[1].kind, BoxKind::kInformation);
  EXPECT_TRUE(context_->restoreIncomplete);
  EXPECT_FALSE(context_->settingsRestored);
  EXPECT_EQ(context_->keptSettingsFile, kept);
  EXPECT_EQ(DataFiles(), std::vector<std::string>{"FieldPal.FP14-2291047.settings.txt"});
  EXPECT_EQ(Contents(kept), SettingsFileText(EarlierSettings(), "300"));

  nlohmann::json expected = EarlierSettings();
  expected["contrast"] = 50;  // the factory value stays
  EXPECT_EQ(FinalSettings(sim), expected);
}

TEST_F(UnfinishedUpdateTest, TheUpdateCommandExitsWithTwoAndNamesTheKeptFileWhenARestoreFails) {
  Put(SettingsFile(), SettingsFileText(EarlierSettings(), "300"));
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--fault", "loader-waiting"})) << sim.Error();
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, "update --port '" + sim.LinkPath() + "' --data-dir '" + DataPath("") +
                                "' --yes --json");
  EXPECT_EQ(run.exit, 2) << run.output;
  const std::string kept = DataPath("FieldPal.FP14-2291047.settings.txt");
  EXPECT_NE(run.output.find("settings: not all restored; kept in " + kept), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\"settings_file_kept\":\"" + kept + "\""), std::string::npos)
      << run.output;
}

TEST_F(UnfinishedUpdateTest, TheUpdateCommandSaysWhenTheSettingsFileItNeedsIsNotThere) {
  // Found in its loader with no settings file beside: nothing can go back, and nothing is kept.
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--fault", "loader-waiting"})) << sim.Error();
  const ToolOutcome run = RunTool(VEXABSL_PATH, "update --port '" + sim.LinkPath() +
                                                    "' --data-dir '" + DataPath("") + "' --yes");
  EXPECT_EQ(run.exit, 2) << run.output;
  EXPECT_NE(run.output.find("settings: not restored: there is no file " +
                            DataPath("FieldPal.settings.txt")),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("kept in"), std::string::npos) << run.output;
}

}  // namespace
