// The data folder a run keeps its recovery files in: the settings file, the journal and the kept
// settings files. A folder that cannot take them stops the run before the flash is touched; the
// files belong to one run at a time; and no file is written through a symbolic link.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/run_lock.h"
#include "app/update_journal.h"
#include "link/result.h"
#include "tests/app/update_fixture.h"
#include "tests/support/holding_process.h"

namespace {

// The settings of another FieldPal, whose update was cut off after its erase.
const nlohmann::json& AnotherFieldPal() {
  static const nlohmann::json settings =
      SimSettings("FP0777", "FP14-0000777", 44, {"T offset 0.1", "pH 4.01 7.00 slope 0.98"});
  return settings;
}

class DataFolderTest : public UpdateTest {
 protected:
  void TearDown() override {
    if (mounted_) umount2(DataPath("").c_str(), MNT_DETACH);
    UpdateTest::TearDown();
  }

  // The data folder becomes a small file system of its own. False (the test skips) where none can
  // be mounted, as for a user who is not root.
  bool MountSmallFolder(const std::string& options) {
    mounted_ = mount("tmpfs", DataPath("").c_str(), "tmpfs", 0, options.c_str()) == 0;
    return mounted_;
  }
  void Remount(unsigned long flags) {
    ASSERT_EQ(mount(nullptr, DataPath("").c_str(), nullptr, MS_REMOUNT | flags, nullptr), 0)
        << std::strerror(errno);
  }
  // Fills the folder until `bytes` are left.
  void FillLeaving(uint64_t bytes) {
    struct statvfs room;
    ASSERT_EQ(statvfs(DataPath("").c_str(), &room), 0);
    const uint64_t free = static_cast<uint64_t>(room.f_bavail) * room.f_bsize;
    ASSERT_GT(free, bytes);
    Put(DataPath("filler"), std::string(free - bytes, 'x'));
    ASSERT_EQ(statvfs(DataPath("").c_str(), &room), 0);
    ASSERT_EQ(static_cast<uint64_t>(room.f_bavail) * room.f_bsize, bytes);
  }
  // Makes files until the folder takes no more names, then removes `spare` of them.
  void UseUpNames(int spare) {
    int made = 0;
    for (;; ++made) {
      const int fd =
          open(DataPath("name" + std::to_string(made)).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
      if (fd < 0) break;
      close(fd);
    }
    ASSERT_EQ(errno, ENOSPC);
    for (int i = 0; i < spare; ++i) unlink(DataPath("name" + std::to_string(made - 1 - i)).c_str());
  }
  void FreeNames() {
    for (const std::string& name : DataFiles()) {
      if (name.starts_with("name")) unlink(DataPath(name).c_str());
    }
  }
  // The files a run cut off after its erase leaves, for the FieldPal of `settings`.
  void LeaveUnfinishedRun(const nlohmann::json& settings) {
    Put(SettingsFile(),
        SettingsFileText(settings, std::to_string(settings["contrast"].get<int>())));
    ASSERT_EQ(WriteJournal(JournalFile(), {"erasing", settings["serial"], settings["name"]}),
              kResultOk);
  }
  // The contents of every file in the data folder, by name.
  std::map<std::string, std::string> FolderContents() const {
    std::map<std::string, std::string> contents;
    for (const std::string& name : DataFiles()) contents[name] = Contents(DataPath(name));
    return contents;
  }

  bool mounted_ = false;
};

// How a data folder refuses the files of a recovery.
enum class Limit { kSpace, kReadOnly, kNames };

struct FolderLimit {
  const char* what;
  Limit limit;
  uint64_t room;       // Limit::kSpace: the bytes left
  bool serviceSwitch;  // "-rep": a failed save asks whether to go on without the settings
  bool unfinishedRun;  // the folder holds another FieldPal's unfinished run
  int32_t result;
  const char* reason;
  const char* logged;  // the error file's line of the write that failed
};

void PrintTo(const FolderLimit& row, std::ostream* out) {
  *out << row.what;
}

const FolderLimit kFolderLimits[] = {
    // Room for the settings file, none for the journal.
    {"FullAfterTheSettingsFile", Limit::kSpace, 4096, false, false, kErrDiskFull,
     "The disk is full", "NoteErasing got error -153 (the disk is full) writing "},
    // No question may lead on to the erase when the settings were read but not kept.
    {"FullWithAServiceSwitch", Limit::kSpace, 0, true, false, kErrDiskFull, "The disk is full",
     "WriteInfoFile got error 28 trying to write settings file"},
    {"ReadOnly", Limit::kReadOnly, 0, false, true, kErrDiskReadOnly, "The disk is read-only",
     "FieldPal.lock: error -156 (the disk is read-only)"},
    // A name for the lock, none for keeping the other FieldPal's file aside.
    {"NoNameToKeepAnotherFieldPalsFile", Limit::kNames, 0, false, true, kErrDiskFull,
     "The disk is full", "Could not keep the settings of an unfinished update: error -153"},
};

class FolderLimitTest : public DataFolderTest, public ::testing::WithParamInterface<FolderLimit> {};

TEST_P(FolderLimitTest, StopsTheRunBeforeTheFlashAndTheNextRunLosesNothing) {
  const FolderLimit& row = GetParam();
  if (!MountSmallFolder("size=256k,nr_inodes=64")) {
    GTEST_SKIP() << "no tmpfs can be mounted here (" << std::strerror(errno) << ")";
  }
  const nlohmann::json own = UntouchedSettings();
  if (row.unfinishedRun) LeaveUnfinishedRun(AnotherFieldPal());
  switch (row.limit) {
    case Limit::kSpace:
      FillLeaving(row.room);
      break;
    case Limit::kReadOnly:
      Remount(MS_RDONLY);
      break;
    case Limit::kNames:
      UseUpNames(1);
      break;
  }
  const std::map<std::string, std::string> before = FolderContents();
  ui_.options.serviceFlag = row.serviceSwitch;

  // The FieldPal's power fails right after the vectors, if it ever gets that far.
  SimInstrument sim;
  EXPECT_EQ(UpdateOn(sim, {"--fault", "power-cut-after=567"}), row.result);
  ASSERT_EQ(ui_.BoxCaptions(), std::vector<std::string>{"Data Folder Error"});
  EXPECT_EQ(ui_.boxes[0].text,
            "The FieldPal Firmware Updater cannot keep the settings of your FieldPal safe in the "
            "folder\n" +
                context_->dataFolder + "\n\n" + row.reason +
                ".\n\nThe firmware in your FieldPal was not changed. Please make room in this "
                "folder, or choose another one, and try again.\n\n[Error " +
                std::to_string(row.result) + "]");
  EXPECT_TRUE(Logged(row.logged)) << row.logged;
  EXPECT_TRUE(ui_.questions.empty());
  std::map<std::string, std::string> after = FolderContents();
  if (!row.unfinishedRun) after.erase("FieldPal.settings.txt");  // this run's own, whole
  EXPECT_EQ(after, before);  // no journal half written, nothing of the other FieldPal's moved
  EXPECT_EQ(FinalSettings(sim), own);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "1.50");

  // Room again: the next run updates the FieldPal with every one of its settings.
  Remount(0);
  std::filesystem::remove(DataPath("filler"));
  FreeNames();
  ui_.boxes.clear();
  ASSERT_EQ(UpdateOn(sim), kResultOk);  // the same FieldPal, its power back
  EXPECT_EQ(FinalSettings(sim), own);
  EXPECT_EQ(sim.Stats()["instrument"]["firmware_version"], "2.00");
}

INSTANTIATE_TEST_SUITE_P(Limits, FolderLimitTest, ::testing::ValuesIn(kFolderLimits), RowName());

TEST_F(DataFolderTest, ARunRefusesAtOnceWhileAnotherRunOwnsTheFolderAndTouchesNoneOfItsFiles) {
  LeaveUnfinishedRun(AnotherFieldPal());
  Put(DataPath("FieldPal.lock"), "");
  HoldingProcess other(DataPath("FieldPal.lock"), "vexabsl", HoldingProcess::Lock::kExclusive);
  ASSERT_TRUE(other.Holding());
  const std::map<std::string, std::string> before = FolderContents();
  const nlohmann::json own = UntouchedSettings();

  SimInstrument sim;
  EXPECT_EQ(UpdateOn(sim), kErrDataFolderBusy);
  ASSERT_EQ(ui_.BoxCaptions(), std::vector<std::string>{"Data Folder In Use"});
  EXPECT_EQ(ui_.boxes[0].text, "Another update is using the files of FieldPal in the folder\n" +
                                   context_->dataFolder +
                                   "\n\nPlease let it finish, then try again.\n\n[Error -157]");
  EXPECT_TRUE(ui_.questions.empty());
  EXPECT_EQ(FolderContents(), before);
  EXPECT_EQ(FinalSettings(sim), own);
  EXPECT_EQ(sim.Stats()["instrument"]["answers_sent"], 0);  // not even asked who it is
}

TEST_F(DataFolderTest, TheLockOfARunThatWasKilledIsTakenOverAndNoLockFileIsLeft) {
  Put(DataPath("FieldPal.lock"), "");
  {
    HoldingProcess killed(DataPath("FieldPal.lock"), "vexabsl", HoldingProcess::Lock::kExclusive);
    ASSERT_TRUE(killed.Holding());
    kill(killed.Pid(), SIGKILL);
  }
  SimInstrument sim;
  ASSERT_EQ(UpdateOn(sim), kResultOk);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(DataFiles(), std::vector<std::string>{});
}

TEST_F(DataFolderTest, OneLockAtATimeEvenWithinOneProgram) {
  const std::string path = DataPath("FieldPal.lock");
  RunLock first, second;
  ASSERT_EQ(TakeRunLock(path, &first), kResultOk);
  EXPECT_EQ(TakeRunLock(path, &second), kErrDataFolderBusy);
  ReleaseRunLock(&first);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(TakeRunLock(path, &second), kResultOk);
  ReleaseRunLock(&second);
}

// A file of the run that is a symbolic link, with where it points.
struct LinkedFile {
  const char* what;
  std::string name;  // in the data folder; "errors.txt" is the fixture's error file
};

void PrintTo(const LinkedFile& row, std::ostream* out) {
  *out << row.what;
}

class LinkedFileTest : public DataFolderTest, public ::testing::WithParamInterface<LinkedFile> {};

TEST_P(LinkedFileTest, IsRefusedBeforeTheInstrumentIsTouchedAndItsTargetStaysWhole) {
  const LinkedFile& row = GetParam();
  const std::string target = (dir_ / "precious.txt").string();
  Put(target, "someone else's file\n");
  const std::string link = row.name == "errors.txt" ? log_->Path() : DataPath(row.name);
  if (row.name == "errors.txt") std::filesystem::remove(link);
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);

  SimInstrument sim;
  EXPECT_EQ(UpdateOn(sim), kErrFileIsLink);
  ASSERT_EQ(ui_.BoxCaptions(), std::vector<std::string>{"Data Folder Error"});
  EXPECT_NE(
      ui_.boxes[0].text.find("A file in the data folder is a symbolic link: " + link + ".\n\n"),
      std::string::npos)
      << ui_.boxes[0].text;
  EXPECT_EQ(Contents(target), "someone else's file\n");
  ASSERT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["answers_sent"], 0);
}

INSTANTIATE_TEST_SUITE_P(Links, LinkedFileTest,
                         ::testing::Values(LinkedFile{"SettingsFile", "FieldPal.settings.txt"},
                                           LinkedFile{"Journal", "FieldPal.journal.txt"},
                                           LinkedFile{"Lock", "FieldPal.lock"},
                                           LinkedFile{"ErrorFile", "errors.txt"}),
                         RowName());

TEST_F(DataFolderTest, TheJournalIsNeverWrittenThroughALink) {
  const std::string target = (dir_ / "precious.txt").string();
  Put(target, "someone else's file\n");
  // Where the journal and its temporary file would be.
  for (const char* name : {"FieldPal.journal.txt", "FieldPal.journal.txt.new"}) {
    ASSERT_EQ(symlink(target.c_str(), DataPath(name).c_str()), 0);
  }
  UpdateJournal read;
  EXPECT_FALSE(ReadJournal(JournalFile(), &read));
  ASSERT_EQ(WriteJournal(JournalFile(), {"erasing", "FP14-2291047", "FP0042"}), kResultOk);
  EXPECT_EQ(Contents(target), "someone else's file\n");
  EXPECT_FALSE(std::filesystem::is_symlink(JournalFile()));
  ASSERT_TRUE(ReadJournal(JournalFile(), &read));
  EXPECT_EQ(read.serial, "FP14-2291047");
}

}  // namespace
