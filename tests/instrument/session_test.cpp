// The connection life against scripted instruments: identification rules, baud changes, the
// radio wake's pacing, the radio modem's AT commands and the rules for instrument names.
#include "instrument/session.h"

#include <chrono>
#include <thread>

#include "instrument/device_command.h"
#include "instrument/device_types.h"
#include "instrument/identify.h"
#include "instrument/radio_login.h"
#include "instrument/radio_modem.h"
#include "tests/instrument/instrument_fixture.h"

namespace {

using Step = PtyDevice::Step;

TEST(CheckDeviceName, FollowsTheNameRules) {
  struct Case {
    const char* name;
    int32_t result;
  };
  const Case cases[] = {
      {"FieldPal", 1},  {"Time", 1},        {"a", 1},        {"~!#$%&'(", 1},  {nullptr, -53},
      {"", -53},        {"NINECHARS", -54}, {"time", -52},   {"OK", -52},      {"Unsupported", -54},
      {"boot", -52},    {"two word", -50},  {"tab\tx", -50}, {"del\x7f", -50}, {"a,b", -51},
      {"a?b", -51},     {"a\\b", -51},      {"a\"b", -51},   {"a/b", -51},     {"<a>", -51},
      {"a*b", -51},     {"a|b", -51},       {"a:b", -51},    {"a;b", -51},     {"\xff", -50},
      {"caf\xe9", -56},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckDeviceName(c.name), c.result) << (c.name ? c.name : "(none)");
  }
}

TEST(DeviceTypes, WordsAndCapabilities) {
  EXPECT_EQ(DeviceTypeOfWord("Qd40"), device_type::kQd40);
  EXPECT_EQ(DeviceTypeOfWord("qd4b"), device_type::kQd4b);
  EXPECT_EQ(DeviceTypeOfWord("AQUEL_CAL"), device_type::kAquelCalibrator);
  EXPECT_EQ(DeviceTypeOfWord("QD400"), device_type::kUnknown);  // whole words only
  EXPECT_EQ(DeviceTypeOfWord("AVERYLONGTYPEWORDINDEED"), device_type::kUnknown);
  EXPECT_STREQ(DeviceTypeName(device_type::kAquelCommDev), "AQUEL Comm Dev");
  EXPECT_STREQ(DeviceTypeName(200), "Unknown");

  struct Case {
    uint8_t type;
    bool newFirmware;
    int32_t version;
    uint32_t mask;
  };
  const Case cases[] = {
      {device_type::kUnknown, true, 100, 0x1005},
      {device_type::kQd4, true, 150, 0x371F},
      {device_type::kQd4, false, 112, 0x331C},
      {device_type::kQd40, true, 104, 0x7737},
      {device_type::kQd40, true, 105, 0x77B7},
      {device_type::kQd40, true, 199,
       0x7737 | 0x80 | 0x40 | 0x8800 | 0x70000 | 0xC00000 | 0x200000},
      {device_type::kQd40, true, 200,
       0x7737 | 0x80 | 0x40 | 0x8800 | 0x70000 | 0xC00000 | 0x200000 | 0x1000000},
      {device_type::kQd40, true, 202, 0x5E7FFF7},
      {device_type::kLinkDepot, true, 109, 0x4503 | 0x80 | 0x20000},
      {device_type::kQd4b, true, 204, 0x74BE | 0x40000},
      {device_type::kFieldPal, true, 150, 0x1D3083},
      {device_type::kZRT2, true, 100, 0x7C3F6F7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeviceCapabilities(c.type, c.newFirmware, c.version), c.mask)
        << int(c.type) << " " << c.version;
  }
}

TEST(ConnectDevice, RefusesRequestsItCannotServe) {
  struct Case {
    uint8_t linkKind;
    uint8_t baudCode;
    const char* port;
    int32_t result;
  };
  const Case cases[] = {
      {link_kind::kNone, 2, "/dev/null", kErrBadArgument},
      {20, 2, "/dev/null", kErrNotForThisType},
      {120, 2, "/dev/null", kErrNotForThisType},
      {99, 2, "/dev/null", kErrMissingArgument},
      {link_kind::kSerial, 9, "/dev/null", kErrBadArgument},
      {link_kind::kSerial, 2, "/dev/vexa-no-such-port", kErrPortMissing},
  };
  for (const Case& c : cases) {
    DeviceContext device;
    ConnectionRequest request;
    request.linkKind = c.linkKind;
    request.baudCode = c.baudCode;
    std::snprintf(request.portName, sizeof request.portName, "%s", c.port);
    EXPECT_EQ(ConnectDevice(&device, &request), c.result) << int(c.linkKind) << " " << c.port;
    EXPECT_EQ(device.request.linkKind, link_kind::kNone);
    EXPECT_EQ(device.port.handle, kNoHandle);
  }
  DeviceContext device;
  EXPECT_EQ(ConnectDevice(&device, nullptr), kErrMissingArgument);
}

class SessionTest : public InstrumentTest {
 protected:
  // Scripted answers to "get -ver": each entry answers one transaction try.
  std::vector<Step> VerAnswers(const std::vector<std::string>& answers) {
    std::vector<Step> steps;
    for (const std::string& answer : answers) {
      steps.push_back(PtyDevice::Expects("get -ver\r"));
      if (!answer.empty()) steps.push_back(PtyDevice::Sends(answer));
    }
    return steps;
  }
};

TEST_F(SessionTest, VersionWithTwoDigitsReadsTheThirdAsZero) {
  OpenSerial(1);
  pty_.Play(VerAnswers({"\rQd40 1.2\r>"}));
  EXPECT_EQ(VerCommand(device_.get(), true), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(device_->settings.versionNumber, 120);
  EXPECT_EQ(device_->settings.deviceType, device_type::kQd40);
  EXPECT_STREQ(device_->settings.deviceTypeName, "Qd40");
  EXPECT_STREQ(device_->settings.versionText, "Qd40 1.2");
  EXPECT_EQ(device_->settings.newFirmware, 1);
  EXPECT_EQ(device_->settings.capabilityMask, 0xE7FFF7u);
  EXPECT_TRUE(Logged("VerCommand found \"Qd40 1.2\" ver 120"));
}

TEST_F(SessionTest, LongVersionLineIsCutToTwentyCharacters) {
  OpenSerial(1);
  pty_.Play(VerAnswers({"\rFP 2.00 build 1234567890\r>"}));
  EXPECT_EQ(VerCommand(device_.get(), true), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_STREQ(device_->settings.versionText, "FP 2.00 build 123456");
  EXPECT_EQ(device_->settings.versionNumber, 200);
}

TEST_F(SessionTest, TwoRefusalsMeanTheOldestQd4) {
  OpenSerial(1);
  pty_.Play(VerAnswers({"\rERROR\r>", "\rERROR\r>"}));
  EXPECT_EQ(VerCommand(device_.get(), true), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(device_->settings.deviceType, device_type::kQd4);
  EXPECT_EQ(device_->settings.newFirmware, 0);
  EXPECT_EQ(device_->settings.capabilityMask, 0x331Cu);
  EXPECT_TRUE(Logged("VerCommand found Qd4 with old firmware"));
}

TEST_F(SessionTest, OneRefusalThenAGoodAnswerIsNoQd4) {
  OpenSerial(1);
  pty_.Play(VerAnswers({"\rERROR\r>", "\rQd4b 2.04\r>"}));
  EXPECT_EQ(VerCommand(device_.get(), true), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(device_->settings.deviceType, device_type::kQd4b);
  EXPECT_EQ(device_->settings.newFirmware, 1);
}

TEST_F(SessionTest, LoaderAnswersAreRecognised) {
  {
    OpenSerial(1);
    pty_.Play(VerAnswers({"+2+\r"}));
    EXPECT_EQ(VerCommand(device_.get(), true), kErrLoaderRunning);
    EXPECT_TRUE(pty_.Finish());
    EXPECT_EQ(device_->settings.versionNumber, 0);
    EXPECT_TRUE(Logged("VerCommand failed with error -80"));
  }
  // The second "get -ver" follows the 3 s pause for a loader getting ready.
  pty_.Play({PtyDevice::Expects("get -ver\r"), PtyDevice::Sends("$\r"),
             PtyDevice::Expects("get -ver\r", 6000), PtyDevice::Sends("$\r")});
  EXPECT_EQ(VerCommand(device_.get(), true), kErrLoaderWaiting);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("VerCommand failed with error -81"));
}

TEST_F(SessionTest, ShowOfTheOldestFirmware) {
  OpenSerial(1);
  device_->settings.deviceType = device_type::kQd4;
  pty_.Play({PtyDevice::Expects("show\r"),
             PtyDevice::Sends("\rID: UNIT7\rVersion: 1.12\rRadio: 2\rWake: 30\rResets: 9\r>")});
  EXPECT_EQ(ParseShowCommand(device_.get(), nullptr), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_STREQ(device_->settings.deviceName, "UNIT7");
  EXPECT_EQ(device_->settings.versionNumber, 112);
  EXPECT_EQ(device_->settings.radioMode, 2);
  EXPECT_EQ(device_->settings.wakeInterval, 30);
  EXPECT_EQ(device_->resets, 9u);
  EXPECT_TRUE(Logged("ParseShowCommand found UNIT7:1.12:2:30:9"));

  pty_.Play({PtyDevice::Expects("show\r"), PtyDevice::Sends("\rID: OLD\rVersion: 1.07\r>")});
  EXPECT_EQ(ParseShowCommand(device_.get(), nullptr), kErrNotForThisType);
  EXPECT_TRUE(pty_.Finish());

  pty_.Play({PtyDevice::Expects("show\r"), PtyDevice::Sends("\rID: \rVersion: x\rWake: ?\r>")});
  EXPECT_EQ(ParseShowCommand(device_.get(), nullptr), kErrUnreadableAnswer);  // refused: "?"
  EXPECT_TRUE(pty_.Finish());

  pty_.Play({PtyDevice::Expects("show\r"), PtyDevice::Sends("\rID: \rVersion: x\rWake: a\r>")});
  EXPECT_EQ(ParseShowCommand(device_.get(), nullptr), kErrUnreadableAnswer);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(device_->settings.versionNumber, -1);
  EXPECT_EQ(device_->settings.wakeInterval, -1);
  EXPECT_TRUE(Logged("ParseShowCommand failed with errors"));

  device_->settings.newFirmware = 1;
  EXPECT_EQ(ParseShowCommand(device_.get(), nullptr), kErrBadArgument);
  EXPECT_TRUE(Logged("ParseShowCommand doesn't work with devices running \"new\" firmware."));
}

TEST_F(SessionTest, SetBaudRules) {
  OpenSerial(1);
  device_->settings.newFirmware = 1;
  // An unknown rate is sent as code 0.
  pty_.Play({PtyDevice::Expects("set -baud 0\r"), PtyDevice::Sends("\rOK\r>")});
  EXPECT_EQ(SetBaudCommand(device_.get(), 14400), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("SetBaudCommand: unsupported baud rate 14400, using 9600"));
  // Silence to 9600: the instrument is back there already.
  pty_.Play({PtyDevice::Expects("set -baud 0\r")});
  EXPECT_EQ(SetBaudCommand(device_.get(), 9600), 1);
  EXPECT_TRUE(pty_.Finish());
  // Silence to any other rate is a failure.
  pty_.Play({PtyDevice::Expects("set -baud 4\r")});
  EXPECT_EQ(SetBaudCommand(device_.get(), 115200), kErrNoAnswer);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("SetBaudCommand failed with error -21"));
  // A text without the prompt stops at once.
  pty_.Play({PtyDevice::Expects("set -baud 6\r"), PtyDevice::Sends("NAK")});
  EXPECT_EQ(SetBaudCommand(device_.get(), 460800), kErrUnreadableAnswer);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("SetBaudCommand failed: heard: NAK"));

  device_->settings.newFirmware = 0;
  EXPECT_EQ(SetBaudCommand(device_.get(), 115200), kErrCannotChangeBaud);
  EXPECT_TRUE(Logged("SetBaudCommand: device () can't change baud rate"));
}

TEST_F(SessionTest, RadioDisconnectWithoutLogoutStillClearsAndCloses) {
  OpenSerial(1);
  device_->request.linkKind = link_kind::kRadio;
  std::snprintf(device_->settings.deviceName, sizeof device_->settings.deviceName, "UNIT7");
  EXPECT_EQ(DisconnectDevice(device_.get(), true), kErrLastTrySilent);
  EXPECT_EQ(device_->request.linkKind, link_kind::kNone);
  EXPECT_EQ(device_->port.handle, kNoHandle);
  EXPECT_EQ(device_->settings.deviceName[0], 0);
  EXPECT_EQ(DisconnectDevice(device_.get(), false), 0);
}

TEST_F(SessionTest, RadioDisconnectLogsOutUntilTheLoginGoesUnanswered) {
  OpenSerial(2);
  device_->request.linkKind = link_kind::kRadio;
  std::snprintf(device_->settings.deviceName, sizeof device_->settings.deviceName, "UNIT7");
  pty_.Play({PtyDevice::Expects("logout\r"), PtyDevice::Expects("login UNIT7\r"),
             PtyDevice::Sends("\rOK\r>"), PtyDevice::Expects("logout\r"),
             PtyDevice::Expects("login UNIT7\r")});
  EXPECT_EQ(DisconnectDevice(device_.get(), false), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("DisconnectDevice: Device didn't disconnect, retrying"));
  EXPECT_TRUE(Logged("DisconnectDevice successful"));
}

TEST_F(SessionTest, ARadioInstrumentIsLoggedOutWhenItsOwnerLetsItGo) {
  OpenSerial(1);
  device_->request.linkKind = link_kind::kRadio;
  device_->options.keepPortOpen = 1;  // the end of the owner never keeps the port
  std::snprintf(device_->settings.deviceName, sizeof device_->settings.deviceName, "UNIT7");
  pty_.Play({PtyDevice::Expects("logout\r"), PtyDevice::Expects("login UNIT7\r")});
  { DeviceRelease release(device_.get()); }
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(device_->request.linkKind, link_kind::kNone);
  EXPECT_EQ(device_->port.handle, kNoHandle);
  EXPECT_EQ(device_->options.keepPortOpen, 0);
  EXPECT_TRUE(Logged("DisconnectDevice successful"));
}

TEST_F(SessionTest, ReleasingADeviceThatIsNotConnectedSendsNothing) {
  ASSERT_EQ(DSOpen(&device_->port, pty_.Path().c_str(), 9600), 1);  // open, but no link
  ReleaseDevice(device_.get());
  ReleaseDevice(nullptr);
  EXPECT_NE(device_->port.handle, kNoHandle);
  EXPECT_EQ(pty_.Receive(50), "");
}

struct HookLog {
  std::vector<std::array<uint32_t, 3>> calls;
  int cancelAfter = -1;  // calls before the hook says stop
  int slowMs = 0;
};
bool RecordProgress(void* context, uint32_t total, uint32_t done, int phase) {
  HookLog* log = static_cast<HookLog*>(context);
  log->calls.push_back({total, done, static_cast<uint32_t>(phase)});
  if (log->slowMs) std::this_thread::sleep_for(std::chrono::milliseconds(log->slowMs));
  return log->cancelAfter < 0 || static_cast<int>(log->calls.size()) <= log->cancelAfter;
}

TEST_F(SessionTest, WakePacketsArePacedAndReportProgress) {
  OpenSerial(1);
  HookLog hook;
  device_->options.progressEnabled = 1;
  device_->progressHook = RecordProgress;
  device_->progressContext = &hook;
  device_->wakePackets = 20;
  const uint32_t start = MsClock();
  EXPECT_EQ(SendWake(device_.get()), 1);
  const uint32_t took = MsClock() - start;
  EXPECT_EQ(pty_.Receive(200), std::string(20, '\r'));
  EXPECT_GE(took, 20u * 55u - 10u);  // 55 ms apart, the hook's time included
  ASSERT_EQ(hook.calls.size(), 3u);  // packets 1 and 19, then finished
  EXPECT_EQ(hook.calls[0], (std::array<uint32_t, 3>{20, 1, 1}));
  EXPECT_EQ(hook.calls[1], (std::array<uint32_t, 3>{20, 19, 1}));
  EXPECT_EQ(hook.calls[2], (std::array<uint32_t, 3>{20, 20, 2}));
  EXPECT_TRUE(Logged("SendWake sent 20 packets"));
}

TEST_F(SessionTest, WakeCanBeCancelledAndSurvivesASlowHook) {
  OpenSerial(1);
  HookLog hook;
  hook.cancelAfter = 1;
  device_->options.progressEnabled = 1;
  device_->progressHook = RecordProgress;
  device_->progressContext = &hook;
  device_->wakePackets = 40;
  EXPECT_EQ(SendWake(device_.get()), kErrCancelled);
  EXPECT_TRUE(Logged("SendWake canceled by user after sending 19 of 40 packets"));

  HookLog slow;
  slow.slowMs = 60;
  device_->progressContext = &slow;
  device_->wakePackets = 5;
  EXPECT_EQ(SendWake(device_.get()), 1);
  EXPECT_EQ(slow.calls.size(), 2u);  // the first call was too slow: only "finished" follows
  EXPECT_TRUE(Logged("SendWake executing too slow to send status (PIG status)!"));
}

TEST_F(SessionTest, QueryHearsANameOrAnEcho) {
  OpenSerial(2);
  pty_.Play({PtyDevice::Expects("\rquery\r"), PtyDevice::Sends("no name!\r"),
             PtyDevice::Expects("\rquery\r"), PtyDevice::Sends("UNIT7\r")});
  char name[9];
  EXPECT_EQ(QueryCommand(device_.get(), name, kQueryNameMode), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_STREQ(name, "UNIT7");
  EXPECT_EQ(device_->tries, 2u);  // restored
  EXPECT_TRUE(Logged("QueryCommand heard from: UNIT7"));

  pty_.Play({PtyDevice::Expects("\rquery\r"), PtyDevice::Sends("\rquery\r")});
  EXPECT_EQ(QueryCommand(device_.get(), name, kQueryNameMode), kErrRelayEchoes);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_TRUE(Logged("QueryCommand is hearing \"query\" -- a relay must be active"));
  EXPECT_EQ(QueryCommand(device_.get(), name, 0), kErrMissingArgument);
}

TEST_F(SessionTest, LoginRules) {
  OpenSerial(1);
  EXPECT_EQ(LoginCommand(device_.get(), "NINECHARS"), -54);
  EXPECT_TRUE(Logged("LoginCommand: Device name NINECHARS is wrong length (9 characters)"));
  pty_.Play({PtyDevice::Expects("login UNIT7\r"), PtyDevice::Sends("\rOK\r>"),
             PtyDevice::Expects("login\r"), PtyDevice::Sends("\r\r>"),
             PtyDevice::Expects("login UNIT7\r"), PtyDevice::Sends("\rWHO ARE YOU\r>")});
  EXPECT_EQ(LoginCommand(device_.get(), "UNIT7"), 1);
  EXPECT_EQ(LoginCommand(device_.get(), nullptr), 1);                     // the bare prompt counts
  EXPECT_EQ(LoginCommand(device_.get(), "UNIT7"), kErrUnreadableAnswer);  // cut before ">"
  EXPECT_TRUE(pty_.Finish());
}

TEST_F(SessionTest, ModemIsConfiguredWithHexValues) {
  OpenSerial(1);
  pty_.Play({PtyDevice::Expects("+++"), PtyDevice::Sends("OK\r"), PtyDevice::Expects("ATHP5\r"),
             PtyDevice::Sends("OK\r"), PtyDevice::Expects("ATDT1234\r"), PtyDevice::Sends("OK\r"),
             PtyDevice::Expects("ATWR\r"), PtyDevice::Sends("OK\r"), PtyDevice::Expects("ATCN\r"),
             PtyDevice::Sends("OK\r")});
  int32_t channel = 5;
  int32_t subChannel = 4660;
  uint32_t mask = 0xC00;
  EXPECT_EQ(
      Mx2Config(device_.get(), &channel, &subChannel, nullptr, SettingDirection::kWrite, &mask), 1);
  std::string received;
  EXPECT_TRUE(pty_.Finish(&received));
  EXPECT_EQ(received, "+++ATHP5\rATDT1234\rATWR\rATCN\r");
  EXPECT_EQ(mask, 0xC00u);
  EXPECT_TRUE(Logged("Mx2Config set rsch to 4660"));
  EXPECT_TRUE(Logged("Mx2Config saved configuration"));
}

TEST_F(SessionTest, ModemReadAndFailures) {
  OpenSerial(1);
  pty_.Play({PtyDevice::Expects("+++"), PtyDevice::Sends("OK\r"), PtyDevice::Expects("ATHP\r"),
             PtyDevice::Sends("4\r"), PtyDevice::Expects("ATDT\r"), PtyDevice::Sends("zz\r"),
             PtyDevice::Expects("ATCN\r"), PtyDevice::Sends("OK\r")});
  int32_t channel = -1;
  int32_t subChannel = -1;
  uint32_t mask = 0xC00;
  EXPECT_EQ(
      Mx2Config(device_.get(), &channel, &subChannel, nullptr, SettingDirection::kRead, &mask),
      kErrPartlyDone);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(channel, 4);
  EXPECT_EQ(subChannel, -1);
  EXPECT_EQ(mask, 0x400u);
  EXPECT_TRUE(Logged("Mx2Config could not find rsch"));
  EXPECT_TRUE(Logged("Mx2Config failed with error -35 and 2"));

  // The line end of the modem's "OK" comes late: it is not the channel's answer.
  pty_.Play({PtyDevice::Expects("+++"), PtyDevice::Sends("OK"), PtyDevice::Waits(30),
             PtyDevice::Sends("\r"), PtyDevice::Expects("ATHP\r"), PtyDevice::Sends("3\r"),
             PtyDevice::Expects("ATDT\r"), PtyDevice::Sends("1234\r"), PtyDevice::Expects("ATCN\r"),
             PtyDevice::Sends("OK\r")});
  mask = 0xC00;
  EXPECT_EQ(
      Mx2Config(device_.get(), &channel, &subChannel, nullptr, SettingDirection::kRead, &mask), 1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(channel, 3);
  EXPECT_EQ(subChannel, 0x1234);

  // No "OK" to "+++" twice: no command mode.
  pty_.Play({PtyDevice::Expects("+++"), PtyDevice::Sends("?\r"), PtyDevice::Expects("+++"),
             PtyDevice::Sends("\r")});
  mask = 0xC00;
  EXPECT_EQ(
      Mx2Config(device_.get(), &channel, &subChannel, nullptr, SettingDirection::kWrite, &mask),
      kErrModemCommandMode);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(mask, 0u);
  EXPECT_TRUE(Logged("Mx2Config failed to get into AT command mode"));
}

TEST_F(SessionTest, InstrumentRadioCommands) {
  OpenSerial(2);
  device_->settings.capabilityMask = capability::kRadio;
  device_->settings.newFirmware = 1;
  device_->settings.deviceType = device_type::kQd40;

  // Writing: upper-case hex.
  pty_.Play({PtyDevice::Expects("set -rch 2\r"), PtyDevice::Sends("\rOK\r>"),
             PtyDevice::Expects("set -rsch 1234\r"), PtyDevice::Sends("\rOK\r>")});
  int32_t channel = 2;
  int32_t subChannel = 4660;
  uint32_t mask = 0xC00;
  EXPECT_EQ(MSRadioCommand(device_.get(), &channel, &subChannel, nullptr, SettingDirection::kWrite,
                           &mask),
            1);
  EXPECT_TRUE(pty_.Finish());
  EXPECT_EQ(mask, 0xC00u);

  // "No Radio" to the version: channel and sub-channel are not asked.
  pty_.Play({PtyDevice::Expects("get -rver\r"), PtyDevice::Sends("\rNo Radio\r>")});
  char version[9] = "x";
  mask = 0x1C00;
  EXPECT_EQ(
      MSRadioCommand(device_.get(), &channel, &subChannel, version, SettingDirection::kRead, &mask),
      kErrNoRadio);
  std::string received;
  EXPECT_TRUE(pty_.Finish(&received));
  EXPECT_EQ(received + pty_.Receive(200), "get -rver\r");
  EXPECT_TRUE(Logged("MSRadioCommand couldn't find a radio"));

  // Five hex digits are no radio version: asked again; then the channel alone.
  pty_.Play({PtyDevice::Expects("get -rver\r"), PtyDevice::Sends("\rOK\r10A5F\r>"),
             PtyDevice::Expects("get -rver\r"), PtyDevice::Sends("\rOK\r10a5\r>"),
             PtyDevice::Expects("get -rch\r"), PtyDevice::Sends("\rOK\r6\r>")});
  mask = 0x1400;
  EXPECT_EQ(
      MSRadioCommand(device_.get(), &channel, &subChannel, version, SettingDirection::kRead, &mask),
      1);
  EXPECT_TRUE(pty_.Finish(&received));
  EXPECT_EQ(received.find("get -rsch"), std::string::npos);
  EXPECT_STREQ(version, "10a5");
  EXPECT_EQ(channel, 6);
  EXPECT_EQ(mask, 0x1400u);

  // Over the radio link itself nothing may be written, and nothing is sent.
  device_->request.linkKind = link_kind::kRadio;
  mask = 0xC00;
  EXPECT_EQ(MSRadioCommand(device_.get(), &channel, &subChannel, nullptr, SettingDirection::kWrite,
                           &mask),
            kErrRadioWriteOverRadio);
  EXPECT_EQ(pty_.Receive(200), "");
  EXPECT_EQ(mask, 0u);
  device_->request.linkKind = link_kind::kSerial;

  device_->settings.capabilityMask = 0;
  mask = 0xC00;
  EXPECT_EQ(
      MSRadioCommand(device_.get(), &channel, &subChannel, nullptr, SettingDirection::kRead, &mask),
      -1);
}

}  // namespace
