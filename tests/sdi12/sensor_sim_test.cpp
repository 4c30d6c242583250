// The SDI-12 layer and vexabsl sensor against the virtual FieldPal with a digital sensor
// attached: the reader relays after "[", the sensor answers, misses commands when told to.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "instrument/device_context.h"
#include "sdi12/vexa_sdi12.h"
#include "tests/support/run_tool.h"
#include "tests/support/sim_instrument.h"

namespace {

const std::vector<std::string> kSensor = {
    "--sensor",    "]",           "--sensor-address", "3",           "--sensor-version",
    "372",         "--sensor-sn", "DS-4711",          "--sensor-x4", "1.25 0.5 7",
    "--sensor-xa", "2 3 4",       "--sensor-xo",      "0.125"};

TEST(SensorCommand, PrintsTheSensorsIdentityAndCalibration) {
  SimInstrument sim("fieldpal");
  ASSERT_TRUE(sim.Start(kSensor)) << sim.Error();
  const ToolOutcome outcome =
      RunTool(VEXABSL_PATH, "sensor --json --port '" + sim.LinkPath() + "' --log '" +
                                sim.PathFor("errors.txt") + "'");
  ASSERT_EQ(outcome.exit, 0) << outcome.output;
  const nlohmann::json out = nlohmann::json::parse(outcome.output);
  EXPECT_EQ(out["address"], "3");
  EXPECT_EQ(out["version"], 372);
  EXPECT_EQ(out["type"], "]");
  EXPECT_EQ(out["type_code"], ']');
  EXPECT_EQ(out["numeric_type"], false);
  EXPECT_EQ(out["serial_number"], "DS-4711");
  EXPECT_EQ(out["x4"], "1.25 0.5 7");
  EXPECT_EQ(out["xa"], "2 3 4");
  EXPECT_EQ(out["xo"], "0.125");
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["sensor"]["sets"], 0);  // reading changes nothing
}

TEST(SensorCommand, NamesNumericTypesAndFailsWithoutASensor) {
  SimInstrument sim("fieldpal");
  ASSERT_TRUE(sim.Start({"--sensor", "105", "--sensor-sn", ""})) << sim.Error();
  const std::string arguments =
      "sensor --port '" + sim.LinkPath() + "' --log '" + sim.PathFor("errors.txt") + "'";
  ToolOutcome outcome = RunTool(VEXABSL_PATH, arguments);
  ASSERT_EQ(outcome.exit, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("Type:          105 ("), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("Serial number: (none)"), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("XO:            (none)"), std::string::npos) << outcome.output;
  EXPECT_EQ(sim.Stop(), 0);

  // A reader without a sensor: nothing answers behind the relay.
  ASSERT_TRUE(sim.Start()) << sim.Error();
  outcome = RunTool(VEXABSL_PATH, arguments);
  EXPECT_EQ(outcome.exit, 1) << outcome.output;
  EXPECT_NE(outcome.output.find("reading the sensor failed [Error -21]"), std::string::npos)
      << outcome.output;
}

TEST(SensorCommand, ShowsOldNineNumberCalibrationConverted) {
  SimInstrument sim("fieldpal");
  ASSERT_TRUE(sim.Start(
      {"--sensor", "u", "--sensor-version", "339", "--sensor-x4", "1.5 100 600 0 20 30 0 0 25"}))
      << sim.Error();
  const ToolOutcome outcome =
      RunTool(VEXABSL_PATH, "sensor --json --port '" + sim.LinkPath() + "' --log '" +
                                sim.PathFor("errors.txt") + "'");
  ASSERT_EQ(outcome.exit, 0) << outcome.output;
  const nlohmann::json out = nlohmann::json::parse(outcome.output);
  EXPECT_EQ(out["x4"], "1.500 -2.000000e+02 2.000000e+00 0.000000e+00 25.0 25.0");
  EXPECT_EQ(out["version"], 339);
}

// Opens the reader's port, switches it to relaying and gives the sensor object.
class RelayedSensor {
 public:
  explicit RelayedSensor(const std::string& link)
      : log_(nullptr, 0), device_(&log_), sdi_(&log_, &device_) {
    opened_ = DSOpen(&device_.port, link.c_str(), 9600);
    DSWrite(&device_.port, "[", 1, nullptr);
    PumpingWait(500);
  }
  ~RelayedSensor() {
    DSWrite(&device_.port, "`", 1, nullptr);
    DSClose(&device_.port);
  }
  int32_t Opened() const { return opened_; }
  VexaSDI12& Sdi() { return sdi_; }

 private:
  VexaLog log_;
  DeviceContext device_;
  VexaSDI12 sdi_;
  int32_t opened_ = 0;
};

TEST(SensorThroughSimulator, SaveAndRestoreLeaveTheSettingsUnchanged) {
  // Every fourth command is missed: the recovery runs, and the settings still come through.
  for (const std::string miss : {"", "sensor-miss=4"}) {
    SCOPED_TRACE(miss);
    SimInstrument sim("fieldpal");
    std::vector<std::string> arguments = kSensor;
    if (!miss.empty()) arguments.insert(arguments.end(), {"--fault", miss});
    ASSERT_TRUE(sim.Start(arguments)) << sim.Error();
    {
      RelayedSensor sensor(sim.LinkPath());
      ASSERT_EQ(sensor.Opened(), 1);
      ASSERT_EQ(SDISaveSensor(&sensor.Sdi()), 1);
      EXPECT_EQ(SDIRestoreSensor(&sensor.Sdi()), 1);
      EXPECT_EQ(SDICheckBinary(&sensor.Sdi()), 1);
    }
    EXPECT_EQ(sim.Stop(), 0);
    const nlohmann::json stats = sim.Stats()["instrument"]["sensor"];
    EXPECT_EQ(stats["address"], "3");
    EXPECT_EQ(stats["type"], "]");
    EXPECT_EQ(stats["serial"], "DS-4711");
    EXPECT_EQ(stats["x4"], "1.25 0.5 7");
    EXPECT_EQ(stats["xa"], "2 3 4");
    EXPECT_EQ(stats["xo"], "0.125");
    EXPECT_EQ(stats["sets"], 4);  // serial number, X5, Xb, XO; the address was already right
    if (!miss.empty()) {
      EXPECT_GT(stats["missed"], 0);
    }
  }
}

TEST(SensorThroughSimulator, LoaderAndSelfTestAnswers) {
  SimInstrument sim("fieldpal");
  ASSERT_TRUE(sim.Start({"--sensor", "z", "--fault", "sensor-no-bsl", "--fault", "sensor-corrupt"}))
      << sim.Error();
  {
    RelayedSensor sensor(sim.LinkPath());
    ASSERT_EQ(sensor.Opened(), 1);
    EXPECT_EQ(SDICheckBinary(&sensor.Sdi()), kErrFirmwareCorrupt);
    EXPECT_EQ(SDIInvokeVexaBSL(&sensor.Sdi()), kErrSensorHasNoLoader);
    EXPECT_EQ(SDISetSensorType(&sensor.Sdi(), 119), 1);
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["sensor"]["in_loader"], false);
  EXPECT_EQ(sim.Stats()["instrument"]["sensor"]["type"], "w");

  ASSERT_TRUE(sim.Start({"--sensor", "z"})) << sim.Error();
  {
    RelayedSensor sensor(sim.LinkPath());
    EXPECT_EQ(SDIInvokeVexaBSL(&sensor.Sdi()), 1);
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(sim.Stats()["instrument"]["sensor"]["in_loader"], true);
}

}  // namespace
