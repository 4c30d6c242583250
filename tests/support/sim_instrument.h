// The real vexa-sim as a child process, for tests that drive a virtual instrument through the
// serial link exactly as the updater does.
//
//   SimInstrument sim;  // makes its own temporary folder
//   ASSERT_TRUE(sim.Start({"--dump-flash", sim.PathFor("flash.txt")})) << sim.Error();
//   ... DSOpen(&port, sim.LinkPath().c_str(), 9600) ...
//   EXPECT_EQ(sim.Stop(), 0);  // SIGTERM: the simulator writes its files and ends
//   EXPECT_EQ(sim.Stats()["instrument"]["flash_faults"], 0);
//
// Start may be called again after Stop, with the same link path and folder (a restart with the
// same --state file, for example).
#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

class SimInstrument {
 public:
  explicit SimInstrument(std::string family = "fieldpal");
  ~SimInstrument();  // stops the simulator and removes the folder
  SimInstrument(const SimInstrument&) = delete;
  SimInstrument& operator=(const SimInstrument&) = delete;

  // Starts `vexa-sim <family> --link <LinkPath()> --stats <PathFor("stats.json")> <arguments>`
  // and waits until the link exists. False with Error() set when it did not come up.
  bool Start(const std::vector<std::string>& arguments = {});
  bool Running() const { return pid_ > 0; }

  // Ends the simulator with SIGTERM and waits for it (SIGKILL after 10 s). Returns its exit
  // status, -1 when it was not running or did not exit normally.
  int Stop();

  const std::string& LinkPath() const { return link_; }
  // A file in the simulator's temporary folder.
  std::string PathFor(const std::string& name) const { return folder_ + "/" + name; }
  const std::string& Error() const { return error_; }

  // The statistics the simulator wrote when it last stopped (empty when there are none).
  nlohmann::json Stats() const;

 private:
  std::string family_;
  std::string folder_;
  std::string link_;
  std::string error_;
  pid_t pid_ = -1;
};
