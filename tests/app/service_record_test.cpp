// The service record: every vexabsl update against the virtual FieldPal leaves its line, a failed
// one with its code, a record that cannot be written leaves the update's result alone, and
// vexabsl history reads the record as CSV and JSON lines, filters it, and reads a damaged record
// around its damage.
#include "app/service_record.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "link/result.h"
#include "tests/app/update_fixture.h"
#include "tests/support/run_tool.h"

namespace {

class ServiceRecordTest : public UpdateTest {
 protected:
  std::string RecordFile() const { return DataPath("service-record.jsonl"); }
  std::string History(const std::string& options, bool withStderr = false) const {
    const ToolOutcome run =
        RunTool(VEXABSL_PATH, "history --data-dir '" + DataPath("") + "' " + options, withStderr);
    EXPECT_EQ(run.exit, 0) << run.output;
    return run.output;
  }
  // A whole update of `sim` by the command-line tool; its exit status.
  int Update(const SimInstrument& sim) const {
    const ToolOutcome run = RunTool(VEXABSL_PATH, "update --port '" + sim.LinkPath() +
                                                      "' --data-dir '" + DataPath("") + "' --yes");
    if (run.exit != 0) std::cout << run.output;
    return run.exit;
  }
  std::string RunErrorFile() const {
    return Contents(DataPath("FieldPal Firmware Updater.errors.txt"));
  }
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The CSV's rows as maps from the header's names (no field here holds a comma or a quote).
std::vector<std::map<std::string, std::string>> CsvRows(const std::string& text) {
  auto split = [](const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    return fields;
  };
  const std::vector<std::string> lines = Lines(text);
  std::vector<std::map<std::string, std::string>> rows;
  if (lines.empty()) return rows;
  const std::vector<std::string> header = split(lines[0]);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = split(lines[i]);
    EXPECT_EQ(fields.size(), header.size()) << lines[i];
    std::map<std::string, std::string> row;
    for (size_t f = 0; f < header.size() && f < fields.size(); ++f) row[header[f]] = fields[f];
    rows.push_back(row);
  }
  return rows;
}

TEST_F(ServiceRecordTest, AWholeUpdateIsRecordedAndHistoryListsItAsCsvAndAsJson) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  ASSERT_EQ(Update(sim), 0);
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "2.00");
  struct stat info;
  ASSERT_EQ(stat(RecordFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const auto rows = CsvRows(History("--csv"));
  ASSERT_EQ(rows.size(), 1u);
  const std::map<std::string, std::string>& row = rows[0];
  EXPECT_EQ(row.at("serial"), "FP14-2291047");
  EXPECT_EQ(row.at("instrument"), "FieldPal");
  EXPECT_EQ(row.at("type"), "14");
  EXPECT_EQ(row.at("firmware_before"), "1.50");
  EXPECT_EQ(row.at("firmware_after"), "2.00");
  EXPECT_EQ(row.at("image_version"), "2.00");
  EXPECT_EQ(row.at("port"), sim.LinkPath());
  EXPECT_EQ(row.at("settings_saved"), "true");
  EXPECT_EQ(row.at("settings_restored"), "true");
  EXPECT_EQ(row.at("result"), "1");
  EXPECT_EQ(row.at("meaning"), "success");
  EXPECT_GT(std::stod(row.at("seconds")), 0.0);

  const std::vector<std::string> json = Lines(History("--json"));
  ASSERT_EQ(json.size(), 1u);
  const nlohmann::json entry = nlohmann::json::parse(json[0], nullptr, false);
  ASSERT_TRUE(entry.is_object()) << json[0];
  EXPECT_EQ(entry["serial"], "FP14-2291047");
  EXPECT_EQ(entry["firmware_before"], "1.50");
  EXPECT_EQ(entry["firmware_after"], "2.00");
  EXPECT_EQ(entry["result"], 1);
  EXPECT_TRUE(entry["settings_file_kept"].is_null());
  EXPECT_EQ(entry["time"], row.at("time"));
  EXPECT_EQ(json[0] + "\n", Contents(RecordFile()));

  const std::string table = History("");
  EXPECT_NE(table.find("FP14-2291047"), std::string::npos) << table;
  EXPECT_NE(table.find("1.50 -> 2.00"), std::string::npos) << table;
}

TEST_F(ServiceRecordTest, AFailedUpdateIsRecordedWithItsCode) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start({"--fault", "low-battery"})) << sim.Error();
  ASSERT_EQ(Update(sim), 1);
  ASSERT_EQ(sim.Stop(), 0);
  const std::vector<std::string> json = Lines(History("--json"));
  ASSERT_EQ(json.size(), 1u);
  const nlohmann::json entry = nlohmann::json::parse(json[0], nullptr, false);
  ASSERT_TRUE(entry.is_object()) << json[0];
  EXPECT_EQ(entry["result"], kErrBatteryLow);
  EXPECT_EQ(entry["meaning"], ResultText(kErrBatteryLow));
  EXPECT_EQ(entry["firmware_before"], "1.50");
  EXPECT_TRUE(entry["firmware_after"].is_null());
  EXPECT_EQ(entry["settings_saved"], false);
}

// A record the data folder will not take (here a folder under its name) is logged, and the
// update ends as it would without it.
TEST_F(ServiceRecordTest, ARecordThatCannotBeWrittenLeavesTheUpdatesResultAlone) {
  std::filesystem::create_directories(RecordFile());
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  EXPECT_EQ(Update(sim), 0);
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "2.00");
  EXPECT_NE(RunErrorFile().find("Could not add the update to the service record"),
            std::string::npos)
      << RunErrorFile();
}

// Runs that end together append at once: every line must come out whole.
TEST_F(ServiceRecordTest, LinesAppendedAtOnceByManyWritersNeverMix) {
  constexpr int kWriters = 8;
  constexpr int kLinesEach = 40;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([this, w] {
      ServiceEntry entry;
      entry.time = "2026-05-04T09:30:12Z";
      entry.serial = "SN-" + std::to_string(w);
      entry.port = std::string(3000, static_cast<char>('a' + w));  // lines of some kilobytes
      for (int i = 0; i < kLinesEach; ++i) {
        entry.result = i;
        EXPECT_EQ(AppendServiceEntry(RecordFile(), entry), kResultOk);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  ServiceRecordRead read;
  ASSERT_EQ(ReadServiceRecord(RecordFile(), &read), kResultOk);
  EXPECT_TRUE(read.damage.empty()) << read.damage.front();
  ASSERT_EQ(read.lines.size(), static_cast<size_t>(kWriters * kLinesEach));
  std::map<std::string, int> perWriter;
  for (const ServiceRecordRead::Line& line : read.lines) {
    const ServiceEntry& entry = line.entry;
    EXPECT_EQ(entry.port, std::string(3000, entry.port.front()));
    EXPECT_EQ(entry.result, perWriter[entry.serial]++);  // each writer's lines in its order
  }
}

// A record line written by hand: an update of `serial` at `time`.
std::string RecordLine(const std::string& time, const std::string& serial) {
  ServiceEntry entry;
  entry.time = time;
  entry.serial = serial;
  entry.instrument = "FieldPal";
  entry.result = kResultOk;
  entry.meaning = ResultText(kResultOk);
  return ServiceRecordLine(entry);
}

struct FilterRow {
  const char* what;
  std::string options;
  std::vector<std::string> times;  // of the updates listed, in order
};

void PrintTo(const FilterRow& row, std::ostream* out) {
  *out << row.what;
}

class HistoryFilterTest : public ServiceRecordTest,
                          public ::testing::WithParamInterface<FilterRow> {};

TEST_P(HistoryFilterTest, ListsOnlyTheUpdatesAsked) {
  Put(RecordFile(),
      RecordLine("2026-03-31T23:59:59Z", "FP-1") + RecordLine("2026-04-01T00:00:00Z", "FP-2") +
          RecordLine("2026-04-02T08:00:00Z", "FP-1") + RecordLine("2026-05-01T08:00:00Z", "FP-10"));
  std::vector<std::string> times;
  for (const std::string& line : Lines(History("--json " + GetParam().options))) {
    times.push_back(nlohmann::json::parse(line, nullptr, false).value("time", ""));
  }
  EXPECT_EQ(times, GetParam().times);
}

const FilterRow kFilterRows[] = {
    {"all",
     "",
     {"2026-03-31T23:59:59Z", "2026-04-01T00:00:00Z", "2026-04-02T08:00:00Z",
      "2026-05-01T08:00:00Z"}},
    {"one serial number, exactly",
     "--serial FP-1",
     {"2026-03-31T23:59:59Z", "2026-04-02T08:00:00Z"}},
    {"since a day, that day included",
     "--since 2026-04-01",
     {"2026-04-01T00:00:00Z", "2026-04-02T08:00:00Z", "2026-05-01T08:00:00Z"}},
    {"both", "--since 2026-04-01 --serial FP-1", {"2026-04-02T08:00:00Z"}},
    {"nothing after the last", "--since 2026-05-02", {}},
};

INSTANTIATE_TEST_SUITE_P(History, HistoryFilterTest, ::testing::ValuesIn(kFilterRows), RowName());

struct DamageRow {
  const char* what;
  std::optional<std::string> record;  // none: no record at all
  std::vector<std::string> serials;   // of the updates listed, in order
  std::string warning;                // on stderr
};

void PrintTo(const DamageRow& row, std::ostream* out) {
  *out << row.what;
}

class DamagedRecordTest : public ServiceRecordTest,
                          public ::testing::WithParamInterface<DamageRow> {};

TEST_P(DamagedRecordTest, IsReadAroundTheDamageWithAWarningNamingTheLine) {
  const DamageRow& row = GetParam();
  if (row.record) Put(RecordFile(), *row.record);
  for (const char* format : {"--json", "--csv", ""}) {
    SCOPED_TRACE(format);
    const ToolOutcome run =
        RunTool(VEXABSL_PATH, "history --data-dir '" + DataPath("") + "' " + format);
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_NE(run.output.find(row.warning), std::string::npos) << run.output;
  }
  std::vector<std::string> serials;
  for (const std::string& line : Lines(History("--json"))) {
    serials.push_back(nlohmann::json::parse(line, nullptr, false).value("serial", ""));
  }
  EXPECT_EQ(serials, row.serials);
  if (!row.record) {
    EXPECT_EQ(History("--csv"), "");  // not even a header
  }
}

const std::string kLine1 = RecordLine("2026-04-01T08:00:00Z", "FP-1");
const std::string kLine2 = RecordLine("2026-04-02T08:00:00Z", "FP-2");

const DamageRow kDamageRows[] = {
    {"a cut off last line",
     kLine1 + kLine2 + kLine1.substr(0, 40),
     {"FP-1", "FP-2"},
     "line 3 is cut off"},
    {"a foreign line between two updates",
     kLine1 + "Norvane bench notes: batch 7\n" + kLine2,
     {"FP-1", "FP-2"},
     "line 2 is damaged"},
    {"a JSON value that is no object",
     kLine1 + "[1, 2]\n" + kLine2,
     {"FP-1", "FP-2"},
     "line 2 is not an update of the record"},
    {"a line cut off and then appended to",
     kLine1.substr(0, 40) + "\n" + kLine2,
     {"FP-2"},
     "line 1 is damaged"},
    {"an empty record", std::string(), {}, "is empty"},
    {"no record", std::nullopt, {}, "no service record in"},
};

INSTANTIATE_TEST_SUITE_P(History, DamagedRecordTest, ::testing::ValuesIn(kDamageRows), RowName());

// A line cut off by a full disk or a power cut gets its line end from the next run's append, so
// the next update stands on its own line.
TEST_F(ServiceRecordTest, TheLineAfterACutOffLineStandsOnItsOwn) {
  Put(RecordFile(), kLine1 + kLine2.substr(0, 30));
  ServiceEntry entry;
  entry.time = "2026-04-03T08:00:00Z";
  entry.serial = "FP-3";
  ASSERT_EQ(AppendServiceEntry(RecordFile(), entry), kResultOk);
  ServiceRecordRead read;
  ASSERT_EQ(ReadServiceRecord(RecordFile(), &read), kResultOk);
  ASSERT_EQ(read.lines.size(), 2u);
  EXPECT_EQ(read.lines[1].entry.serial, "FP-3");
  EXPECT_EQ(read.lines[1].number, 3);
  EXPECT_EQ(read.damage, std::vector<std::string>{"line 2 is damaged"});
}

}  // namespace
