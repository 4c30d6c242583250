// The digital-sensor updater's sequence against a virtual sensor behind a virtual FieldPal (or an
// AQUEL communication device): the clean update with the relay bytes on the wire, every branch
// of the reader check, the sensor checks and the loader, and runs cut off by a power cut and
// finished by the next run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/product.h"
#include "app/update_journal.h"
#include "link/result.h"
#include "loader/builtin_image.h"
#include "session/connection.h"
#include "session/save_restore.h"
#include "tests/app/update_fixture.h"

namespace {

// A sensor of `type` with settings of its own.
std::vector<std::string> SensorArguments(const std::string& type = "123") {
  return {"--sensor",  type,          "--sensor-address",    "3",           "--sensor-sn",
          "AX14-0007", "--sensor-x4", "2.25 0.125 -1.5 3.0", "--sensor-xa", "1 1.5 2.0 2.5 3.0"};
}
const std::vector<std::string> kSensorArguments = SensorArguments();

class SensorUpdateTest : public UpdateTest {
 protected:
  void SetUp() override {
    UpdateTest::SetUp();
    if (HasFatalFailure()) return;
    context_.reset();
    loader_ = std::make_unique<VexaBSLHost>(log_.get(), CatalogueTypeOfKey, &kSensorImage);
    ASSERT_EQ(loader_->image.status, 0);
    context_ = std::make_unique<UpdateContext>(log_.get(), session_.get(), loader_.get(), &ui_,
                                               kSensorProduct);
    context_->dataFolder = DataPath("");
    context_->dataFolder.pop_back();
  }

  // Starts the reader with its sensor (the arguments after the sensor's own) and runs one update.
  int32_t SensorUpdateOn(SimInstrument& sim, const std::vector<std::string>& extra = {},
                         const std::string& type = "123") {
    std::vector<std::string> all = SensorArguments(type);
    all.insert(all.end(), extra.begin(), extra.end());
    if (!sim.Start(all)) {
      ADD_FAILURE() << sim.Error();
      return 0;
    }
    return Run(sim);
  }

  // The sensor as the simulator left it.
  static nlohmann::json FinalSensor(SimInstrument& sim) {
    EXPECT_EQ(sim.Stop(), 0);
    return sim.Stats()["instrument"]["sensor"];
  }

  // The sensor's settings a run must give back (the type aside, which the run sets).
  static void ExpectOriginalSettings(const nlohmann::json& sensor) {
    EXPECT_EQ(sensor["address"], "3");
    EXPECT_EQ(sensor["serial"], "AX14-0007");
    EXPECT_EQ(sensor["x4"], "2.25 0.125 -1.5 3.0");
    EXPECT_EQ(sensor["version"], "400");
  }

  std::string SensorSettingsFile() const { return DataPath("AERIX 14 Sensor.settings.txt"); }
};

// The relay bytes the computer sent, in order, from the simulator's transcript.
std::string RelayBytes(const std::string& transcript) {
  std::ifstream in(transcript);
  std::string line, relayed;
  while (std::getline(in, line)) {
    const nlohmann::json burst = nlohmann::json::parse(line, nullptr, false);
    if (burst.is_discarded() || burst["dir"] != "in") continue;
    for (char c : burst["bytes"].get<std::string>()) {
      if (c == '[' || c == ']' || c == '`') relayed += c;
    }
  }
  return relayed;
}

TEST_F(SensorUpdateTest, ACleanUpdateKeepsTheCalibrationAddressAndSerialAndSetsTheChosenType) {
  SimInstrument sim;
  ASSERT_EQ(SensorUpdateOn(sim, {"--transcript", sim.PathFor("wire.jsonl")}, "125"), kResultOk);
  EXPECT_EQ(context_->caption, "AERIX 14 Sensor Firmware Updater");
  // The sensor claimed another type: asked, and OK loads the chosen one's firmware.
  EXPECT_EQ(ui_.QuestionCaptions(), std::vector<std::string>{"Wrong Sensor Type"});
  EXPECT_EQ(ui_.questions[0].text,
            "The attached sensor is claiming to be a \"HV-TM Sensor\"\n\n"
            "This firmware updater is for a \"AERIX 14 Sensor\".\n\n"
            "Are you sure you want to load the firmware for a AERIX 14 Sensor?\n");
  EXPECT_TRUE(ui_.boxes.empty());
  const std::vector<std::string> statuses(ui_.statuses.begin(), ui_.statuses.end() - 1);
  EXPECT_EQ(statuses, (std::vector<std::string>{
                          "Connecting to AERIX 14 Sensor...",
                          "Checking FieldPal battery power...",
                          "Saving settings for this digital sensor...",
                          "Starting the firmware loader...",
                          "Erasing firmware memory...",
                          "Uploading new firmware code...",
                          "Restarting the AERIX 14 Sensor, please wait...",
                          "Checking new firmware...",
                          "Restoring settings...",
                      }));
  ASSERT_FALSE(ui_.progress.empty());
  EXPECT_EQ(ui_.progress.back(), 100);
  const auto restarted = std::find(ui_.progress.begin(), ui_.progress.end(), 92);
  ASSERT_NE(restarted, ui_.progress.end()) << ::testing::PrintToString(ui_.progress);
  EXPECT_GE(*(restarted - 1), 85);  // the upload carries the bar as the FieldPal's does
  EXPECT_TRUE(context_->settingsSaved);
  EXPECT_TRUE(context_->settingsRestored);
  EXPECT_EQ(DataFiles(), std::vector<std::string>{});

  // "]" after the loader client took the port, "[" before the save, "]" into the sensor's loader
  // (its start), "[" after the new firmware started, "`" at the end.
  EXPECT_EQ(RelayBytes(sim.PathFor("wire.jsonl")), "][][`");
  const nlohmann::json sensor = FinalSensor(sim);
  ExpectOriginalSettings(sensor);
  EXPECT_EQ(sensor["type"], "123");
  EXPECT_EQ(sensor["uploads"], 1);
  EXPECT_EQ(sensor["loader"]["flash_faults"], 0);
}

TEST_F(SensorUpdateTest, TheOffsetTypeGetsItsOffsetCalibrationBack) {
  SimInstrument sim;
  context_->sensorType = ']';  // a letter type is chosen by its character code
  ASSERT_EQ(SensorUpdateOn(sim, {"--sensor-xo", "0.75 -0.25"}, "]"), kResultOk);
  EXPECT_TRUE(ui_.questions.empty());
  // Its type cannot be set through the reader ("]" is the relay's own byte): reported, not fatal.
  EXPECT_EQ(ui_.BoxCaptions(), std::vector<std::string>{"Settings Error"});
  const nlohmann::json sensor = FinalSensor(sim);
  ExpectOriginalSettings(sensor);
  EXPECT_EQ(sensor["xa"], "1 1.5 2.0 2.5 3.0");
  EXPECT_EQ(sensor["xo"], "0.75 -0.25");
}

struct SensorBranch {
  const char* what;
  std::vector<std::string> arguments;
  const char* sensor;  // the type the sensor reports
  uint32_t chosenType;
  bool factoryMode;
  std::deque<BoxAnswer> answers;
  int32_t result;
  std::vector<std::string> questions;
  std::vector<std::string> boxes;
  std::string text;  // the last box's text, when it is checked
};

const SensorBranch kBranches[] = {
    {"reader version 1.22",
     {"--version", "1.22"},
     "123",
     123,
     false,
     {},
     kErrNotSupported,
     {},
     {"Wrong Device Version"},
     "Your FieldPal version 1.22 with hardware revision 'C' doesn't\nsupport bootstrapping "
     "digital sensors.\n\nPlease use a supported FieldPal (or AQUEL Comm Device)"},
    {"reader hardware revision A",
     {"--hver", "A"},
     "123",
     123,
     false,
     {},
     kErrNotSupported,
     {},
     {"Wrong Device Version"},
     "Your FieldPal version 1.50 with hardware revision 'A' doesn't\nsupport bootstrapping "
     "digital sensors.\n\nPlease use a supported FieldPal (or AQUEL Comm Device)"},
    {"reader 1.23 revision B is accepted",
     {"--version", "1.23", "--hver", "B", "--fault", "sensor-no-bsl"},
     "123",
     123,
     false,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     "This digital sensor does not have a working firmware loader..\n\n"
     "Please contact Norvane for help."},
    {"another device",
     {"--type-word", "QD40"},
     "123",
     123,
     false,
     {},
     kErrWrongDevice,
     {},
     {"Wrong Device"},
     "The AERIX 14 Sensor Firmware Updater expected to find a FieldPal (or AQUEL Comm "
     "Device);\nhowever, it found a Qd40.\n\nThis updater can not work with a Qd40."},
    {"the AQUEL communication device is accepted",
     {"--type-word", "AQD", "--hver", "A", "--fault", "sensor-no-bsl"},
     "123",
     123,
     false,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     ""},
    {"battery at 9 percent",
     {"--battery", "9"},
     "123",
     123,
     false,
     {},
     kErrBatteryLow,
     {},
     {"Batteries Too Low"},
     "The battery power in the FieldPal is too low!\n\n"
     "Please replace the batteries before running this updater."},
    {"battery at 10 percent goes on",
     {"--battery", "10", "--fault", "sensor-no-bsl"},
     "123",
     123,
     false,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     ""},
    {"a KVL sensor with KVL Family chosen asks nothing",
     {"--fault", "sensor-no-bsl"},
     "105",
     262,
     false,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     ""},
    {"an HR4 sensor with KVL Family chosen asks, Cancel",
     {},
     "119",
     262,
     false,
     {BoxAnswer::kCancel},
     kErrCancelled,
     {"Wrong Sensor Type"},
     {},
     ""},
    {"newer sensor firmware, Cancel",
     {"--sensor-version", "410"},
     "123",
     123,
     false,
     {BoxAnswer::kCancel},
     kErrCancelled,
     {"Newer Firmware"},
     {},
     ""},
    {"newer sensor firmware is asked also in factory mode",
     {"--sensor-version", "410"},
     "123",
     123,
     true,
     {BoxAnswer::kCancel},
     kErrCancelled,
     {"Newer Firmware"},
     {},
     ""},
    {"no working loader",
     {"--fault", "sensor-no-bsl"},
     "123",
     123,
     false,
     {},
     kErrNoLoader,
     {},
     {"Firmware Loader Error"},
     "This digital sensor does not have a working firmware loader..\n\n"
     "Please contact Norvane for help."},
    {"corrupt new firmware",
     {"--fault", "sensor-corrupt"},
     "123",
     123,
     false,
     {},
     kErrFirmwareCorrupt,
     {},
     {"Firmware Error"},
     "The new firmware for your AERIX 14 Sensor is corrupt!\n\n"
     "Please try again or contact Norvane."},
};

void PrintTo(const SensorBranch& row, std::ostream* out) {
  *out << row.what;
}

class SensorBranchTest : public SensorUpdateTest,
                         public ::testing::WithParamInterface<SensorBranch> {};

TEST_P(SensorBranchTest, EndsWithItsBoxAndCodeAndTheReaderBackAtItsCommandLine) {
  const SensorBranch& row = GetParam();
  context_->sensorType = row.chosenType;
  ui_.options.factoryMode = ui_.options.serviceFlag = row.factoryMode;
  ui_.answers = row.answers;
  SimInstrument sim;
  const std::string wire = sim.PathFor("wire.jsonl");
  std::vector<std::string> arguments = row.arguments;
  arguments.insert(arguments.end(), {"--transcript", wire});
  EXPECT_EQ(SensorUpdateOn(sim, arguments, row.sensor), row.result);
  EXPECT_EQ(ui_.QuestionCaptions(), row.questions);
  EXPECT_EQ(ui_.BoxCaptions(), row.boxes);
  if (!row.text.empty()) {
    ASSERT_FALSE(ui_.boxes.empty());
    EXPECT_EQ(ui_.boxes.back().text, row.text);
  }
  EXPECT_FALSE(ui_.statusShown);
  EXPECT_EQ(ui_.progress.back(), 0);
  EXPECT_EQ(ui_.connectLabels.back(), "Connect AERIX 14 Sensor to computer comm port.");
  EXPECT_EQ(loader_->port.handle, kNoHandle);  // the borrowed port went back to the reader
  EXPECT_EQ(sim.Stop(), 0);
  // Once the relay was started, the cleanup's "`" ended it.
  const std::string relayed = RelayBytes(wire);
  if (!relayed.empty()) {
    EXPECT_EQ(relayed.back(), '`') << relayed;
  }
}

INSTANTIATE_TEST_SUITE_P(Branches, SensorBranchTest, ::testing::ValuesIn(kBranches), RowName());

struct InLoaderRow {
  const char* what;
  std::string type;  // the sensor's own
  std::vector<std::string> arguments;
  uint32_t chosenType;
  std::vector<std::string> boxes;
};

void PrintTo(const InLoaderRow& row, std::ostream* out) {
  *out << row.what;
}

class SensorInLoaderTest : public SensorUpdateTest,
                           public ::testing::WithParamInterface<InLoaderRow> {};

TEST_P(SensorInLoaderTest, IsProgrammedAtOnceAndGetsTheEarlierFileBack) {
  const InLoaderRow& row = GetParam();
  context_->sensorType = row.chosenType;
  SimInstrument sim;
  // An earlier run saved the sensor and started its loader, and then ended: the sensor waits in
  // its loader, and the settings file is the only copy of its settings.
  std::vector<std::string> arguments = SensorArguments(row.type);
  arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
  ASSERT_TRUE(sim.Start(arguments)) << sim.Error();
  context_->portName = context_->portDescription = sim.LinkPath();
  ASSERT_EQ(DPConnect(session_.get(), sim.LinkPath().c_str(), 2, 3, &context_->descriptor), 1);
  session_->type = kDigitalSensorType;
  uint32_t written = 0;
  DSWrite(&session_->device.port, "[", 1, &written);
  ASSERT_EQ(DPSaveInfo(session_.get(), SensorSettingsFile().c_str()), 1);
  ASSERT_EQ(SDIInvokeVexaBSL(&session_->sensor), 1);
  DSWrite(&session_->device.port, "`", 1, &written);
  DPLogout(session_.get(), false);
  // Nothing of the earlier run stays in memory (the run clears the sensor object): the next run
  // has only the file, type and offset calibration included.
  ASSERT_EQ(RunUpdate(*context_), kResultOk);
  EXPECT_FALSE(ui_.SawStatus("Saving settings for this digital sensor..."));
  EXPECT_FALSE(ui_.SawStatus("Starting the firmware loader..."));
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(ui_.BoxCaptions(), row.boxes);
  EXPECT_TRUE(context_->settingsRestored);
  EXPECT_EQ(DataFiles(), std::vector<std::string>{});
  const nlohmann::json sensor = FinalSensor(sim);
  ExpectOriginalSettings(sensor);
  EXPECT_EQ(sensor["uploads"], 1);
  EXPECT_EQ(sensor["type"], row.type);
  if (row.type == "]") {
    // The offset type's secondary and offset calibrations come back from the file too.
    EXPECT_EQ(sensor["xa"], "1 1.5 2.0 2.5 3.0");
    EXPECT_EQ(sensor["xo"], "0.75 -0.25");
  }
}

const InLoaderRow kInLoaderRows[] = {
    {"the AERIX 14", "123", {}, 123, {}},
    // "?X9 ]!" cannot pass the reader: "]" is its own relay byte. The type stays as the new
    // firmware has it, and the run says so (step 15's box) and ends well.
    {"the offset type with its offset calibration",
     "]",
     {"--sensor-xo", "0.75 -0.25"},
     ']',
     {"Settings Error"}},
};

INSTANTIATE_TEST_SUITE_P(FoundInItsLoader, SensorInLoaderTest, ::testing::ValuesIn(kInLoaderRows),
                         RowName());

TEST_F(SensorUpdateTest, ARestoreThatFailsKeepsTheSettingsFileAndTheRunStillSucceeds) {
  SimInstrument sim;
  // A sensor left in its loader, and a settings file that holds no sensor's settings: the run
  // programs the sensor and its restore from that file fails.
  Put(SensorSettingsFile(), "type=\"FP\"\r\n");
  ASSERT_TRUE(sim.Start(kSensorArguments)) << sim.Error();
  context_->portName = context_->portDescription = sim.LinkPath();
  ASSERT_EQ(DPConnect(session_.get(), sim.LinkPath().c_str(), 2, 3, &context_->descriptor), 1);
  session_->type = kDigitalSensorType;
  uint32_t written = 0;
  DSWrite(&session_->device.port, "[", 1, &written);
  ASSERT_EQ(SDIInvokeVexaBSL(&session_->sensor), 1);
  DSWrite(&session_->device.port, "`", 1, &written);
  DPLogout(session_.get(), false);

  ASSERT_EQ(RunUpdate(*context_), kResultOk);
  EXPECT_EQ(ui_.BoxCaptions(), (std::vector<std::string>{"Settings Error", "Settings Kept"}));
  EXPECT_TRUE(context_->restoreIncomplete);
  EXPECT_NE(context_->keptSettingsFile, "");
  EXPECT_TRUE(std::filesystem::exists(context_->keptSettingsFile));
  // The type is set all the same, in the form (digits) the new firmware reports it.
  EXPECT_EQ(FinalSensor(sim)["type"], "123");
}

// A power cut of the reader (and its sensor) right after the N-th answer of a clean update, at a
// spread of points over the run; the power comes back within the simulator's run, and the next
// update must end with the new firmware and the sensor's own settings.
class SensorPowerCutTest : public SensorUpdateTest, public ::testing::WithParamInterface<double> {
 protected:
  // The answers a clean update takes.
  static int CleanAnswers() {
    static int answers = 0;
    if (answers == 0) {
      SimInstrument sim;
      EXPECT_TRUE(sim.Start(kSensorArguments)) << sim.Error();
      RecordingFrontEnd ui;
      VexaLog log(nullptr, 0);
      SessionContext session(&log);
      VexaBSLHost loader(&log, CatalogueTypeOfKey, &kSensorImage);
      UpdateContext context(&log, &session, &loader, &ui, kSensorProduct);
      const std::filesystem::path folder = scratch::MakeFolder("vexa_sensor_count");
      context.dataFolder = folder.string();
      context.portName = context.portDescription = sim.LinkPath();
      EXPECT_EQ(RunUpdate(context), kResultOk);
      EXPECT_EQ(sim.Stop(), 0);
      answers = sim.Stats()["answers"].get<int>();
      std::filesystem::remove_all(folder);
    }
    return answers;
  }
};

TEST_P(SensorPowerCutTest, TheNextRunFinishesTheUpdateWithTheCalibrationKept) {
  const int total = CleanAnswers();
  ASSERT_GT(total, 10);
  const int cut = std::max(1, static_cast<int>(GetParam() * total));
  SimInstrument sim;
  std::vector<std::string> arguments = kSensorArguments;
  arguments.insert(arguments.end(),
                   {"--fault", "power-cut-after=" + std::to_string(cut), "--power-off-ms", "300"});
  ASSERT_TRUE(sim.Start(arguments)) << sim.Error();
  context_->portName = context_->portDescription = sim.LinkPath();
  const int32_t first = RunUpdate(*context_);
  SCOPED_TRACE("cut after answer " + std::to_string(cut) + " of " + std::to_string(total) +
               ", first run " + std::to_string(first));
  PumpingWait(400);  // the power is back
  // A cut in the restore can let the first run end (a restore failure does not stop it): then
  // its settings file is kept under a name of its own, and nothing is lost either.
  const std::string kept = context_->keptSettingsFile;
  ui_.boxes.clear();
  const int32_t second = RunUpdate(*context_);
  EXPECT_EQ(second, kResultOk);
  EXPECT_EQ(ui_.BoxCaptions(), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(JournalPath(*context_)));
  const nlohmann::json sensor = FinalSensor(sim);
  if (first == kResultOk && !kept.empty()) {
    const std::string file = Contents(kept);
    EXPECT_NE(file.find("calibration=\"2.25 0.125 -1.5 3.0\""), std::string::npos) << file;
    EXPECT_NE(file.find("sn=\"AX14-0007\""), std::string::npos) << file;
    return;
  }
  ExpectOriginalSettings(sensor);
  EXPECT_EQ(sensor["type"], "123");
  EXPECT_EQ(sensor["in_loader"], false);
}

// In the save, in the erase, in the upload, right after the vectors and in the restore (the wide
// sweep is bench/sensor_power_cut_sweep.py).
INSTANTIATE_TEST_SUITE_P(Spread, SensorPowerCutTest,
                         ::testing::Values(0.04, 0.12, 0.5, 0.97, 0.985));

}  // namespace
