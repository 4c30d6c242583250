// The save before a firmware upload and the restore after it, against the virtual FieldPal and
// Qd40: what the instrument hears, in which order, and that a restore from the settings file
// alone gives the instrument back the settings it had.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "instrument/device_command.h"
#include "session/connection.h"
#include "session/save_restore.h"
#include "tests/session/session_fixture.h"
#include "tests/support/sim_instrument.h"

namespace {

class SessionSimTest : public SessionTest {
 protected:
  // Starts the simulator with a transcript, and with a state file when `keepState`.
  void Start(const std::string& family, bool keepState = false) {
    sim_ = std::make_unique<SimInstrument>(family);
    std::vector<std::string> arguments = {"--transcript", sim_->PathFor("transcript.jsonl")};
    if (keepState) arguments.insert(arguments.end(), {"--state", sim_->PathFor("state.json")});
    ASSERT_TRUE(sim_->Start(arguments)) << sim_->Error();
  }
  int32_t Connect(SessionContext* session) {
    DeviceDescriptor descriptor;
    const int32_t result = DPConnect(session, sim_->LinkPath().c_str(), 2, 3, &descriptor);
    descriptor_ = descriptor;
    return result;
  }
  void Send(SessionContext* session, const char* command) {
    char answer[64];
    uint32_t size = sizeof answer;
    ASSERT_GT(DeviceCommand(&session->device, command, '>', 2000, answer, &size, nullptr), 0)
        << command;
    EXPECT_STREQ(answer, "\rOK\r>") << command;
  }
  // The setting commands the instrument heard, in order (the identification left out).
  std::vector<std::string> Heard() const {
    std::ifstream in(sim_->PathFor("transcript.jsonl"));
    std::vector<std::string> commands;
    for (std::string text; std::getline(in, text);) {
      const nlohmann::json line = nlohmann::json::parse(text);
      if (line["dir"] != "in") continue;
      const std::string bytes = line["bytes"];
      if ((bytes.rfind("get -", 0) == 0 || bytes.rfind("set -", 0) == 0) &&
          bytes.rfind("get -ver", 0) != 0) {
        commands.push_back(bytes);
      }
    }
    return commands;
  }
  void TearDown() override {
    restored_.reset();
    session_.reset();
    sim_.reset();
    SessionTest::TearDown();
  }

  std::unique_ptr<SimInstrument> sim_;
  std::unique_ptr<SessionContext> restored_;
  DeviceDescriptor descriptor_;
};

// The FieldPal's settings as its state file keeps them, after a run that nobody talked to.
nlohmann::json UntouchedFieldPal() {
  SimInstrument sim("fieldpal");
  EXPECT_TRUE(sim.Start({"--state", sim.PathFor("state.json")})) << sim.Error();
  EXPECT_EQ(sim.Stop(), 0);
  std::ifstream in(sim.PathFor("state.json"));
  return nlohmann::json::parse(in)["settings"];
}

nlohmann::json UntouchedLogger(const std::string& family) {
  SimInstrument sim(family);
  EXPECT_TRUE(sim.Start()) << sim.Error();
  EXPECT_EQ(sim.Stop(), 0);
  nlohmann::json settings = sim.Stats()["instrument"]["settings"];
  settings.erase("clock");  // runs on by itself
  return settings;
}

TEST_F(SessionSimTest, AFieldPalIsSavedAndRestoredFromTheFileAlone) {
  const nlohmann::json original = UntouchedFieldPal();
  Start("fieldpal", true);
  ASSERT_EQ(Connect(session_.get()), 1);
  EXPECT_EQ(session_->type, 14);
  EXPECT_EQ(descriptor_.type, 14);
  EXPECT_EQ(descriptor_.version, 150u);

  const std::string path = PathFor("FieldPal.settings.txt");
  ASSERT_EQ(DPSaveInfo(session_.get(), path.c_str()), 1);
  EXPECT_EQ(session_->lab.presentMask, 0x002C0013u);
  EXPECT_STREQ(session_->lab.name, "FP0042");
  EXPECT_STREQ(session_->lab.cal[2], "T offset -0.15");
  EXPECT_STREQ(session_->lab.cal[3], "");
  EXPECT_TRUE(session_->settingsHeld);

  // Settings lost in the upload, as the session's own commands would leave them.
  for (const char* command : {"set -i OTHER\r", "set -sn X-1\r", "set -contr 99\r",
                              "set -adc15 1.0000 0.0000\r", "set -cal 1\r", "set -cal 2\r"}) {
    Send(session_.get(), command);
  }
  EXPECT_EQ(DPLogout(session_.get(), false), 1);

  // The program started again: nothing held but the file.
  restored_ = std::make_unique<SessionContext>(log_.get());
  ASSERT_EQ(Connect(restored_.get()), 1);
  ASSERT_FALSE(restored_->settingsHeld);
  EXPECT_EQ(DPRestoreInfo(restored_.get(), path.c_str(), nullptr), 1);
  EXPECT_EQ(restored_->lab.presentMask, 0x002C0013u);
  DPLogout(restored_.get(), false);
  ASSERT_EQ(sim_->Stop(), 0);

  const std::vector<std::string> expected = {
      // the save, in the collection's order; the fourth entry is empty and ends the list
      "get -sn\r", "get -contr\r", "get -i\r", "get -adc15\r", "get -adc30\r", "get -cal 0\r",
      "get -cal 1\r", "get -cal 2\r", "get -cal 3\r", "get -cal 3\r", "get -cal 3\r",
      // the disturbance
      "set -i OTHER\r", "set -sn X-1\r", "set -contr 99\r", "set -adc15 1.0000 0.0000\r",
      "set -cal 1\r", "set -cal 2\r",
      // the restore, in its own order
      "set -sn FP14-2291047\r", "set -contr 37\r", "set -i FP0042\r", "set -adc15 0.9987 0.0012\r",
      "set -adc30 1.0021 -0.0008\r", "set -cal 0 pH 4.01 7.00 10.01 slope 0.9912\r",
      "set -cal 1 EC 1413 12880 cell 1.012\r", "set -cal 2 T offset -0.15\r"};
  EXPECT_EQ(Heard(), expected);

  std::ifstream in(sim_->PathFor("state.json"));
  EXPECT_EQ(nlohmann::json::parse(in)["settings"], original);
}

TEST_F(SessionSimTest, AQd40IsRestoredFromTheFileAlone) {
  const nlohmann::json original = UntouchedLogger("qd40");
  Start("qd40");
  ASSERT_EQ(Connect(session_.get()), 1);
  EXPECT_EQ(session_->type, 3);
  const std::string path = PathFor("LOGGER1.settings.txt");
  ASSERT_EQ(DPSaveInfo(session_.get(), path.c_str()), 1);
  for (const char* command : {"set -i OTHER\r", "set -site Elsewhere\r", "set -w 900\r",
                              "set -tz 4\r", "set -depth 1 1 1 1 1\r", "set -lat +1.5\r"}) {
    Send(session_.get(), command);
  }
  EXPECT_EQ(DPLogout(session_.get(), false), 1);

  restored_ = std::make_unique<SessionContext>(log_.get());
  ASSERT_EQ(Connect(restored_.get()), 1);
  EXPECT_EQ(DPRestoreInfo(restored_.get(), path.c_str(), nullptr), 1);
  DPLogout(restored_.get(), false);
  ASSERT_EQ(sim_->Stop(), 0);
  nlohmann::json settings = sim_->Stats()["instrument"]["settings"];
  settings.erase("clock");
  EXPECT_EQ(settings, original);
}

TEST_F(SessionSimTest, ALoggerWithADeviceIdKeepsItsSerialNumber) {
  Start("qd40");
  ASSERT_EQ(Connect(session_.get()), 1);
  ASSERT_EQ(DPSaveInfo(session_.get(), PathFor("LOGGER1.settings.txt").c_str()), 1);
  ASSERT_STREQ(session_->settings.deviceId, "D0012345");
  EXPECT_EQ(DPRestoreInfo(session_.get(), PathFor("LOGGER1.settings.txt").c_str(), "NEW-SN-1"), 1);
  DPLogout(session_.get(), false);
  ASSERT_EQ(sim_->Stop(), 0);
  for (const std::string& command : Heard()) {
    EXPECT_NE(command.rfind("set -sn", 0), 0u) << command;
  }
  EXPECT_EQ(sim_->Stats()["instrument"]["settings"]["serial_number"], "Q40-0012345");
}

}  // namespace
