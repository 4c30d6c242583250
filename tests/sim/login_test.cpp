// The families that need a login (Hydrella Lite, Series 3, 4, Pre and the PX3C) answer only their
// version and hardware revision until "login *5927"; whichever virtual instrument plays one, by
// its type word, is as strict. The other families answer without a login.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/clock.h"
#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

struct LoginCase {
  const char* name;
  const char* family;
  std::vector<std::string> arguments;
  bool needsLogin;
};

void PrintTo(const LoginCase& login, std::ostream* out) {
  *out << login.name;
}

const std::string kRefused = "\rERROR\r>";
const std::string kOk = "\rOK\r>";

class AccessCodeLogin : public ::testing::TestWithParam<LoginCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start(GetParam().arguments)) << sim_.Error();
    ASSERT_TRUE(line_.Open(sim_.LinkPath(), 9600));
  }
  void TearDown() override {
    line_.Close();
    sim_.Stop();
  }
  std::string Ask(const std::string& command) { return line_.Exchange(command + "\r", '>'); }

  SimInstrument sim_{GetParam().family};
  SimLine line_;
};

TEST_P(AccessCodeLogin, GuardsEverythingButTheVersionUntilTheCodeIsGiven) {
  const bool gated = GetParam().needsLogin;
  EXPECT_NE(Ask("get -ver"), kRefused);
  EXPECT_EQ(Ask("get -sn") == kRefused, gated) << "a read before the login";
  EXPECT_EQ(Ask("set -sn NOLOGIN-1") == kRefused, gated) << "a write before the login";
  if (gated) {
    EXPECT_EQ(Ask("login 1234"), kRefused) << "a wrong code";
    EXPECT_EQ(Ask("get -sn"), kRefused) << "a wrong code logs nobody in";
  }
  EXPECT_EQ(Ask("login *5927"), kOk);
  const std::string serial = Ask("get -sn");
  EXPECT_NE(serial, kRefused);
  EXPECT_EQ(serial == "\rNOLOGIN-1\r>", !gated) << "a refused write changed nothing";
  EXPECT_EQ(Ask("logout"), kOk);
  EXPECT_EQ(Ask("get -sn") == kRefused, gated) << "logged out again";
}

INSTANTIATE_TEST_SUITE_P(
    EachFamily, AccessCodeLogin,
    ::testing::Values(
        LoginCase{"hydrella_4", "hs4", {}, true},
        LoginCase{"px3c_as_fieldpal", "fieldpal", {"--type-word", "PX3C"}, true},
        LoginCase{"hydrella_lite_in_lower_case", "fieldpal", {"--type-word", "Hlite"}, true},
        LoginCase{"hydrella_pre_as_logger", "qd40", {"--type-word", "PRE"}, true},
        LoginCase{"fieldpal", "fieldpal", {}, false}, LoginCase{"qd40", "qd40", {}, false}),
    [](const ::testing::TestParamInfo<LoginCase>& param) { return param.param.name; });

TEST(AccessCodeLoginOfTheHydrella4, EndsWithAPowerCut) {
  SimInstrument sim("hs4");
  ASSERT_TRUE(sim.Start({"--fault", "power-cut-after=2", "--power-off-ms", "200", "--realtime"}))
      << sim.Error();
  SimLine line;
  ASSERT_TRUE(line.Open(sim.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("login *5927\r", '>'), kOk);
  EXPECT_EQ(line.Exchange("get -sn\r", '>'), "\rHS4-2210318\r>");  // the power goes after it
  EXPECT_EQ(line.Exchange("get -sn\r", '>', 100), "");
  PumpingWait(300);
  EXPECT_EQ(line.Exchange("get -sn\r", '>'), kRefused) << "powered up logged out";
  line.Close();
  EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
