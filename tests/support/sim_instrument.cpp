#include "tests/support/sim_instrument.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#ifndef VEXA_SIM_PATH
#error "VEXA_SIM_PATH must name the vexa-sim program"
#endif

namespace {

// Far above what a start or a stop takes, even for a sanitizer build on a busy two-core machine:
// both waits end on their own signal (the link made, the process ended) long before.
constexpr auto kStartLimit = std::chrono::seconds(120);
constexpr auto kStopLimit = std::chrono::seconds(120);
constexpr auto kPollStep = std::chrono::milliseconds(5);

}  // namespace

SimInstrument::SimInstrument(std::string family) : family_(std::move(family)) {
  std::string pattern = (std::filesystem::temp_directory_path() / "vexa-sim-XXXXXX").string();
  if (mkdtemp(pattern.data())) folder_ = pattern;
  link_ = PathFor(family_);
}

SimInstrument::~SimInstrument() {
  Stop();
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool SimInstrument::Start(const std::vector<std::string>& arguments) {
  error_.clear();
  if (folder_.empty()) {
    error_ = "no temporary folder";
    return false;
  }
  if (Running()) Stop();
  std::vector<std::string> words = {VEXA_SIM_PATH, family_,   "--link",
                                    link_,         "--stats", PathFor("stats.json")};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  // Its line "link -> /dev/pts/N" goes to a file; complaints stay on the test's stderr.
  const int output =
      open(PathFor("vexa-sim.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (output < 0) {
    error_ = "cannot create " + PathFor("vexa-sim.out");
    return false;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // A test that dies without stopping the simulator takes it along.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(output, STDOUT_FILENO);
    execv(VEXA_SIM_PATH, argv.data());
    _exit(127);
  }
  close(output);
  if (pid_ < 0) {
    pid_ = -1;
    error_ = std::string("cannot start ") + VEXA_SIM_PATH;
    return false;
  }

  const auto limit = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < limit) {
    struct stat target;
    if (stat(link_.c_str(), &target) == 0) return true;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "vexa-sim ended at once (exit status " +
               std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
      return false;
    }
    std::this_thread::sleep_for(kPollStep);
  }
  Stop();
  error_ = "vexa-sim did not create " + link_;
  return false;
}

int SimInstrument::Stop() {
  if (!Running()) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  const auto limit = std::chrono::steady_clock::now() + kStopLimit;
  pid_t ended;
  while ((ended = waitpid(pid_, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(kPollStep);
  }
  if (ended == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    status = -1;
  }
  pid_ = -1;
  return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

nlohmann::json SimInstrument::Stats() const {
  std::ifstream in(PathFor("stats.json"));
  if (!in) return {};
  nlohmann::json stats = nlohmann::json::parse(in, nullptr, false);
  return stats.is_discarded() ? nlohmann::json() : stats;
}
