// One update run against the virtual FieldPal (and a Qd40 where another family is wanted): the
// clean update, every refusal before the flash is touched, the failures after the upload, an
// instrument found in its loader, and the Don't Erase Data option.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "app/update_journal.h"
#include "link/result.h"
#include "tests/app/update_fixture.h"
#include "tests/support/pty_device.h"
#include "tests/support/run_tool.h"

namespace {

const std::vector<std::string> kCleanStatuses = {
    "Connecting to FieldPal...",
    "Checking battery power...",
    "Saving settings for this FieldPal...",
    "Starting the firmware loader...",
    "Erasing firmware memory...",
    "Uploading new firmware code...",
    "Restarting the FieldPal, please wait...",
    "Checking new firmware...",
    "Restoring settings...",
    "Erasing old data...",
};

// The statuses of a run, without the success line at its end (checked on its own).
std::vector<std::string> WithoutSuccessLine(std::vector<std::string> statuses) {
  if (!statuses.empty() && statuses.back().rfind("Successfully updated firmware in ", 0) == 0) {
    statuses.pop_back();
  }
  return statuses;
}

std::vector<std::string> Without(std::vector<std::string> statuses, const std::string& status) {
  statuses.erase(std::remove(statuses.begin(), statuses.end(), status), statuses.end());
  return statuses;
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
  for (size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

TEST_F(UpdateTest, ACleanUpdateReplacesTheFirmwareAndGivesTheSettingsBack) {
  const nlohmann::json inUse = UntouchedSettings();
  SimInstrument sim;
  ASSERT_EQ(UpdateOn(sim), kResultOk);

  EXPECT_EQ(WithoutSuccessLine(ui_.statuses), kCleanStatuses);
  const std::string seconds = std::to_string(context_->seconds);
  EXPECT_EQ(ui_.statuses.back(), "Successfully updated firmware in " + seconds + " seconds.");
  EXPECT_TRUE(ui_.statusShown);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ui_.beeps, std::vector<BoxKind>{BoxKind::kInformation});
  ASSERT_FALSE(ui_.connectLabels.empty());
  EXPECT_EQ(ui_.connectLabels.front(), "Do NOT disconnect FieldPal until finished.");
  EXPECT_EQ(ui_.connectLabels.back(), "You may disconnect your FieldPal now.");

  // The bar never leaves 0..100, the upload carries it from 21 to about 90, the restart sets 92
  // and the end 100.
  ASSERT_FALSE(ui_.progress.empty());
  EXPECT_EQ(ui_.progress.back(), 100);
  EXPECT_EQ(*std::min_element(ui_.progress.begin(), ui_.progress.end()), 0);
  EXPECT_EQ(*std::max_element(ui_.progress.begin(), ui_.progress.end()), 100);
  // (The erase may carry the bar past 21; the upload starts again from there.)
  const auto restarted = std::find(ui_.progress.begin(), ui_.progress.end(), 92);
  ASSERT_NE(restarted, ui_.progress.end()) << ::testing::PrintToString(ui_.progress);
  const auto fromEnd = std::find(std::make_reverse_iterator(restarted), ui_.progress.rend(), 21);
  ASSERT_NE(fromEnd, ui_.progress.rend()) << ::testing::PrintToString(ui_.progress);
  const auto upload = std::prev(fromEnd.base());
  EXPECT_TRUE(std::is_sorted(upload, restarted + 1)) << ::testing::PrintToString(ui_.progress);
  EXPECT_GE(*(restarted - 1), 85);

  EXPECT_TRUE(Logged("Finished updating device in " + seconds + " seconds")) << ErrorFile();
  EXPECT_TRUE(context_->settingsSaved);
  EXPECT_TRUE(context_->settingsRestored);
  EXPECT_FALSE(context_->restoreIncomplete);
  EXPECT_EQ(context_->keptSettingsFile, "");
  EXPECT_EQ(DataFiles(), std::vector<std::string>{});  // no settings file, no journal

  EXPECT_EQ(FinalSettings(sim), inUse);
  const nlohmann::json stats = sim.Stats()["instrument"];
  EXPECT_EQ(stats["firmware_version"], "2.00");
  EXPECT_EQ(stats["data_erases"], 1);
  EXPECT_EQ(stats["flash_faults"], 0);
}

// The same run as the window's bar sees it, as events: each phase in turn, the loader's erase
// counted in segments and its write in the image's bytes, each up to its total.
TEST_F(UpdateTest, ACleanUpdateReportsEachPhaseInTurnAndTheLoaderCountsUpToItsTotals) {
  SimInstrument sim;
  ASSERT_EQ(UpdateOn(sim), kResultOk);
  ASSERT_EQ(ui_.events.size(), ui_.progress.size());
  ExpectCleanRunEvents(ui_.events, ImageBytes(loader_->image));
  ASSERT_EQ(sim.Stop(), 0);
}

// Runs that end before the flash is touched, and runs that pass a check and are then ended
// cheaply by an instrument without a working loader.
struct EarlyEnd {
  const char* what;
  const char* family;
  std::vector<std::string> arguments;
  bool factoryMode;
  std::deque<BoxAnswer> answers;
  int32_t result;
  std::vector<std::string> questions;
  std::vector<std::string> boxes;
  std::vector<std::string> statuses;
  std::string text;  // the last box's (or else the last question's) text; PORT is the port
};

const std::vector<std::string> kUpToTheLoader = {
    "Connecting to FieldPal...",
    "Checking battery power...",
    "Saving settings for this FieldPal...",
    "Starting the firmware loader...",
};
const std::vector<std::string> kConnecting = {"Connecting to FieldPal..."};
const std::vector<std::string> kBattery = {"Connecting to FieldPal...",
                                           "Checking battery power..."};

const EarlyEnd kEarlyEnds[] = {
    {"another family",
     "qd40",
     {},
     false,
     {},
     kErrWrongDevice,
     {},
     {"Wrong Device"},
     kConnecting,
     "The FieldPal Firmware Updater expected to find a FieldPal;\nhowever, it found a Qd40.\n\n"
     "This updater can not update a Qd40."},
    {"another family in factory mode, Cancel",
     "qd40",
     {},
     true,
     {BoxAnswer::kCancel},
     kErrWrongDevice,
     {"Wrong Device"},
     {},
     kConnecting,
     "The FieldPal Firmware Updater expected to find a FieldPal;\nhowever, it found a Qd40.\n\n"
     "This updater can not update a Qd40.\n\n[Factory Mode Override: Click OK to load FW anyway]"},
    {"another family in factory mode, OK goes on to the next check",
     "qd40",
     {},
     true,
     {BoxAnswer::kOk},
     kErrNotSupported,
     {"Wrong Device"},
     {"Wrong Hardware Revision"},
     kConnecting,
     "The hardware revision of the connected FieldPal is ''.\n\n"
     "This updater only works with FieldPal hardware revision 'C'."},
    {"newer firmware, Cancel",
     "fieldpal",
     {"--version", "2.01"},
     false,
     {BoxAnswer::kCancel},
     kErrCancelled,
     {"Newer Firmware"},
     {},
     kConnecting,
     "The firmware in your FieldPal\nis newer than the version in this updater.\n\n"
     "Are you sure you want to load older firmware."},
    {"hardware revision B",
     "fieldpal",
     {"--fault", "wrong-hver"},
     false,
     {},
     kErrNotSupported,
     {},
     {"Wrong Hardware Revision"},
     kConnecting,
     "The hardware revision of the connected FieldPal is 'B'.\n\n"
     "This updater only works with FieldPal hardware revision 'C'."},
    {"battery at 9 percent",
     "fieldpal",
     {"--battery", "9"},
     false,
     {},
     kErrBatteryLow,
     {},
     {"Batteries Too Low"},
     kBattery,
     "The battery power is too low!\n\nPlease replace the batteries before running this updater."},
    {"no working loader",
     "fieldpal",
     {"--fault", "no-loader"},
     false,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     kUpToTheLoader,
     "This FieldPal does not have a working firmware loader.\n\nPlease contact Norvane for help."},
    {"battery at 10 percent goes on",
     "fieldpal",
     {"--battery", "10", "--fault", "no-loader"},
     false,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     kUpToTheLoader,
     ""},
    {"the image's own version asks nothing",
     "fieldpal",
     {"--version", "2.00", "--fault", "no-loader"},
     false,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     kUpToTheLoader,
     ""},
    {"newer firmware, OK goes on",
     "fieldpal",
     {"--version", "2.01", "--fault", "no-loader"},
     false,
     {BoxAnswer::kOk},
     kErrNoLoader,
     {"Newer Firmware"},
     {"Firmware Loader Error"},
     kUpToTheLoader,
     ""},
    {"newer firmware in factory mode asks nothing",
     "fieldpal",
     {"--version", "2.01", "--fault", "no-loader"},
     true,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     kUpToTheLoader,
     ""},
};

void PrintTo(const EarlyEnd& row, std::ostream* out) {
  *out << row.what;
}

class EarlyEndTest : public UpdateTest, public ::testing::WithParamInterface<EarlyEnd> {};

TEST_P(EarlyEndTest, EndsWithOneBoxAndTheCodeAndLeavesTheWindowReadyForAnotherTry) {
  const EarlyEnd& row = GetParam();
  SimInstrument sim(row.family);
  ui_.options.factoryMode = row.factoryMode;
  ui_.options.serviceFlag = row.factoryMode;
  ui_.answers = row.answers;
  EXPECT_EQ(UpdateOn(sim, row.arguments), row.result);
  ASSERT_FALSE(ui_.progress.empty());
  ASSERT_FALSE(ui_.connectLabels.empty());

  EXPECT_EQ(ui_.QuestionCaptions(), row.questions);
  EXPECT_EQ(ui_.BoxCaptions(), row.boxes);
  for (const ShownBox& box : ui_.boxes) EXPECT_EQ(box.kind, BoxKind::kError) << box.caption;
  EXPECT_EQ(ui_.statuses, row.statuses);
  if (!row.text.empty()) {
    const std::string& shown =
        ui_.boxes.empty() ? ui_.questions.back().text : ui_.boxes.back().text;
    EXPECT_EQ(shown, Replaced(row.text, "PORT", sim.LinkPath()));
    if (!ui_.boxes.empty()) {
      EXPECT_TRUE(Logged(shown));  // what the user was told
    }
  }

  EXPECT_FALSE(ui_.statusShown);
  EXPECT_EQ(ui_.progress.back(), 0);
  EXPECT_EQ(ui_.connectLabels.back(), "Connect FieldPal to computer comm port.");
  EXPECT_TRUE(ui_.beeps.empty());
  EXPECT_FALSE(Logged("Finished updating device"));
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"].value("segments_erased", 0), 0);  // the flash untouched
}

INSTANTIATE_TEST_SUITE_P(Refusals, EarlyEndTest, ::testing::ValuesIn(kEarlyEnds), RowName());

TEST_F(UpdateTest, APortOnWhichNothingAnswersIsAConnectionError) {
  PtyDevice silent;  // neither a command line nor a loader answers
  context_->portName = context_->portDescription = silent.Path();
  EXPECT_EQ(RunUpdate(*context_), kErrNothingListening);

  ASSERT_EQ(ui_.BoxCaptions(), std::vector<std::string>{"Connection Error"});
  EXPECT_EQ(
      ui_.boxes[0].text,
      "The FieldPal Firmware Updater is unable to connect to your FieldPal\n on Comm Port \"" +
          silent.Path() + "\".\n\nPlease check your serial cable and Comm Port choice.");
  EXPECT_EQ(ui_.statuses, kConnecting);
  EXPECT_FALSE(ui_.statusShown);
  EXPECT_EQ(ui_.connectLabels.back(), "Connect FieldPal to computer comm port.");
}

TEST_F(UpdateTest, ANewSerialNumberTheFieldPalCannotTakeEndsTheRunBeforeItsFirstCommand) {
  ui_.options.replaceSerial = true;
  ui_.options.newSerial = "FP14-00000000001";  // one character too many
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  EXPECT_EQ(Run(sim), kErrBadArgument);
  ASSERT_EQ(ui_.BoxCaptions(), std::vector<std::string>{"Serial Number Error"});
  EXPECT_NE(ui_.boxes[0].text.find("\"FP14-00000000001\" can't be given to your FieldPal"),
            std::string::npos)
      << ui_.boxes[0].text;
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["answers"], 0);
}

// Runs that fail after the new firmware was uploaded.
struct LateFailure {
  const char* what;
  const char* fault;
  int32_t result;
  const char* caption;
  const char* text;
  const char* lastStatus;
  bool settingsBack;  // the restore ran, so no journal is left
};

const LateFailure kLateFailures[] = {
    {"CodeCorrupt", "code-corrupt", -1, "Firmware Error",
     "The new firmware for your FieldPal is corrupt!\n\nPlease try again or contact Norvane.",
     "Checking new firmware...", false},
    {"DataFlashFail", "dataflash-fail", kErrDataMemoryBroken, "Data Erase Error",
     "The FieldPal Firmware Updater was unable to erase the data in your FieldPalbecause the data "
     "storage chip is reporting errors.\n\nPlease contact Norvane for help.",
     "Erasing old data...", true},
};

void PrintTo(const LateFailure& row, std::ostream* out) {
  *out << row.what;
}

class LateFailureTest : public UpdateTest, public ::testing::WithParamInterface<LateFailure> {};

TEST_P(LateFailureTest, EndsTheRunAndLeavesTheSettingsFileForTheNextOne) {
  const LateFailure& row = GetParam();
  SimInstrument sim;
  EXPECT_EQ(UpdateOn(sim, {"--fault", row.fault}), row.result);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, row.caption);
  EXPECT_EQ(ui_.boxes[0].text, row.text);
  EXPECT_EQ(ui_.boxes[0].kind, BoxKind::kError);
  EXPECT_EQ(ui_.statuses.back(), row.lastStatus);
  EXPECT_FALSE(ui_.statusShown);
  EXPECT_EQ(ui_.progress.back(), 0);

  // Only a successful run deletes the settings file; until the settings are back, the journal
  // says whose they are.
  EXPECT_TRUE(std::filesystem::exists(SettingsFile()));
  UpdateJournal journal;
  EXPECT_EQ(ReadJournal(JournalFile(), &journal), !row.settingsBack);
  if (!row.settingsBack) {
    EXPECT_EQ(journal.phase, "erasing");
    EXPECT_EQ(journal.serial, "FP14-2291047");
    EXPECT_EQ(journal.name, "FP0042");
  }
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "2.00");
}

INSTANTIATE_TEST_SUITE_P(AfterTheUpload, LateFailureTest, ::testing::ValuesIn(kLateFailures),
                         RowName());

// The commands the updater wrote, in order, from a simulator's transcript, and how many answers
// the instrument had given before each.
struct HeardCommand {
  std::string bytes;
  int answersBefore;
};
std::vector<HeardCommand> HeardCommands(const std::string& transcript) {
  std::vector<HeardCommand> heard;
  std::ifstream in(transcript);
  int answers = 0;
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded()) continue;
    if (event["dir"] == "out") ++answers;
    if (event["dir"] == "in") heard.push_back({event["bytes"].get<std::string>(), answers});
  }
  return heard;
}

TEST_F(UpdateTest, AFieldPalThatStopsAnsweringInTheRestoreIsNotAskedForTheClockOrTheErase) {
  // Where the restore starts: the first setting written back after the restart.
  int restoreStarts = 0;
  {
    SimInstrument clean;
    ASSERT_TRUE(clean.Start({"--transcript", clean.PathFor("clean.jsonl")})) << clean.Error();
    const ToolOutcome run =
        RunTool(VEXABSL_PATH, "update --yes --port '" + clean.LinkPath() + "' --data-dir '" +
                                  clean.PathFor("data") + "'");
    ASSERT_EQ(run.exit, 0) << run.output;
    ASSERT_EQ(clean.Stop(), 0);
    bool restarted = false;
    for (const HeardCommand& command : HeardCommands(clean.PathFor("clean.jsonl"))) {
      if (command.bytes.rfind("post", 0) == 0) restarted = true;
      if (restarted && command.bytes.rfind("set ", 0) == 0) {
        restoreStarts = command.answersBefore;
        break;
      }
    }
    ASSERT_GT(restoreStarts, 0);
  }

  // The first setting goes back; then the line is dead.
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--transcript", sim.PathFor("run.jsonl"), "--fault",
                         "silent-after=" + std::to_string(restoreStarts + 1)}))
      << sim.Error();
  EXPECT_EQ(Run(sim), kErrNoAnswer);
  EXPECT_EQ(ui_.BoxCaptions(), (std::vector<std::string>{"Settings Error", "Data Erase Error"}));
  ASSERT_EQ(sim.Stop(), 0);
  // After the silence only the unanswered setting's own tries went out.
  std::vector<std::string> afterSilence;
  for (const HeardCommand& command : HeardCommands(sim.PathFor("run.jsonl"))) {
    if (command.answersBefore >= restoreStarts + 1) afterSilence.push_back(command.bytes);
  }
  ASSERT_FALSE(afterSilence.empty());
  for (const std::string& bytes : afterSilence) EXPECT_EQ(bytes, afterSilence.front());
}

const std::vector<std::string> kFromTheLoader = {
    "Connecting to FieldPal...",
    "Starting the firmware loader...",
    "Erasing firmware memory...",
    "Uploading new firmware code...",
    "Restarting the FieldPal, please wait...",
    "Checking new firmware...",
    "Restoring settings...",
    "Erasing old data...",
};

TEST_F(UpdateTest, AFieldPalLeftInItsLoaderGetsTheSettingsOfTheEarlierRunsFile) {
  const nlohmann::json earlier = SimSettings("FP0042", "FP14-2291047", 41,
                                             {"pH 4.01 7.00 10.01 slope 0.9912", "T offset 0.2"});
  Put(SettingsFile(), SettingsFileText(earlier, "41"));
  SimInstrument sim;
  ASSERT_EQ(UpdateOn(sim, {"--fault", "loader-waiting"}), kResultOk);

  EXPECT_EQ(WithoutSuccessLine(ui_.statuses), kFromTheLoader);  // no identity, battery or save
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_FALSE(context_->settingsSaved);
  EXPECT_TRUE(context_->settingsRestored);
  EXPECT_EQ(DataFiles(), std::vector<std::string>{});
  EXPECT_EQ(FinalSettings(sim), earlier);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "2.00");
}

TEST_F(UpdateTest, AFieldPalLeftInItsLoaderWithoutASettingsFileIsStillUpdated) {
  SimInstrument sim;
  ASSERT_EQ(UpdateOn(sim, {"--fault", "loader-waiting"}), kResultOk);

  EXPECT_EQ(WithoutSuccessLine(ui_.statuses), kFromTheLoader);
  ASSERT_EQ(ui_.BoxCaptions(), (std::vector<std::string>{"Settings Error", "Settings Error"}));
  EXPECT_EQ(ui_.boxes[0].text,
            "The FieldPal Firmware Updater couldn't find the settings file for your FieldPal.\n\n"
            "Please try again or contact Norvane for help.");
  EXPECT_EQ(ui_.boxes[1].text,
            "The FieldPal Firmware Updater failed to restore the settings for your FieldPal.\n\n"
            "Please try again.\n\n[Error -102]");
  EXPECT_FALSE(context_->settingsRestored);
  EXPECT_EQ(context_->keptSettingsFile, "");  // nothing to keep
  EXPECT_EQ(DataFiles(), std::vector<std::string>{});
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "2.00");
}

TEST_F(UpdateTest, DontEraseDataKeepsTheStoredMeasurements) {
  const nlohmann::json inUse = UntouchedSettings();
  SimInstrument sim;
  ui_.options.dontEraseData = true;
  ASSERT_EQ(UpdateOn(sim), kResultOk);

  EXPECT_EQ(WithoutSuccessLine(ui_.statuses), Without(kCleanStatuses, "Erasing old data..."));
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(FinalSettings(sim), inUse);
  const nlohmann::json stats = sim.Stats()["instrument"];
  EXPECT_EQ(stats["data_erases"], 0);
  EXPECT_EQ(stats["firmware_version"], "2.00");
}

}  // namespace
