// vexabsl update against the virtual FieldPal: the same run as the window's, its JSON report, its
// exit status and its refusal of a firmware file without a service switch; vexabsl update-sensor
// against a virtual sensor behind it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/app/update_fixture.h"
#include "tests/support/run_tool.h"

namespace {

std::string UpdateArguments(const SimInstrument& sim, const std::string& dataDir) {
  return "update --port '" + sim.LinkPath() + "' --data-dir '" + dataDir + "' --yes";
}

// The JSON object the tool printed on a line of its own.
nlohmann::json JsonLine(const std::string& output) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.front() == '{') return nlohmann::json::parse(line, nullptr, false);
  }
  return nullptr;
}

TEST_F(UpdateTest, TheUpdateCommandReportsASuccessfulRunAsJson) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const ToolOutcome run = RunTool(VEXABSL_PATH, UpdateArguments(sim, DataPath("")) + " --json");
  EXPECT_EQ(run.exit, 0) << run.output;
  const nlohmann::json report = JsonLine(run.output);
  ASSERT_TRUE(report.is_object()) << run.output;
  EXPECT_EQ(report["result"], 1);
  EXPECT_EQ(report["settings_saved"], true);
  EXPECT_EQ(report["settings_restored"], true);
  EXPECT_TRUE(report["settings_file_kept"].is_null());
  EXPECT_EQ(report["instrument"]["name"], "FieldPal");
  EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "2.00");
}

// --json-events: stdout is JSON lines only, the run's progress events and then the report.
TEST_F(UpdateTest, TheUpdateCommandStreamsItsProgressAsJsonLinesBeforeTheReport) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, UpdateArguments(sim, DataPath("")) + " --json-events", false);
  EXPECT_EQ(run.exit, 0) << run.output;
  std::vector<nlohmann::json> lines;
  std::istringstream out(run.output);
  for (std::string line; std::getline(out, line);) {
    lines.push_back(nlohmann::json::parse(line, nullptr, false));
    ASSERT_TRUE(lines.back().is_object()) << line;
  }
  ASSERT_GE(lines.size(), 2u) << run.output;
  EXPECT_EQ(lines.back()["result"], 1);
  EXPECT_EQ(lines.back()["settings_restored"], true);
  lines.pop_back();
  std::vector<ProgressEvent> events;
  for (const nlohmann::json& line : lines) {
    ASSERT_EQ(line.size(), 4u) << line;
    ProgressEvent event;
    while (PhaseKey(event.phase) != line["phase"] && event.phase != RunPhase::kFinished) {
      event.phase = static_cast<RunPhase>(static_cast<int>(event.phase) + 1);
    }
    ASSERT_EQ(PhaseKey(event.phase), line["phase"]) << line;
    event.percent = line["percent"];
    event.done = line["done"];
    event.total = line["total"];
    events.push_back(event);
  }
  ExpectCleanRunEvents(events, ImageBytes(loader_->image));
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "2.00");
}

TEST_F(UpdateTest, TheUpdateCommandPrintsTheResultOfAFailedRunAndExitsWithOne) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--battery", "9"})) << sim.Error();
  const ToolOutcome run = RunTool(VEXABSL_PATH, UpdateArguments(sim, DataPath("")));
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_NE(run.output.find("result: -130"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Batteries Too Low"), std::string::npos) << run.output;
}

TEST_F(UpdateTest, AFirmwareFileWithoutAServiceSwitchIsAUsageError) {
  const ToolOutcome run = RunTool(
      VEXABSL_PATH, "update --port /dev/null --data-dir '" + DataPath("") + "' --file fw.txt");
  EXPECT_EQ(run.exit, 64) << run.output;
  EXPECT_NE(run.output.find("--rep or --factory"), std::string::npos) << run.output;
}

struct MissingFolderRow {
  const char* what;
  std::string command;
  std::vector<std::string> sim;  // how the virtual FieldPal starts
  std::string errorFile;
  std::string version;  // where the simulator's statistics show the new firmware's version
  std::string newVersion;
};

void PrintTo(const MissingFolderRow& row, std::ostream* out) {
  *out << row.what;
}

class MissingDataFolderTest : public UpdateTest,
                              public ::testing::WithParamInterface<MissingFolderRow> {};

TEST_P(MissingDataFolderTest, AMissingDataFolderIsMadeWithItsParentsForTheOwnerOnly) {
  const MissingFolderRow& row = GetParam();
  SimInstrument sim;
  ASSERT_TRUE(sim.Start(row.sim)) << sim.Error();
  const std::filesystem::path folder = DataPath("new/folder");
  const ToolOutcome run = RunTool(VEXABSL_PATH, row.command + " --port '" + sim.LinkPath() +
                                                    "' --data-dir '" + folder.string() + "' --yes");
  EXPECT_EQ(run.exit, 0) << run.output;
  EXPECT_TRUE(std::filesystem::exists(folder / row.errorFile)) << run.output;
  for (const std::filesystem::path& made : {folder.parent_path(), folder}) {
    struct stat info;
    ASSERT_EQ(stat(made.c_str(), &info), 0) << made;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
  }
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()[nlohmann::json::json_pointer(row.version)], row.newVersion);
}

const MissingFolderRow kMissingFolderRows[] = {
    {"the FieldPal",
     "update",
     {},
     "FieldPal Firmware Updater.errors.txt",
     "/instrument/firmware_version",
     "2.00"},
    {"a sensor behind it",
     "update-sensor",
     {"--sensor", "123"},
     "AERIX 14 Sensor Firmware Updater.errors.txt",
     "/instrument/sensor/version",
     "400"},
};

INSTANTIATE_TEST_SUITE_P(Update, MissingDataFolderTest, ::testing::ValuesIn(kMissingFolderRows),
                         RowName());

TEST_F(UpdateTest, ADataFolderThatCannotBeMadeIsNamedAndTheInstrumentIsNotTouched) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  std::ofstream(DataPath("a-file")) << "not a folder";
  const ToolOutcome run =
      RunTool(VEXABSL_PATH, "update --port '" + sim.LinkPath() + "' --data-dir '" +
                                DataPath("a-file/data") + "' --yes");
  EXPECT_EQ(run.exit, 1) << run.output;
  EXPECT_NE(
      run.output.find("cannot make the folder " + DataPath("a-file/data") + ": Not a directory"),
      std::string::npos)
      << run.output;
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["answers"], 0) << "nothing was said to the instrument";
}

TEST_F(UpdateTest, FilesThatAreNotRegularFilesAreRefusedBeforeAnyIsOpened) {
  // Opening a FIFO that nobody writes would hang the tool beyond the reach of Ctrl-C.
  const std::string fifo = DataPath("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = DataPath("");
  for (const std::string& arguments :
       {"update --port /dev/null --rep --file '" + fifo + "'",
        "update --port /dev/null --log '" + fifo + "'", "image info --file '" + fifo + "'",
        "image dump --file '" + fifo + "' --out '" + folder + "x.txt'",
        "image dump --out '" + fifo + "'", "flash --port /dev/null --log '" + fifo + "'",
        std::string("update --port /dev/null --rep --file /dev/zero"),
        "identify --port /dev/null --log '" + fifo + "'",
        "settings --port /dev/null --restore '" + fifo + "'",
        "settings --port /dev/null --save '" + fifo + "'"}) {
    // A tool that did open the FIFO is killed, so the test fails rather than hangs.
    const ToolOutcome run =
        RunTool("timeout", std::string("-s KILL 60 '") + VEXABSL_PATH + "' " + arguments);
    EXPECT_EQ(run.exit, 64) << arguments << "\n" << run.output;
    EXPECT_NE(run.output.find("is not a regular file"), std::string::npos) << run.output;
  }
}

TEST_F(UpdateTest, ANewSerialNumberTheInstrumentCannotTakeIsAUsageError) {
  for (const std::string serial : {"FP14-00000000001", "FP 14", "FP14-\xc3\xa9", ""}) {
    for (const std::string command :
         {"update --port /dev/null", "settings --port /dev/null --restore x.txt"}) {
      const ToolOutcome run = RunTool(VEXABSL_PATH, command + " --new-sn '" + serial + "'");
      EXPECT_EQ(run.exit, 64) << command << " " << serial << "\n" << run.output;
      EXPECT_NE(run.output.find("a serial number is 1 to 15 printable characters"),
                std::string::npos)
          << run.output;
    }
  }
}

// Firmware files that cannot be written whole into a FieldPal are refused when they are opened:
// the instrument is never erased and keeps running its old firmware.
TEST_F(UpdateTest, AFirmwareFileThatDoesNotFitTheInstrumentIsRefusedBeforeAnythingIsErased) {
  struct Misfit {
    const char* what;
    std::string file;
    const char* told;
  };
  const std::string reset = "@FFFE\n00 24\n";
  const Misfit files[] = {
      {"below the flash", "@1800\n01 02\n" + reset + "q\n",
       "some of its code lies outside the flash memory the updater writes"},
      {"overlapping sections", "@2400\n01 02 03 04\n@2402\n05 06\n" + reset + "q\n",
       "two of its sections write the same memory"},
      {"vectors only", reset + "q\n", "holds no firmware code, only interrupt vectors"},
      {"no reset vector", "@2400\n01 02\n@FFE0\n00 24\nq\n", "sets no reset vector"},
  };
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const std::string path = DataPath("FP 2-10.txt");
  for (const Misfit& misfit : files) {
    SCOPED_TRACE(misfit.what);
    std::ofstream(path) << misfit.file;
    const ToolOutcome update =
        RunTool(VEXABSL_PATH, UpdateArguments(sim, DataPath("")) + " --rep --file '" + path + "'");
    EXPECT_EQ(update.exit, 1) << update.output;
    EXPECT_NE(update.output.find("File Error"), std::string::npos) << update.output;
    EXPECT_NE(update.output.find(misfit.told), std::string::npos) << update.output;

    const ToolOutcome flash =
        RunTool(VEXABSL_PATH, "flash --port '" + sim.LinkPath() + "' --file '" + path +
                                  "' --log '" + DataPath("flash.errors.txt") + "'");
    EXPECT_EQ(flash.exit, 1) << flash.output;
    EXPECT_NE(flash.output.find("loading " + path + " failed"), std::string::npos) << flash.output;
  }
  ASSERT_EQ(sim.Stop(), 0);
  const nlohmann::json instrument = sim.Stats()["instrument"];
  EXPECT_EQ(instrument["state"], "firmware");
  EXPECT_EQ(instrument["firmware_version"], "1.50");
  EXPECT_EQ(instrument["restarts"], 0);
}

struct SensorCommandRow {
  const char* what;
  std::string sensor;      // the type the sensor reports
  std::string typeOption;  // --sensor-type, or empty
  std::string type;        // the sensor's type at the end
};

void PrintTo(const SensorCommandRow& row, std::ostream* out) {
  *out << row.what;
}

class SensorCommandTest : public UpdateTest,
                          public ::testing::WithParamInterface<SensorCommandRow> {};

TEST_P(SensorCommandTest, UpdatesTheSensorKeepsItsCalibrationAndSetsTheType) {
  const SensorCommandRow& row = GetParam();
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--sensor", row.sensor, "--sensor-address", "4", "--sensor-sn", "KV-88",
                         "--sensor-x4", "0.5 1.5 2.5"}))
      << sim.Error();
  std::string arguments = "update-sensor --port '" + sim.LinkPath() + "' --data-dir '" +
                          DataPath("") + "' --yes --json";
  if (!row.typeOption.empty()) arguments += " --sensor-type " + row.typeOption;
  const ToolOutcome run = RunTool(VEXABSL_PATH, arguments);
  EXPECT_EQ(run.exit, 0) << run.output;
  const nlohmann::json report = JsonLine(run.output);
  ASSERT_TRUE(report.is_object()) << run.output;
  EXPECT_EQ(report["result"], 1);
  EXPECT_EQ(report["settings_restored"], true);
  EXPECT_EQ(report["instrument"]["type"], 10);
  EXPECT_NE(run.output.find("Restoring settings..."), std::string::npos) << run.output;
  ASSERT_EQ(sim.Stop(), 0);
  const nlohmann::json sensor = sim.Stats()["instrument"]["sensor"];
  EXPECT_EQ(sensor["version"], "400");
  EXPECT_EQ(sensor["address"], "4");
  EXPECT_EQ(sensor["serial"], "KV-88");
  EXPECT_EQ(sensor["x4"], "0.5 1.5 2.5");
  EXPECT_EQ(sensor["type"], row.type);
}

const SensorCommandRow kSensorCommandRows[] = {
    {"the AERIX 14 by default", "123", "", "123"},
    {"a KVL sensor as the KVL Family keeps its own type", "105", "262", "105"},
};

INSTANTIATE_TEST_SUITE_P(UpdateSensor, SensorCommandTest, ::testing::ValuesIn(kSensorCommandRows),
                         RowName());

TEST_F(UpdateTest, TheSensorCommandRefusesASensorTypeOutOfRange) {
  const ToolOutcome run = RunTool(VEXABSL_PATH, "update-sensor --port /dev/null --data-dir '" +
                                                    DataPath("") + "' --sensor-type 0");
  EXPECT_EQ(run.exit, 64) << run.output;
}

// Ctrl-C (or SIGTERM) once the loader has erased the information memory, while it erases the
// flash: the signals sent, 200 ms apart. The virtual FieldPal takes its real time where the
// signal must come before the loader is done.
struct InterruptRow {
  const char* what;
  std::string command;  // vexabsl's arguments before --port and --log; DATA: the data folder
  std::vector<std::string> sim;  // how the virtual FieldPal starts
  std::vector<int> signals;
  int exit;
  std::vector<std::string> told;  // what the output must hold
};

void PrintTo(const InterruptRow& row, std::ostream* out) {
  *out << row.what;
}

class InterruptTest : public UpdateTest, public ::testing::WithParamInterface<InterruptRow> {};

TEST_P(InterruptTest, EachCommandStopsOrGoesOnAsItSaysWhenInterruptedInTheErase) {
  const InterruptRow& row = GetParam();
  SimInstrument sim;
  ASSERT_TRUE(sim.Start(row.sim)) << sim.Error();
  const std::string log = DataPath("interrupted.errors.txt");
  const std::string output = DataPath("output.txt");
  std::string arguments = row.command;
  const size_t data = arguments.find("DATA");
  if (data != std::string::npos) arguments.replace(data, 4, "'" + DataPath("") + "'");
  const std::string command = "exec '" + std::string(VEXABSL_PATH) + "' " + arguments +
                              " --port '" + sim.LinkPath() + "' --log '" + log + "' >'" + output +
                              "' 2>&1";
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 900 && Contents(log).find("BSLEraseINFO successful") == std::string::npos;
       ++i) {
    usleep(100 * 1000);
  }
  for (const int signal : row.signals) {
    kill(pid, signal);
    usleep(200 * 1000);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  const std::string shown = Contents(output);
  ASSERT_TRUE(WIFEXITED(status)) << shown;
  EXPECT_EQ(WEXITSTATUS(status), row.exit) << shown;
  for (const std::string& text : row.told) EXPECT_NE(shown.find(text), std::string::npos) << shown;
  ASSERT_EQ(sim.Stop(), 0);
}

const InterruptRow kInterruptRows[] = {
    {"flash stops at the first Ctrl-C",
     "flash",
     {"--realtime"},
     {SIGINT},
     1,
     {"erasing the flash failed [Error -40]"}},
    {"flash stops at SIGTERM",
     "flash",
     {"--realtime"},
     {SIGTERM},
     1,
     {"erasing the flash failed [Error -40]"}},
    {"the update only warns at the first Ctrl-C",
     "update --yes --data-dir DATA",
     {},
     {SIGINT},
     0,
     {"(Press Ctrl-C again within 5 seconds to cancel.)", "Successfully updated firmware in "}},
    {"the update stops at a second Ctrl-C",
     "update --yes --data-dir DATA",
     {"--realtime"},
     {SIGINT, SIGINT},
     1,
     {"Cancelling at the next step the instrument allows...", "result: -40"}},
};

INSTANTIATE_TEST_SUITE_P(CtrlC, InterruptTest, ::testing::ValuesIn(kInterruptRows), RowName());

}  // namespace
