// vexabsl clock: reads an instrument's clock and compares it with the computer's local time, or
// with --set sets it to the computer's local time first (as an update does after programming).
#include <cstdio>
#include <ctime>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/instrument_link.h"
#include "instrument/device_time.h"
#include "instrument/session.h"
#include "session/connection.h"

namespace {

struct ClockOptions {
  InstrumentArgs link;
  bool set = false;
  bool json = false;
};

// Instrument seconds as the wall time they count.
std::string WallTime(int32_t seconds) {
  const time_t asUtc = static_cast<time_t>(seconds) + kUnixTo2000;
  struct tm wall = {};
  gmtime_r(&asUtc, &wall);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &wall);
  return text;
}

int RunClock(const ClockOptions& options) {
  InstrumentSession session(options.link);
  const int connected = session.Connect();
  if (connected != kExitOk) return connected;
  DeviceContext& device = session.Device();
  // An instrument of a family that needs a login answers nothing but its version without it.
  DeviceDescriptor descriptor;
  const bool identified = DPIdentify(&session.Session(), &descriptor) >= 0;
  if (identified) {
    const int32_t login = LogInWhereNeeded(session.Session());
    if (login < 0) return session.Failed("logging in", login);
  }

  int32_t set = 0;
  int32_t result = kResultOk;
  if (options.set && identified && descriptor.setClock) {
    // As the update sets it: some families take the count of seconds, the others the time.
    set = LocalInstrumentSeconds();
    result = DPSetTime(&session.Session());
  } else if (options.set) {
    result = DeviceTime(&device, &set, SettingDirection::kWrite);
  }
  int32_t seconds = 0;
  if (result >= 0) result = DeviceTime(&device, &seconds, SettingDirection::kRead);
  const int32_t computer = LocalInstrumentSeconds();
  DPLogout(&session.Session(), true);
  if (result < 0) {
    return session.Failed(options.set ? "setting the clock" : "reading the clock", result);
  }

  const int32_t difference = seconds - computer;
  if (options.json) {
    nlohmann::json out = {{"port", options.link.port},           {"seconds", seconds},
                          {"time", WallTime(seconds)},           {"computer_seconds", computer},
                          {"computer_time", WallTime(computer)}, {"difference", difference}};
    if (options.set) out["set_to"] = set;
    std::printf("%s\n", out.dump().c_str());
    return kExitOk;
  }
  if (options.set) std::printf("Set to:           %s\n", WallTime(set).c_str());
  std::printf("Instrument clock: %s (%d s since 2000)\n", WallTime(seconds).c_str(), seconds);
  std::printf("Computer clock:   %s\n", WallTime(computer).c_str());
  std::printf("Difference:       %+d s\n", difference);
  return kExitOk;
}

}  // namespace

void SetupClockCommand(CLI::App& app, CommandRunner& run) {
  auto options = std::make_shared<ClockOptions>();
  CLI::App* clock =
      app.add_subcommand("clock", "Read an instrument's clock, or set it to the computer's time");
  AddInstrumentOptions(clock, options->link);
  clock->add_flag("--set", options->set, "Set the clock to the computer's local time first");
  clock->add_flag("--json", options->json, "Print one JSON object");
  clock->callback([&run, options] { run = [options] { return RunClock(*options); }; });
}
