// The loggers' settings store byte for byte: what a Qd40 in use answers, which commands each
// firmware version knows, sets that break a rule, the inverted trait and the network gate, the
// rQ7's command set, the oldest Qd4's echoes and "!", the clock, silent-for and --state.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

struct Exchange {
  const char* command;
  const char* answer;
};

class LoggerStore : public ::testing::Test {
 protected:
  void Begin(const std::string& family, const std::vector<std::string>& arguments = {}) {
    sim_ = std::make_unique<SimInstrument>(family);
    ASSERT_TRUE(sim_->Start(arguments)) << sim_->Error();
    ASSERT_TRUE(line_.Open(sim_->LinkPath(), 9600));
  }
  void ExpectAnswers(const std::vector<Exchange>& exchanges) {
    for (const Exchange& exchange : exchanges) {
      EXPECT_EQ(line_.Exchange(exchange.command, '>'), exchange.answer)
          << "command " << exchange.command;
    }
  }
  // Ends the simulator and returns its statistics' instrument part.
  nlohmann::json Finish() {
    line_.Close();
    EXPECT_EQ(sim_->Stop(), 0);
    return sim_->Stats()["instrument"];
  }

  std::unique_ptr<SimInstrument> sim_;
  SimLine line_;
};

// Seconds since 2000-01-01 00:00:00 of a wall time.
int64_t WallSeconds(int year, int month, int day, int hour, int minute, int second) {
  struct tm wall = {};
  wall.tm_year = year - 1900;
  wall.tm_mon = month - 1;
  wall.tm_mday = day;
  wall.tm_hour = hour;
  wall.tm_min = minute;
  wall.tm_sec = second;
  return static_cast<int64_t>(timegm(&wall)) - 946684800;
}

TEST_F(LoggerStore, Qd40InUseAnswersEverySetting) {
  Begin("qd40");
  ExpectAnswers({
      {"get -ver\r", "\rQd40 2.03\r>"},
      {"get -i\r", "\rLOGGER1\r>"},
      {"get -devid\r", "\rD0012345\r>"},
      {"get -report\r", "\r2\r>"},
      {"get -depth\r", "\r10 20 30 40 50\r>"},
      {"get -site\r", "\rNorth Creek weir\r>"},
      {"get -lat\r", "\r+45.12345\r>"},
      {"get -long\r", "\r-122.54321\r>"},
      {"get -tz\r", "\r-32\r>"},
      {"get -sn\r", "\rQ40-0012345\r>"},
      {"get -w\r", "\r60\r>"},
      {"get -padc\r", "\r2000\r>"},
      {"get -ports\r", "\r1 2 3 0 0\r>"},
      {"get -trait\r", "\r246\r>"},  // T = 9, kept inverted
      // The sums of the ten: 635 and 715, modulo 256.
      {"get -adc30\r", "\r120 3 121 4 122 5 123 6 124 7 123\r>"},
      {"get -adc15\r", "\r130 9 131 10 132 11 133 12 134 13 203\r>"},
      {"get -data\r", "\r1\r>"},
      {"get -build\r", "\rB1234-5\r>"},
      {"get -apn\r", "\rinternet.example\r>"},
      {"get -user\r", "\rvexa\r>"},
      {"get -passwd\r", "\rs3cret\r>"},
      {"get -authkey\r", "\r00112233445566778899AABBCCDDEEFF\r>"},
      {"get -teakey\r", "\rERROR\r>"},
      {"get -host\r", "\rdata.example.com\r>"},
      {"get -ipport\r", "\r5000\r>"},
      {"get -r\r", "\r1\r>"},
      {"get -rver\r", "\rOK\r1085\r>"},
      {"get -hver\r", "\rERROR\r>"},
      {"get -tz 5\r", "\rERROR\r>"},
  });
  nlohmann::json instrument = Finish();
  nlohmann::json settings = instrument["settings"];
  ASSERT_TRUE(settings["clock"].is_number_integer());
  settings.erase("clock");
  const nlohmann::json expected = {
      {"name", "LOGGER1"},
      {"device_id", "D0012345"},
      {"report_mode", 2},
      {"depths", {10, 20, 30, 40, 50}},
      {"site", "North Creek weir"},
      {"latitude", 45.12345},
      {"longitude", -122.54321},
      {"time_zone", -32},
      {"serial_number", "Q40-0012345"},
      {"wake_interval", 60},
      {"padc", 2000},
      {"ports", {1, 2, 3, 0, 0}},
      {"trait", 9},
      {"adc30_slopes", {120, 121, 122, 123, 124}},
      {"adc30_offsets", {3, 4, 5, 6, 7}},
      {"adc15_slopes", {130, 131, 132, 133, 134}},
      {"adc15_offsets", {9, 10, 11, 12, 13}},
      {"data_parameter", 1},
      {"build", "B1234-5"},
      {"apn", "internet.example"},
      {"apn_user", "vexa"},
      {"apn_password", "s3cret"},
      {"auth_key", "00112233445566778899AABBCCDDEEFF"},
      {"remote_host", "data.example.com"},
      {"ip_port", 5000},
      {"radio_mode", 1},
      {"radio_channel", 3},
      {"radio_subchannel", 4660},
      {"radio_version", "1085"},
  };
  EXPECT_EQ(settings, expected) << settings.dump(1);
  EXPECT_EQ(instrument["rmode_commands"], 1);
  EXPECT_EQ(instrument["data_erases"], 0);
}

// Which commands a Qd40 knows, by firmware version: the first version with a command and the
// one before it.
TEST_F(LoggerStore, Qd40CommandsFollowTheFirmwareVersion) {
  struct Version {
    const char* version;
    std::vector<Exchange> exchanges;
  };
  const std::vector<Version> versions = {
      {"1.07", {{"get -trait\r", "\rERROR\r>"}, {"get -w\r", "\r60\r>"}}},
      {"1.08", {{"get -trait\r", "\r246\r>"}, {"set -trait 240\r", "\rERROR\r>"}}},
      {"1.13", {{"get -adc30\r", "\rERROR\r>"}, {"get -data\r", "\rERROR\r>"}}},
      {"1.15",
       {{"get -data\r", "\r1\r>"}, {"set -build X\r", "\rOK\r>"}, {"get -devid\r", "\rERROR\r>"}}},
      {"1.99", {{"get -devid\r", "\rERROR\r>"}, {"set -tz 4\r", "\rERROR\r>"}}},
      {"2.00", {{"get -devid\r", "\rD0012345\r>"}, {"set -trait 240\r", "\rOK\r>"}}},
      {"2.01", {{"get -lat\r", "\rERROR\r>"}, {"get -site\r", "\rNorth Creek weir\r>"}}},
      {"2.03", {{"get -lat\r", "\r+45.12345\r>"}, {"get -long\r", "\r-122.54321\r>"}}},
  };
  for (const Version& version : versions) {
    SCOPED_TRACE(version.version);
    Begin("qd40", {"--version", version.version});
    ExpectAnswers(version.exchanges);
    line_.Close();
  }
}

TEST_F(LoggerStore, ASetThatBreaksARuleChangesNothing) {
  Begin("qd40");
  struct BrokenSet {
    const char* set;
    const char* get;
    const char* kept;
  };
  const std::vector<BrokenSet> sets = {
      {"set -adc30 1 2 3 4 5 6 7 8 9 10 56\r", "get -adc30\r",
       "\r120 3 121 4 122 5 123 6 124 7 123\r>"},  // the check value is 55
      {"set -adc15 1 2 3 4 5 6 7 8 9 10\r", "get -adc15\r",
       "\r130 9 131 10 132 11 133 12 134 13 203\r>"},
      {"set -depth 1 2 3 4\r", "get -depth\r", "\r10 20 30 40 50\r>"},
      {"set -depth 1 2 3 4 256\r", "get -depth\r", "\r10 20 30 40 50\r>"},
      {"set -ports 1 2 3 4 5 6\r", "get -ports\r", "\r1 2 3 0 0\r>"},
      {"set -tz 57\r", "get -tz\r", "\r-32\r>"},
      {"set -tz -49\r", "get -tz\r", "\r-32\r>"},
      {"set -lat 90.5\r", "get -lat\r", "\r+45.12345\r>"},
      {"set -long -180.00001\r", "get -long\r", "\r-122.54321\r>"},
      {"set -lat 1e1\r", "get -lat\r", "\r+45.12345\r>"},
      {"set -i NINECHARS\r", "get -i\r", "\rLOGGER1\r>"},
      {"set -i\r", "get -i\r", "\rLOGGER1\r>"},
      {"set -i TWO WORDS\r", "get -i\r", "\rLOGGER1\r>"},
      {"set -devid D 1\r", "get -devid\r", "\rD0012345\r>"},
      {"set -site 12345678901234567890123456\r", "get -site\r", "\rNorth Creek weir\r>"},
      {"set -sn 1234567890123456\r", "get -sn\r", "\rQ40-0012345\r>"},
      {"set -w -1\r", "get -w\r", "\r60\r>"},
      {"set -w 86401\r", "get -w\r", "\r60\r>"},
      {"set -padc 1000001\r", "get -padc\r", "\r2000\r>"},
      {"set -report 2147483648\r", "get -report\r", "\r2\r>"},
      {"set -trait 256\r", "get -trait\r", "\r246\r>"},
      {"set -authkey 00112233445566778899AABBCCDDEEF\r", "get -authkey\r",
       "\r00112233445566778899AABBCCDDEEFF\r>"},
      {"set -authkey 00112233445566778899AABBCCDDEEFG\r", "get -authkey\r",
       "\r00112233445566778899AABBCCDDEEFF\r>"},
      {"set -ipport 65536\r", "get -ipport\r", "\r5000\r>"},
      {"set -r 256\r", "get -r\r", "\r1\r>"},
      {"set -build 12345678901234567\r", "get -build\r", "\rB1234-5\r>"},
  };
  for (const BrokenSet& set : sets) {
    EXPECT_EQ(line_.Exchange(set.set, '>'), "\rERROR\r>") << set.set;
    EXPECT_EQ(line_.Exchange(set.get, '>'), set.kept) << set.set;
  }
  // Good sets are answered OK and read back as the firmware keeps them.
  ExpectAnswers({
      {"set -adc30 1 2 3 4 5 6 7 8 9 10 55\r", "\rOK\r>"},
      {"get -adc30\r", "\r1 2 3 4 5 6 7 8 9 10 55\r>"},
      {"set -lat -12.5\r", "\rOK\r>"},
      {"get -lat\r", "\r-12.50000\r>"},
      {"set -lat \r", "\rOK\r>"},
      {"get -lat\r", "\r\r>"},  // cleared: the bare prompt
      {"set -long\r", "\rOK\r>"},
      {"get -long\r", "\r\r>"},
      {"set -site Upper Creek, gauge 2\r", "\rOK\r>"},
      {"get -site\r", "\rUpper Creek, gauge 2\r>"},
      {"set -devid\r", "\rOK\r>"},
      {"get -devid\r", "\r\r>"},
      {"set -tz 56\r", "\rOK\r>"},
      {"set -report -7\r", "\rOK\r>"},
      {"get -report\r", "\r-7\r>"},
      {"set -authkey 0123456789abcdef0123456789ABCDEF\r", "\rOK\r>"},
      {"get -authkey\r", "\r0123456789abcdef0123456789ABCDEF\r>"},
  });
  const nlohmann::json settings = Finish()["settings"];
  EXPECT_TRUE(settings["latitude"].is_null());
  EXPECT_TRUE(settings["longitude"].is_null());
  EXPECT_EQ(settings["time_zone"], 56);
  EXPECT_EQ(settings["adc30_slopes"], nlohmann::json({1, 3, 5, 7, 9}));
  EXPECT_EQ(settings["adc30_offsets"], nlohmann::json({2, 4, 6, 8, 10}));
}

TEST_F(LoggerStore, TraitIsStoredInvertedAndGatesTheNetworkItems) {
  Begin("qd40", {"--trait", "1"});  // a radio, no network modem
  ExpectAnswers({
      {"get -trait\r", "\r254\r>"},
      {"get -apn\r", "\rERROR\r>"},
      {"get -authkey\r", "\rERROR\r>"},
      {"get -ipport\r", "\rERROR\r>"},
      {"set -host other.example\r", "\rERROR\r>"},
      {"set -trait 246\r", "\rOK\r>"},  // the updater writes T = 9 inverted
      {"get -trait\r", "\r246\r>"},
      {"get -apn\r", "\rinternet.example\r>"},
      {"set -host other.example\r", "\rOK\r>"},
      {"get -host\r", "\rother.example\r>"},
  });
  const nlohmann::json settings = Finish()["settings"];
  EXPECT_EQ(settings["trait"], 9);
  EXPECT_EQ(settings["remote_host"], "other.example");

  Begin("qd40", {"--teakey"});
  ExpectAnswers({
      {"get -authkey\r", "\rERROR\r>"},
      {"get -teakey\r", "\r00112233445566778899AABBCCDDEEFF\r>"},
      {"set -authkey FFEEDDCCBBAA99887766554433221100\r", "\rOK\r>"},
      {"get -teakey\r", "\rFFEEDDCCBBAA99887766554433221100\r>"},
  });
}

TEST_F(LoggerStore, Rq7HasItsOwnCommandSet) {
  Begin("rq7");
  ExpectAnswers({
      {"get -ver\r", "\rRQ7 1.20\r>"},
      {"get -i\r", "\rRQ7UNIT1\r>"},
      {"get -r\r", "\rERROR\r>"},
      {"set -r 1\r", "\rERROR\r>"},
      {"get -build\r", "\rERROR\r>"},
      {"get -apn\r", "\rERROR\r>"},  // never, whatever the trait
      {"get -sec\r", "\rERROR\r>"},
      {"get -lat\r", "\r+45.12345\r>"},
      {"get -trait\r", "\r246\r>"},
      {"set -trait 254\r", "\rOK\r>"},
      {"get -adc15\r", "\r130 9 131 10 132 11 133 12 134 13 203\r>"},
      {"get -rch\r", "\rOK\r3\r>"},
      {"set -d 2024-02-29\r", "\rOK\r>"},
      {"yes\r", "\rOK\r>"},
  });
  const nlohmann::json instrument = Finish();
  EXPECT_EQ(instrument["rmode_commands"], 2);
  EXPECT_EQ(instrument["data_erases"], 1);
  EXPECT_EQ(instrument["settings"]["trait"], 1);
}

TEST_F(LoggerStore, OldestQd4EchoesItsSetsAndEndsTheEraseWithAMark) {
  Begin("qd4");
  ExpectAnswers({
      {"set -w 120\r", "\rWake: 120\r>"},
      {"set -r 2\r", "\rRadio: 2\r>"},
      {"set -i NEWNAME\r", "\rID: NEWNAME\r>"},
      {"set -w -5\r", "\rERROR\r>"},
      {"show\r", "\rID: NEWNAME\rVersion: 1.12\rRadio: 2\rWake: 120\rResets: 3\r>"},
      {"set -t 13:5:9\r", "\rTime: 13:05:09\r>"},
      {"set -d 2024-2-29\r", "\rDate: 2024-02-29\r>"},
      {"set -d 2023-02-29\r", "\rERROR\r>"},
      {"hertz\r", "\rERROR\r>"},  // below 1.65
      {"set -p 1500\r", "\rERROR\r>"},
      {"get -t\r", "\rERROR\r>"},
      {"get -w\r", "\rERROR\r>"},
      {"set -sec 1000\r", "\rERROR\r>"},
      {"yes\r", "\rOK - data erased!\r>"},
  });
  EXPECT_EQ(line_.Exchange("time\r", '>').substr(0, 27), "\rDate\\Time: 2024-02-29 13:0");
  EXPECT_EQ(Finish()["data_erases"], 1);

  Begin("qd4", {"--version", "1.65", "--fault", "dataflash-fail"});
  ExpectAnswers({
      {"hertz\r", "\r2000\r>"},
      {"set -p 1500\r", "\rHertz: 1500\r>"},
      {"hertz\r", "\r1500\r>"},
      {"yes\r", "\rDataFlash FAIL!\r>"},
  });
  EXPECT_EQ(Finish()["data_erases"], 0);
}

TEST_F(LoggerStore, Qd40ClockAndDataErase) {
  Begin("qd40", {"--fault", "dataflash-fail"});
  ExpectAnswers({
      {"set -t 13:05:09\r", "\rOK\r>"},
      {"set -d 2024-02-29\r", "\rOK\r>"},
      {"set -t 24:00:00\r", "\rERROR\r>"},
      {"set -d 2024-04-31\r", "\rERROR\r>"},
      {"set -sec -1\r", "\rERROR\r>"},
      {"yes\r", "\rDataFlash FAIL\r>"},
  });
  EXPECT_EQ(line_.Exchange("get -t\r", '>').substr(0, 17), "\r2024-02-29 13:05");
  EXPECT_EQ(line_.Exchange("time\r", '>').substr(0, 28), "\rDate\\Time: 2024-02-29 13:05");
  const std::string seconds = line_.Exchange("get -sec\r", '>');
  ASSERT_GT(seconds.size(), 3u);
  const int64_t read = std::stoll(seconds.substr(1));
  EXPECT_GE(read, WallSeconds(2024, 2, 29, 13, 5, 9));
  EXPECT_LE(read, WallSeconds(2024, 2, 29, 13, 5, 9) + 5);
  ExpectAnswers({{"set -sec 1000\r", "\rOK\r>"}});
  EXPECT_EQ(line_.Exchange("get -t\r", '>').substr(0, 17), "\r2000-01-01 00:16");
  const nlohmann::json instrument = Finish();
  EXPECT_EQ(instrument["data_erases"], 0);
  EXPECT_GE(instrument["settings"]["clock"], 1000);
  EXPECT_LE(instrument["settings"]["clock"], 1005);

  Begin("qd40", {"--data-erase-ms", "300", "--realtime"});
  const uint32_t start = MsClock();
  EXPECT_EQ(line_.Exchange("yes\r", '>', 2000), "\rOK\r>");
  EXPECT_GE(MsClock() - start, 300u) << "erasing takes the data-erase time";
  EXPECT_EQ(Finish()["data_erases"], 1);
}

TEST_F(LoggerStore, SilentForDropsExactlyKAnswers) {
  Begin("qd40", {"--fault", "silent-after=2", "--fault", "silent-for=3"});
  EXPECT_EQ(line_.Exchange("get -i\r", '>'), "\rLOGGER1\r>");
  EXPECT_EQ(line_.Exchange("get -w\r", '>'), "\r60\r>");
  for (int lost = 0; lost < 3; ++lost) {
    EXPECT_EQ(line_.Exchange("get -i\r", '>', 300), "") << lost;
  }
  EXPECT_EQ(line_.Exchange("get -i\r", '>'), "\rLOGGER1\r>");
  EXPECT_EQ(line_.Exchange("get -ver\r", '>'), "\rQd40 2.03\r>");
  line_.Close();
  ASSERT_EQ(sim_->Stop(), 0);
  EXPECT_EQ(sim_->Stats()["silenced_answers"], 3);

  SimInstrument alone("qd40");
  EXPECT_FALSE(alone.Start({"--fault", "silent-for=3"}));
  EXPECT_NE(alone.Error().find("exit status 64"), std::string::npos) << alone.Error();
}

TEST_F(LoggerStore, TheStoreSurvivesAStateFile) {
  SimInstrument sim("qd40");
  const std::string state = sim.PathFor("state.json");
  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  for (const char* set :
       {"set -i KEEP2\r", "set -site Lower weir\r", "set -lat\r", "set -long +7.25\r",
        "set -tz 22\r", "set -adc15 1 1 1 1 1 1 1 1 1 1 10\r", "set -trait 254\r",
        "set -depth 5 6 7 8 9\r", "set -rch 5\r", "set -d 2031-07-04\r", "set -padc 1234\r"}) {
    ASSERT_EQ(line.Exchange(set, '>'), "\rOK\r>") << set;
  }
  line.Close();
  ASSERT_EQ(sim.Stop(), 0);
  nlohmann::json before = sim.Stats()["instrument"]["settings"];

  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("get -site\r", '>'), "\rLower weir\r>");
  EXPECT_EQ(line.Exchange("get -t\r", '>').substr(0, 11), "\r2031-07-04");
  line.Close();
  ASSERT_EQ(sim.Stop(), 0);
  nlohmann::json after = sim.Stats()["instrument"]["settings"];
  EXPECT_LE(after["clock"].get<int64_t>() - before["clock"].get<int64_t>(), 10);
  before.erase("clock");
  after.erase("clock");
  EXPECT_EQ(after, before) << after.dump(1);
  EXPECT_EQ(after["name"], "KEEP2");
  EXPECT_EQ(after["trait"], 1);

  // Another model's state is refused with a reason, and the file is kept.
  SimInstrument rq7("rq7");
  EXPECT_FALSE(rq7.Start({"--state", state}));
  EXPECT_NE(rq7.Error().find("exit status 1"), std::string::npos) << rq7.Error();
  std::ifstream kept(state);
  EXPECT_EQ(nlohmann::json::parse(kept, nullptr, false)["model"], "qd40");
}

TEST_F(LoggerStore, TheFirstStateFormatIsStillRead) {
  SimInstrument sim("qd40");
  const std::string state = sim.PathFor("state.json");
  {
    std::ofstream old(state);
    old << R"({"family": "logger", "format": 1, "name": "OLDONE", "radio_channel": 6,)"
        << R"( "radio_subchannel": 255})";
  }
  ASSERT_TRUE(sim.Start({"--state", state})) << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("get -i\r", '>'), "\rOLDONE\r>");
  EXPECT_EQ(line.Exchange("get -rch\r", '>'), "\rOK\r6\r>");
  EXPECT_EQ(line.Exchange("get -site\r", '>'), "\rNorth Creek weir\r>");
  line.Close();
  ASSERT_EQ(sim.Stop(), 0);
  std::ifstream rewritten(state);
  EXPECT_EQ(nlohmann::json::parse(rewritten, nullptr, false)["format"], 2);
}

}  // namespace
