// The update sequence against the real vexa-sim: the real session layer and loader below it, and
// a front end that records everything the run shows and answers its questions from a queue. Each
// test has its error file and data folder in a folder of its own; a failing test prints the
// error file and what the front end saw.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "app/progress_event.h"
#include "app/update_context.h"
#include "app/update_run.h"
#include "loader/ti_text.h"
#include "session/catalogue.h"
#include "session/settings_file.h"
#include "tests/support/scratch_log.h"
#include "tests/support/sim_instrument.h"

// A message box or a question as the run put it to the user.
struct ShownBox {
  std::string text;
  std::string caption;
  BoxKind kind = BoxKind::kPlain;
};

class RecordingFrontEnd : public FrontEnd {
 public:
  void SetStatus(const std::string& text) override {
    statuses.push_back(text);
    statusShown = true;
  }
  void HideStatus() override { statusShown = false; }
  void ShowProgress(const ProgressEvent& event) override {
    progress.push_back(event.percent);
    events.push_back(event);
  }
  void SetConnectLabel(const std::string& text) override { connectLabels.push_back(text); }
  void ShowBox(const std::string& text, const std::string& caption, BoxKind kind) override {
    boxes.push_back({text, caption, kind});
  }
  // Answers from the queue, OK once it is empty.
  BoxAnswer Confirm(const std::string& text, const std::string& caption) override {
    questions.push_back({text, caption, BoxKind::kConfirmation});
    if (answers.empty()) return BoxAnswer::kOk;
    const BoxAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  // The success sound is the information box's.
  void Beep() override { beeps.push_back(BoxKind::kInformation); }
  bool ShouldContinue() override { return true; }
  RunOptions Options() override { return options; }

  std::vector<std::string> BoxCaptions() const { return Captions(boxes); }
  std::vector<std::string> QuestionCaptions() const { return Captions(questions); }
  bool SawStatus(const std::string& text) const {
    return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
  }

  RunOptions options;
  std::deque<BoxAnswer> answers;
  std::vector<std::string> statuses;
  bool statusShown = false;
  std::vector<int> progress;  // the bar, as each event left it
  std::vector<ProgressEvent> events;
  std::vector<std::string> connectLabels;
  std::vector<ShownBox> boxes;
  std::vector<ShownBox> questions;
  std::vector<BoxKind> beeps;

 private:
  static std::vector<std::string> Captions(const std::vector<ShownBox>& shown) {
    std::vector<std::string> captions;
    for (const ShownBox& box : shown) captions.push_back(box.caption);
    return captions;
  }
};

// The phases of a clean FieldPal update, in order.
inline const std::vector<RunPhase> kCleanPhases = {
    RunPhase::kStarting,          RunPhase::kConnecting,     RunPhase::kCheckingBattery,
    RunPhase::kSavingSettings,    RunPhase::kStartingLoader, RunPhase::kErasing,
    RunPhase::kWriting,           RunPhase::kRestarting,     RunPhase::kCheckingFirmware,
    RunPhase::kRestoringSettings, RunPhase::kErasingData,    RunPhase::kFinished,
};

// Checks the progress events of a clean run: each phase of kCleanPhases in turn, the bar ending
// at 100, and the erase and the write each counting up to its total, which stays the same.
// `imageBytes`: the bytes the write must count to.
inline void ExpectCleanRunEvents(const std::vector<ProgressEvent>& events, uint32_t imageBytes) {
  std::vector<RunPhase> phases;
  for (const ProgressEvent& event : events) {
    if (phases.empty() || phases.back() != event.phase) phases.push_back(event.phase);
  }
  EXPECT_EQ(phases, kCleanPhases);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().percent, 100);
  for (const RunPhase counted : {RunPhase::kErasing, RunPhase::kWriting}) {
    SCOPED_TRACE(PhaseKey(counted));
    std::vector<ProgressEvent> counts;
    for (const ProgressEvent& event : events) {
      if (event.phase == counted && event.total > 0) counts.push_back(event);
    }
    ASSERT_GE(counts.size(), 2u);
    for (size_t i = 1; i < counts.size(); ++i) {
      EXPECT_EQ(counts[i].total, counts[0].total);
      EXPECT_GE(counts[i].done, counts[i - 1].done);
    }
    EXPECT_EQ(counts.front().done, 0u);
    EXPECT_EQ(counts.back().done, counts.back().total);
    if (counted == RunPhase::kWriting) {
      EXPECT_EQ(counts.back().total, imageBytes);
    }
  }
}

// The bytes of the loader's image, section by section.
inline uint32_t ImageBytes(const FirmwareImage& image) {
  uint32_t bytes = 0;
  uint32_t offset = 0;
  ImageSection section;
  while (NextImageSection(image.text, image.length, &offset, &section)) {
    bytes += section.dataLength / 2;
  }
  return bytes;
}

// A FieldPal's settings as the simulator keeps them.
inline nlohmann::json SimSettings(const std::string& name, const std::string& serial, int contrast,
                                  const std::vector<std::string>& cal = {}) {
  std::vector<std::string> entries(20);
  std::copy(cal.begin(), cal.end(), entries.begin());
  return {{"name", name},
          {"serial", serial},
          {"contrast", contrast},
          {"adc15", "1.0000 0.0000"},
          {"adc30", "1.0000 0.0000"},
          {"cal", entries}};
}
// A FieldPal settings file as a run writes it, holding `settings` (as SimSettings gives them);
// `contrast` is written as given, so a file may hold a value the instrument refuses.
inline std::string SettingsFileText(const nlohmann::json& settings, const std::string& contrast) {
  std::string text = kSettingsFileHeader;
  auto line = [&text](const std::string& key, const std::string& value) {
    text += key + "=\"" + value + "\"\r\n";
  };
  line("type", "FP");
  line("name", settings["name"]);
  line("sn", settings["serial"]);
  line("contr", contrast);
  line("adc15", settings["adc15"]);
  line("adc30", settings["adc30"]);
  for (size_t i = 0; i < settings["cal"].size() && !settings["cal"][i].get<std::string>().empty();
       ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "cal%02zu", i);
    line(key, settings["cal"][i]);
  }
  return text;
}

// A test name from a row's `what`: its letters and digits, other characters as '_'.
struct RowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
    std::string name;
    for (const char* c = row.param.what; *c; ++c) {
      name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    return name;
  }
};

class UpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = scratch::MakeFolder("vexa_app");
    std::filesystem::create_directories(dir_ / "data");
    log_ = std::make_unique<VexaLog>(scratch::ErrorFilePath(dir_).string().c_str(), 30);
    session_ = std::make_unique<SessionContext>(log_.get());
    ASSERT_EQ(session_->status, 1);
    loader_ = std::make_unique<VexaBSLHost>(log_.get(), CatalogueTypeOfKey);
    ASSERT_GE(loader_->image.status, 0);
    context_ = std::make_unique<UpdateContext>(log_.get(), session_.get(), loader_.get(), &ui_);
    context_->dataFolder = DataPath("");
    context_->dataFolder.pop_back();  // no trailing '/'
  }
  void TearDown() override {
    scratch::PrintErrorFileOnFailure(dir_);
    if (HasFailure()) {
      std::cout << "statuses:\n";
      for (const std::string& status : ui_.statuses) std::cout << "  " << status << "\n";
      for (const ShownBox& box : ui_.boxes)
        std::cout << "box " << box.caption << ": " << box.text << "\n";
      for (const ShownBox& box : ui_.questions) {
        std::cout << "question " << box.caption << ": " << box.text << "\n";
      }
    }
    context_.reset();
    loader_.reset();
    session_.reset();
    log_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Starts the simulator (its final state kept in its folder's state.json) and runs one update
  // on it. The run's result.
  int32_t UpdateOn(SimInstrument& sim, const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> all = {"--state", sim.PathFor("state.json")};
    all.insert(all.end(), arguments.begin(), arguments.end());
    if (!sim.Start(all)) {
      ADD_FAILURE() << sim.Error();
      return 0;
    }
    return Run(sim);
  }
  // One update on a simulator that is running already.
  int32_t Run(const SimInstrument& sim) {
    context_->portName = context_->portDescription = sim.LinkPath();
    return RunUpdate(*context_);
  }

  // The FieldPal's settings as the simulator's state file holds them after it stopped.
  static nlohmann::json FinalSettings(SimInstrument& sim) {
    EXPECT_EQ(sim.Stop(), 0);
    return ReadJson(sim.PathFor("state.json"))["settings"];
  }
  // The settings of a FieldPal that nobody talked to, as `arguments` start it.
  static nlohmann::json UntouchedSettings(const std::vector<std::string>& arguments = {}) {
    SimInstrument sim("fieldpal");
    std::vector<std::string> all = {"--state", sim.PathFor("state.json")};
    all.insert(all.end(), arguments.begin(), arguments.end());
    EXPECT_TRUE(sim.Start(all)) << sim.Error();
    return FinalSettings(sim);
  }
  // Starts a FieldPal that runs `version` with `settings` in place of the ones it ships with.
  static void StartWithSettings(SimInstrument& sim, const std::string& version,
                                const nlohmann::json& settings) {
    const std::string state = sim.PathFor("state.json");
    ASSERT_TRUE(sim.Start({"--state", state, "--version", version})) << sim.Error();
    ASSERT_EQ(sim.Stop(), 0);
    nlohmann::json saved = ReadJson(state);
    saved["settings"] = settings;
    std::ofstream(state, std::ios::binary) << saved.dump();
    ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  }

  std::string DataPath(const std::string& name) const { return (dir_ / "data" / name).string(); }
  std::string SettingsFile() const { return DataPath("FieldPal.settings.txt"); }
  std::string JournalFile() const { return DataPath("FieldPal.journal.txt"); }
  // The names of the files in the data folder, sorted.
  std::vector<std::string> DataFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "data")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::string Contents(const std::string& path) { return scratch::Contents(path); }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static nlohmann::json ReadJson(const std::string& path) {
    return nlohmann::json::parse(Contents(path), nullptr, false);
  }
  std::string ErrorFile() const { return scratch::Contents(scratch::ErrorFilePath(dir_)); }
  bool Logged(const std::string& line) const { return ErrorFile().find(line) != std::string::npos; }

  std::filesystem::path dir_;
  std::unique_ptr<VexaLog> log_;
  std::unique_ptr<SessionContext> session_;
  std::unique_ptr<VexaBSLHost> loader_;
  RecordingFrontEnd ui_;
  std::unique_ptr<UpdateContext> context_;
};
