// vexabsl history: the service record of the updates run on this computer (service_record.h), one
// update a line: a table to read, CSV with a header for a spreadsheet (--csv), or the record's
// own JSON lines (--json). --since and --serial pick the updates of a period or an instrument.
// A damaged record is read around its damage, each damaged line named on stderr.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/service_record.h"
#include "cli/commands.h"
#include "link/result.h"

namespace {

enum class HistoryFormat { kTable, kCsv, kJson };

struct HistoryOptions {
  std::string dataDir;
  std::string since;  // YYYY-MM-DD, a day in UTC as the record's times are
  std::string serial;
  bool csv = false;
  bool json = false;
};

// --since: a date that exists, written YYYY-MM-DD.
const CLI::Validator& DateOption() {
  static const CLI::Validator check(
      [](const std::string& text) {
        const std::string wrong = "a date is written YYYY-MM-DD, as 2026-05-04";
        if (text.size() != 10 || text[4] != '-' || text[7] != '-') return wrong;
        for (const size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
          if (text[i] < '0' || text[i] > '9') return wrong;
        }
        const std::chrono::year_month_day day{std::chrono::year(std::stoi(text.substr(0, 4))),
                                              std::chrono::month(std::stoul(text.substr(5, 2))),
                                              std::chrono::day(std::stoul(text.substr(8, 2)))};
        return day.ok() ? std::string() : text + " is no date";
      },
      "DATE");
  return check;
}

bool Selected(const ServiceEntry& entry, const HistoryOptions& options) {
  // The times are ISO 8601 in UTC, so their first ten characters compare as dates.
  if (!options.since.empty() && entry.time.substr(0, 10) < options.since) return false;
  return options.serial.empty() || entry.serial == options.serial;
}

std::string FileName(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

// What became of the instrument's settings, in a few words.
std::string SettingsWords(const ServiceEntry& e) {
  if (!e.keptSettingsFile.empty()) return "kept as " + FileName(e.keptSettingsFile);
  if (e.settingsRestored) return "restored";
  return e.settingsSaved ? "saved, not restored" : "not saved";
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

// The instrument's texts come from its own settings: control characters would move the
// terminal's cursor, so the table shows them as '?'.
std::string Printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7f') c = '?';
  }
  return shown;
}

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : Printable(text);
}

using Selection = std::vector<const ServiceRecordRead::Line*>;

void PrintTable(const Selection& lines) {
  std::vector<std::vector<std::string>> rows = {
      {"TIME (UTC)", "INSTRUMENT", "SERIAL", "FIRMWARE", "SETTINGS", "RESULT", "SECONDS", "PORT"}};
  for (const ServiceRecordRead::Line* line : lines) {
    const ServiceEntry* e = &line->entry;
    std::string time = e->time;
    if (time.size() == 20) time = time.substr(0, 10) + " " + time.substr(11, 8);
    rows.push_back({OrDash(time), OrDash(e->instrument), OrDash(e->serial),
                    OrDash(e->firmwareBefore) + " -> " + OrDash(e->firmwareAfter),
                    Printable(SettingsWords(*e)),
                    std::to_string(e->result) + " " + Printable(e->meaning), Seconds(e->seconds),
                    OrDash(e->port)});
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::printf("%s\n", line.c_str());
  }
}

// A field quoted when it holds a separator, a quote or a line end, its quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

void PrintCsv(const Selection& lines) {
  std::printf(
      "time,program,program_version,image_version,port,type,instrument,name,serial,"
      "firmware_before,firmware_after,settings_saved,settings_restored,settings_file_kept,"
      "result,meaning,seconds\n");
  const auto flag = [](bool value) { return std::string(value ? "true" : "false"); };
  for (const ServiceRecordRead::Line* line : lines) {
    const ServiceEntry* e = &line->entry;
    const std::vector<std::string> fields = {e->time,
                                             e->program,
                                             e->programVersion,
                                             e->imageVersion,
                                             e->port,
                                             std::to_string(e->type),
                                             e->instrument,
                                             e->name,
                                             e->serial,
                                             e->firmwareBefore,
                                             e->firmwareAfter,
                                             flag(e->settingsSaved),
                                             flag(e->settingsRestored),
                                             e->keptSettingsFile,
                                             std::to_string(e->result),
                                             e->meaning,
                                             Seconds(e->seconds)};
    std::string text;
    for (const std::string& field : fields) text += (text.empty() ? "" : ",") + CsvField(field);
    std::printf("%s\n", text.c_str());
  }
}

int RunHistory(const HistoryOptions& options) {
  std::string folder = options.dataDir;
  if (folder.empty()) {
    if (!UseDataFolder("", &folder)) return kExitFailed;
  } else {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  }
  const std::string path = ServiceRecordPath(folder);
  ServiceRecordRead record;
  const int32_t read = ReadServiceRecord(path, &record);
  if (read == kResultNothingDone) {
    std::fprintf(stderr, "vexabsl: no service record in %s: no update was recorded there\n",
                 folder.c_str());
    return kExitOk;
  }
  if (read < 0) return ReportFailure(("reading " + path).c_str(), read);
  for (const std::string& damage : record.damage) {
    std::fprintf(stderr, "vexabsl: warning: %s: %s; skipped\n", path.c_str(), damage.c_str());
  }
  if (record.lines.empty() && record.damage.empty()) {
    std::fprintf(stderr, "vexabsl: warning: %s is empty\n", path.c_str());
  }

  Selection selected;
  for (const ServiceRecordRead::Line& line : record.lines) {
    if (Selected(line.entry, options)) selected.push_back(&line);
  }
  const HistoryFormat format = options.csv    ? HistoryFormat::kCsv
                               : options.json ? HistoryFormat::kJson
                                              : HistoryFormat::kTable;
  switch (format) {
    case HistoryFormat::kCsv:
      PrintCsv(selected);
      break;
    case HistoryFormat::kJson:
      for (const ServiceRecordRead::Line* line : selected) std::printf("%s\n", line->text.c_str());
      break;
    case HistoryFormat::kTable:
      if (!selected.empty()) {
        PrintTable(selected);
      } else if (!record.lines.empty()) {
        std::fprintf(stderr, "vexabsl: no recorded update matches\n");
      }
      break;
  }
  return kExitOk;
}

}  // namespace

void SetupHistoryCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<HistoryOptions>();
  CLI::App* history = app.add_subcommand(
      "history", "Print the service record: every update run on this computer, one a line");
  history->add_option("--data-dir", options->dataDir,
                      "Folder of the service record (default: the data folder)");
  history->add_option("--since", options->since, "Only updates on or after this day (UTC)")
      ->check(DateOption());
  history->add_option("--serial", options->serial, "Only updates of the instrument of this serial");
  CLI::Option* csv = history->add_flag("--csv", options->csv, "Print CSV with a header line");
  history->add_flag("--json", options->json, "Print the record's JSON lines")->excludes(csv);
  history->callback([&run, options] { run = [options] { return RunHistory(*options); }; });
}
