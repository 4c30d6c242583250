// The port stays the update's from its first connect to its end, also while the run has it closed
// (before the loader starts, during the restart), and the updater leaves alone a port that another
// program holds by its lock file.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "link/port_lock.h"
#include "tests/app/update_fixture.h"
#include "tests/support/holding_process.h"
#include "tests/support/run_tool.h"

extern char** environ;

namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// What a program that respects serial port locks does before it uses a port: look for a live
// lock file, then take the device's flock. True when it got the port (it lets go at once).
bool AnotherProgramTakes(const std::string& path) {
  if (PortLockOwner(path.c_str()) != 0) return false;
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool taken = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return taken;
}

// vexabsl started in the background, its output in a file; ended (SIGKILL) if a test leaves early.
class BackgroundTool {
 public:
  BackgroundTool(const std::string& arguments, const std::string& output) {
    const std::string command =
        "exec '" + std::string(VEXABSL_PATH) + "' " + arguments + " >'" + output + "' 2>&1";
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
    }
  }
  ~BackgroundTool() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  BackgroundTool(const BackgroundTool&) = delete;
  BackgroundTool& operator=(const BackgroundTool&) = delete;

  bool Started() const { return pid_ > 0; }
  // True once it ended; `exit` gets its exit status.
  bool Ended(int* exit) {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = -1;
    *exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
  }

 private:
  pid_t pid_ = -1;
};

bool CanWriteLockFiles() {
  return access(kPortLockFolder, W_OK) == 0;
}

TEST_F(UpdateTest, AnotherProgramCannotTakeThePortAtAnyMomentOfAnUpdate) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const std::string log = DataPath("updater.errors.txt");
  BackgroundTool update("update --port '" + sim.LinkPath() + "' --data-dir '" + DataPath("") +
                            "' --yes --log '" + log + "'",
                        DataPath("output.txt"));
  ASSERT_TRUE(update.Started());

  // From the first open of the port to the end of the run, over and over; in particular while
  // the instrument restarts into its new firmware, when the run has the port closed.
  int attempts = 0, attemptsWhileRestarting = 0, taken = 0;
  int exit = -1;
  while (!update.Ended(&exit)) {
    const std::string before = FileText(log);
    const bool running = before.find("DSOpen successfully opened") != std::string::npos &&
                         before.find("Finished updating device") == std::string::npos;
    if (running) {
      ++attempts;
      if (before.find("BSLSendVectors successful") != std::string::npos) {
        ++attemptsWhileRestarting;
      }
      // A run that ended just now has let go of the port rightly.
      if (AnotherProgramTakes(sim.LinkPath()) &&
          FileText(log).find("Finished updating device") == std::string::npos) {
        ++taken;
      }
    }
    usleep(10 * 1000);
  }
  EXPECT_EQ(exit, 0) << FileText(DataPath("output.txt"));
  EXPECT_EQ(taken, 0) << "of " << attempts << " attempts";
  EXPECT_GT(attemptsWhileRestarting, 0) << "the restart was watched";
  EXPECT_TRUE(AnotherProgramTakes(sim.LinkPath())) << "the port is free after the run";
  if (CanWriteLockFiles()) {
    EXPECT_FALSE(std::filesystem::exists(PortLockFile(sim.LinkPath().c_str())));
  }
  EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(UpdateTest, APortLockedByAnotherProgramsLockFileIsInUse) {
  if (!CanWriteLockFiles()) GTEST_SKIP() << kPortLockFolder << " is not writable";
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const std::string lockFile = PortLockFile(sim.LinkPath().c_str());

  // A live program's lock file keeps the port, although that program has it closed now.
  HoldingProcess other("", "terminal");
  ASSERT_TRUE(other.Holding());
  char content[16];
  std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(other.Pid()));
  std::ofstream(lockFile) << content;
  const ToolOutcome refused =
      RunTool(VEXABSL_PATH, "update --port '" + sim.LinkPath() + "' --data-dir '" + DataPath("") +
                                "' --yes --log '" + DataPath("refused.txt") + "'");
  EXPECT_EQ(refused.exit, 1) << refused.output;
  EXPECT_NE(refused.output.find("is already in use by another application"), std::string::npos)
      << refused.output;
  EXPECT_NE(refused.output.find("result: -20"), std::string::npos) << refused.output;
  EXPECT_NE(FileText(DataPath("refused.txt")).find("DSOpen failed to open comm port (error 5)"),
            std::string::npos);
  EXPECT_EQ(FileText(lockFile), content) << "the other program's lock file is left alone";
  std::filesystem::remove(lockFile);
  EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
