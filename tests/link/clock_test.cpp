#include "link/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

namespace {

int g_pump_calls = 0;
void CountingPump(uint32_t maxWaitMs) {
  ++g_pump_calls;
  struct timespec pause = {0, static_cast<long>(maxWaitMs < 50 ? maxWaitMs : 50) * 1000000L};
  nanosleep(&pause, nullptr);
}

TEST(PumpingWait, ShortWaitsSleepAndLongWaitsPump) {
  {
    const MessagePumpScope pump(CountingPump);
    g_pump_calls = 0;
    uint32_t start = MsClock();
    PumpingWait(100);
    EXPECT_GE(MsClock() - start, 100u);
    EXPECT_EQ(g_pump_calls, 0);

    start = MsClock();
    PumpingWait(750);
    EXPECT_GE(MsClock() - start, 750u);
    EXPECT_GT(g_pump_calls, 1);
  }

  g_pump_calls = 0;
  PumpingWait(200);
  EXPECT_EQ(g_pump_calls, 0) << "without a pump the wait just sleeps";
}

// Each thread pauses with its own pump: a run on one thread never runs another thread's events.
TEST(PumpingWait, AThreadsPumpServesThatThreadAlone) {
  const MessagePumpScope pump(CountingPump);
  g_pump_calls = 0;
  std::thread other([] { PumpingWait(200); });
  other.join();
  EXPECT_EQ(g_pump_calls, 0);
  PumpingWait(200);
  EXPECT_GT(g_pump_calls, 0);
}

class UtcOffsetTest : public ::testing::TestWithParam<std::pair<const char*, int32_t>> {};

TEST_P(UtcOffsetTest, MatchesTheZone) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", GetParam().first, 1);
  tzset();
  EXPECT_EQ(UtcOffset(), GetParam().second);
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

// Fixed-offset zones (POSIX signs are inverted) and a zone with daylight saving all year.
INSTANTIATE_TEST_SUITE_P(Zones, UtcOffsetTest,
                         ::testing::Values(std::make_pair("UTC0", 0),
                                           std::make_pair("<+0530>-5:30", 19800),
                                           std::make_pair("<-07>7", -25200),
                                           std::make_pair("XST3XDT,J1/0,J365/25", -7200)));

}  // namespace
