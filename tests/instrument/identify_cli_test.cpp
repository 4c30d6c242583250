// vexabsl identify as a user runs it, against each virtual family.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/run_tool.h"
#include "tests/support/sim_instrument.h"

namespace {

struct Family {
  std::string family;
  std::vector<std::string> simArguments;
  std::string toolArguments;
  nlohmann::json expected;  // fields of the --json output
};

TEST(IdentifyCommand, PrintsWhatEachFamilyIs) {
  const Family families[] = {
      {"fieldpal",
       {},
       "",
       {{"type_code", 10},
        {"type_name", "FieldPal"},
        {"version", 150},
        {"version_text", "FP 1.50"},
        {"capabilities", "0x1D3083"},
        {"new_firmware", true},
        {"baud", 9600}}},
      {"qd40",
       {},
       "--baud 115200",
       {{"type_code", 3}, {"version", 203}, {"baud", 115200}, {"capabilities", "0x5E7FFF7"}}},
      {"qd4",
       {},
       "",
       {{"type_code", 2},
        {"type_name", "Qd4"},
        {"version", 112},
        {"version_text", "1.12"},
        {"new_firmware", false},
        {"capabilities", "0x331C"}}},
      {"radio",
       {"--awake"},
       "--radio",
       {{"link", "radio"}, {"device_name", "RADIO1"}, {"type_code", 3}, {"version", 203}}},
      {"radio",
       {"--awake", "--modem-channel", "0"},
       "--radio --name RADIO1 --channel 3 "
       "--subchannel 4660",
       {{"device_name", "RADIO1"}, {"type_name", "Qd40"}}},
  };
  for (const Family& f : families) {
    SCOPED_TRACE(f.family + " " + f.toolArguments);
    SimInstrument sim(f.family);
    ASSERT_TRUE(sim.Start(f.simArguments)) << sim.Error();
    const ToolOutcome outcome =
        RunTool(VEXABSL_PATH, "identify --json --port '" + sim.LinkPath() + "' --log '" +
                                  sim.PathFor("errors.txt") + "' " + f.toolArguments);
    ASSERT_EQ(outcome.exit, 0) << outcome.output;
    const nlohmann::json printed = nlohmann::json::parse(outcome.output, nullptr, false);
    ASSERT_TRUE(printed.is_object()) << outcome.output;
    for (const auto& [key, value] : f.expected.items()) {
      EXPECT_EQ(printed[key], value) << key;
    }
  }
}

TEST(IdentifyCommand, TextOutputAndFailures) {
  SimInstrument sim("qd4");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const std::string common =
      "identify --port '" + sim.LinkPath() + "' --log '" + sim.PathFor("errors.txt") + "'";
  ToolOutcome outcome = RunTool(VEXABSL_PATH, common);
  ASSERT_EQ(outcome.exit, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("Device type:   2 (Qd4)"), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("Capabilities:  0x331C"), std::string::npos) << outcome.output;

  EXPECT_EQ(RunTool(VEXABSL_PATH, common + " --baud 14400").exit, 64);
  EXPECT_EQ(RunTool(VEXABSL_PATH, common + " --name UNIT").exit, 64);  // needs --radio
  EXPECT_EQ(RunTool(VEXABSL_PATH, common + " --radio --channel 3").exit, 64);
  EXPECT_EQ(RunTool(VEXABSL_PATH, common + " --radio --name time").exit, 64);

  outcome = RunTool(VEXABSL_PATH, "identify --port '" + sim.PathFor("nothing") + "' --log '" +
                                      sim.PathFor("errors.txt") + "'");
  EXPECT_EQ(outcome.exit, 1);
  EXPECT_NE(outcome.output.find("[Error -2]"), std::string::npos) << outcome.output;
}

// A path that is not a serial port is named as such, never by a system error number that means
// something else here (ENOTTY is 25, "login failed"; EISDIR is 21, "no answer").
TEST(IdentifyCommand, APathThatIsNotASerialPortIsNamedAsSuch) {
  SimInstrument sim("qd4");
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const std::string log = " --log '" + sim.PathFor("errors.txt") + "'";
  const char* notPorts[] = {"/etc/passwd", "/dev/null", "/tmp"};
  for (const char* path : notPorts) {
    const ToolOutcome outcome = RunTool(VEXABSL_PATH, std::string("identify --port ") + path + log);
    EXPECT_EQ(outcome.exit, 1) << path;
    EXPECT_NE(outcome.output.find("connecting failed [Error -140] not a serial port"),
              std::string::npos)
        << outcome.output;
  }
  const ToolOutcome missing =
      RunTool(VEXABSL_PATH, "identify --port '" + sim.PathFor("nothing") + "'" + log);
  EXPECT_NE(missing.output.find("[Error -2] the port is not present"), std::string::npos)
      << missing.output;
}

}  // namespace
