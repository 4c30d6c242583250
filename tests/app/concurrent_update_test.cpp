// Two whole updates at once in one process, each on a thread of its own with an engine of its own,
// against two virtual FieldPals: nothing of one run (its log, its data folder, its pauses'
// message pump, its port) may reach the other.
#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "app/update_engine.h"
#include "link/clock.h"
#include "link/result.h"
#include "tests/app/update_fixture.h"

namespace {

// A message pump for one run: notes the threads that called it and then sleeps, as a window's
// pump blocks while idle.
template <int kRun>
struct NotingPump {
  static void Pump(uint32_t maxWaitMs) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      threads.insert(std::this_thread::get_id());
    }
    struct timespec pause = {0, static_cast<long>(std::min<uint32_t>(maxWaitMs, 20)) * 1000000L};
    nanosleep(&pause, nullptr);
  }
  static inline std::mutex mutex;
  static inline std::set<std::thread::id> threads;
};

// One run: its virtual FieldPal with settings of its own, its engine and what it did.
struct ConcurrentRun {
  SimInstrument sim;
  nlohmann::json settings;
  RecordingFrontEnd ui;
  std::unique_ptr<UpdateEngine> engine;
  std::thread::id thread;
  int32_t result = 0;
  uint32_t start = 0;
  uint32_t end = 0;
};

class ConcurrentUpdateTest : public UpdateTest {
 protected:
  // Starts run `index`'s FieldPal and builds its engine, with a data folder and error file of its
  // own.
  void Prepare(int index, MessagePump pump) {
    ConcurrentRun& run = runs_[index];
    const std::string name = "run" + std::to_string(index);
    run.settings = SimSettings("FP" + std::to_string(index), "SN-" + std::to_string(index),
                               40 + index, {"cal of run " + std::to_string(index)});
    StartWithSettings(run.sim, "1.50", run.settings);
    std::filesystem::create_directories(dir_ / name);
    EngineDescription description;
    description.dataFolder = (dir_ / name).string();
    description.errorFile = (dir_ / (name + ".errors.txt")).string();
    description.portName = description.portDescription = run.sim.LinkPath();
    description.pump = pump;
    run.engine = std::make_unique<UpdateEngine>(description, &run.ui);
    ASSERT_EQ(run.engine->Status(), kResultOk);
  }

  std::string RunErrorFile(int index) const {
    return scratch::Contents(dir_ / ("run" + std::to_string(index) + ".errors.txt"));
  }

  void TearDown() override {
    if (HasFailure()) {
      for (int i = 0; i < 2; ++i) std::cout << "run " << i << ":\n" << RunErrorFile(i) << "\n";
    }
    UpdateTest::TearDown();
  }

  std::array<ConcurrentRun, 2> runs_;
};

TEST_F(ConcurrentUpdateTest, TwoUpdatesAtOnceEachEndWithTheNewFirmwareAndTheirOwnSettings) {
  Prepare(0, NotingPump<0>::Pump);
  Prepare(1, NotingPump<1>::Pump);
  ASSERT_FALSE(HasFatalFailure());

  std::array<std::thread, 2> threads;
  for (int i = 0; i < 2; ++i) {
    threads[i] = std::thread([&run = runs_[i]] {
      run.thread = std::this_thread::get_id();
      run.start = MsClock();
      run.result = run.engine->Update();
      run.end = MsClock();
    });
  }
  for (std::thread& thread : threads) thread.join();

  // The runs overlapped: each started before the other ended.
  EXPECT_LT(static_cast<int32_t>(runs_[1].start - runs_[0].end), 0);
  EXPECT_LT(static_cast<int32_t>(runs_[0].start - runs_[1].end), 0);
  // Each run's long pauses ran its own pump, on its own thread alone.
  EXPECT_EQ(NotingPump<0>::threads, std::set<std::thread::id>{runs_[0].thread});
  EXPECT_EQ(NotingPump<1>::threads, std::set<std::thread::id>{runs_[1].thread});

  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE("run " + std::to_string(i));
    ConcurrentRun& run = runs_[i];
    const UpdateContext& context = run.engine->Context();
    EXPECT_EQ(run.result, kResultOk);
    EXPECT_TRUE(run.ui.boxes.empty());
    EXPECT_TRUE(run.ui.questions.empty());
    EXPECT_TRUE(context.settingsSaved);
    EXPECT_TRUE(context.settingsRestored);
    EXPECT_FALSE(context.restoreIncomplete);
    // No settings file, journal or run lock is left in the run's folder.
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / ("run" + std::to_string(i))));
    // The run's error file tells of its own port alone.
    const std::string errors = RunErrorFile(i);
    EXPECT_NE(errors.find("Finished updating device in"), std::string::npos);
    EXPECT_NE(errors.find(run.sim.LinkPath()), std::string::npos);
    EXPECT_EQ(errors.find(runs_[1 - i].sim.LinkPath()), std::string::npos);

    EXPECT_EQ(FinalSettings(run.sim), run.settings);
    const nlohmann::json stats = run.sim.Stats()["instrument"];
    EXPECT_EQ(stats["firmware_version"], "2.00");
    EXPECT_EQ(stats["data_erases"], 1);
    EXPECT_EQ(stats["flash_faults"], 0);
  }
}

}  // namespace
