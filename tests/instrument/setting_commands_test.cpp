// The setting commands against a scripted instrument: what goes on the wire, what is accepted,
// what never leaves the computer, and what the error file shows.
#include "instrument/setting_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "instrument/device_types.h"
#include "tests/instrument/instrument_fixture.h"

namespace {

using Step = PtyDevice::Step;
constexpr uint32_t kQd40Caps = 0x5E7FFF7;  // a Qd40 2.03

// The instrument the command believes it talks to.
struct Instrument {
  uint8_t type = device_type::kQd40;
  uint32_t capabilities = kQd40Caps;
  uint8_t newFirmware = 1;
  int32_t version = 203;
  uint32_t traitWord = 0x4009;  // known: a radio and the network modem settings
};

struct Case {
  const char* what;
  Instrument instrument;
  std::function<int32_t(DeviceContext*)> run;
  std::vector<Step> script;  // empty: nothing may be sent
  int32_t result;
  std::vector<std::string> logged;  // lines (or parts) the error file must hold
  std::string notLogged = {};       // a text it must not hold
};

// Sets the TZ variable for the life of the object.
class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    const char* old = std::getenv("TZ");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~LocalZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hadOld_ = false;
  std::string old_;
};

class SettingCommandTest : public InstrumentTest {
 protected:
  void Run(const Case& c) {
    SCOPED_TRACE(c.what);
    PtyDevice pty;
    ASSERT_EQ(DSOpen(&device_->port, pty.Path().c_str(), 9600), 1);
    device_->request.linkKind = link_kind::kSerial;
    device_->tries = 2;
    SettingsRecord& record = device_->settings;
    record = SettingsRecord{};
    record.deviceType = c.instrument.type;
    record.capabilityMask = c.instrument.capabilities;
    record.newFirmware = c.instrument.newFirmware;
    record.versionNumber = c.instrument.version;
    record.trait = c.instrument.traitWord;
    std::remove((dir_ / "errors.txt").c_str());

    pty.Play(c.script);
    EXPECT_EQ(c.run(device_.get()), c.result);
    std::string received;
    EXPECT_TRUE(pty.Finish(&received));
    if (c.script.empty()) {
      received += pty.Receive(100);
      EXPECT_EQ(received, "") << "nothing may be sent";
    }
    DSClose(&device_->port);
    for (const std::string& line : c.logged) EXPECT_TRUE(Logged(line)) << line;
    if (!c.notLogged.empty()) {
      EXPECT_FALSE(Logged(c.notLogged)) << c.notLogged;
    }
  }
};

// Values the cases read into and write from.
struct Values {
  char text[80] = {};
  int32_t number = 0;
  double fraction = 0;
  uint8_t five[5] = {};
  uint8_t offsets[5] = {};
  uint32_t traitWord = 0;
} g;

Step Answer(const char* text) {
  return PtyDevice::Sends(std::string("\r") + text + "\r>");
}

TEST_F(SettingCommandTest, WireRules) {
  Instrument qd40;
  Instrument noNetwork;
  noNetwork.traitWord = 0x4001;
  Instrument rq7;
  rq7.type = device_type::kRQ7;
  rq7.capabilities = 0x5E3FFF7;
  Instrument oldest;
  oldest.type = device_type::kQd4;
  oldest.capabilities = 0x331C;
  oldest.newFirmware = 0;
  oldest.version = 112;
  Instrument onePair = qd40;
  onePair.capabilities |= capability::kAdcOnePair;
  Instrument bare;
  bare.capabilities = 0x1005;

  const Case cases[] = {
      {"latitude 0 clears the position",
       qd40,
       [](DeviceContext* d) {
         g.fraction = 0.0;
         return LatitudeCommand(d, &g.fraction, SettingDirection::kWrite);
       },
       {PtyDevice::Expects("set -lat \r"), Answer("OK")},
       1,
       {"LatitudeCommand set latitude to +0.00000"}},
      {"latitude with five decimals",
       qd40,
       [](DeviceContext* d) {
         g.fraction = 12.5;
         return LatitudeCommand(d, &g.fraction, SettingDirection::kWrite);
       },
       {PtyDevice::Expects("set -lat +12.50000\r"), Answer("OK")},
       1,
       {"LatitudeCommand set latitude to +12.50000"}},
      {"an unreadable longitude",
       qd40,
       [](DeviceContext* d) { return LongitudeCommand(d, &g.fraction, SettingDirection::kRead); },
       {PtyDevice::Expects("get -long\r"), Answer("none")},
       -31,
       {"LongitudeCommand could not find device longitude",
        "LongitudeCommand failed with error -31"}},
      {"four depths of five",
       qd40,
       [](DeviceContext* d) { return DepthCommand(d, g.five, SettingDirection::kRead); },
       {PtyDevice::Expects("get -depth\r"), Answer("10 20 30 40")},
       -30,
       {"DepthCommand only found 4 of 5 port depths"}},
      {"ports without the capability are zeroed",
       bare,
       [](DeviceContext* d) {
         std::memset(g.five, 9, 5);
         const int32_t result = PortsCommand(d, g.five, SettingDirection::kRead);
         return g.five[0] == 0 && g.five[4] == 0 ? result : -999;
       },
       {},
       -1,
       {}},
      {"an ADC factor of 0 is kept but not valid",
       qd40,
       [](DeviceContext* d) {
         const int32_t result =
             ADCcalCommand(d, kAdc30Table, g.five, g.offsets, SettingDirection::kRead);
         return g.five[0] == 0 && g.offsets[4] == 7 ? result : -999;
       },
       {PtyDevice::Expects("get -adc30\r"), Answer("0 3 121 4 122 5 123 6 124 7 3")},
       -1,
       {"ADCcalCommand found (not valid) -adc30 0 3 121 4 122 5 123 6 124 7 3",
        "ADCcalCommand (-adc30) failed with error -1"}},
      {"ADC ten-value form with its check value",
       qd40,
       [](DeviceContext* d) {
         const uint8_t slopes[5] = {120, 121, 122, 123, 124};
         const uint8_t offsets[5] = {3, 4, 5, 6, 7};
         std::memcpy(g.five, slopes, 5);
         std::memcpy(g.offsets, offsets, 5);
         return ADCcalCommand(d, kAdc30Table, g.five, g.offsets, SettingDirection::kWrite);
       },
       {PtyDevice::Expects("set -adc30 120 3 121 4 122 5 123 6 124 7 123\r"), Answer("OK")},
       1,
       {"ADCcalCommand set -adc30 120 3 121 4 122 5 123 6 124 7 123"}},
      {"ADC one-pair form",
       onePair,
       [](DeviceContext* d) {
         g.five[0] = 200;
         g.offsets[0] = 100;
         return ADCcalCommand(d, kAdc15Table, g.five, g.offsets, SettingDirection::kWrite);
       },
       {PtyDevice::Expects("set -adc15 200 100 44\r"), Answer("OK")},
       1,
       {}},
      {"ADC one-pair read checks the pair",
       onePair,
       [](DeviceContext* d) {
         return ADCcalCommand(d, kAdc15Table, g.five, g.offsets, SettingDirection::kRead);
       },
       {PtyDevice::Expects("get -adc15\r"), Answer("200 100 44")},
       1,
       {"ADCcalCommand found (valid) -adc15 200 100"}},
      {"an authkey of 31 digits is never sent",
       qd40,
       [](DeviceContext* d) {
         std::strcpy(g.text, "0011223344556677889900AABBCCDDE");
         return AuthKeyCommand(d, g.text, SettingDirection::kWrite);
       },
       {},
       -11,
       {"AuthKeyCommand failed with error -11"}},
      {"an authkey kept as a teakey, logged masked",
       qd40,
       [](DeviceContext* d) { return AuthKeyCommand(d, g.text, SettingDirection::kRead); },
       {PtyDevice::Expects("get -authkey\r"), Answer("ERROR"), PtyDevice::Expects("get -authkey\r"),
        Answer("ERROR"), PtyDevice::Expects("get -teakey\r"),
        Answer("00112233445566778899AABBCCDDEEFF")},
       1,
       {"AuthKeyCommand found authkey (as teakey) \"********************************\""},
       "0011223344"},
      {"the APN password never reaches the error file",
       qd40,
       [](DeviceContext* d) {
         std::strcpy(g.text, "s3cret");
         return APNPasswdCommand(d, g.text, SettingDirection::kWrite);
       },
       {PtyDevice::Expects("set -passwd s3cret\r"), Answer("OK")},
       1,
       {"APNPasswdCommand set APN password to \"******\""},
       "s3cret"},
      {"network items only where the trait has them",
       noNetwork,
       [](DeviceContext* d) { return APNCommand(d, g.text, SettingDirection::kRead); },
       {},
       -1,
       {}},
      {"a name that is only the prompt",
       qd40,
       [](DeviceContext* d) { return NameCommand(d, g.text, SettingDirection::kRead); },
       {PtyDevice::Expects("get -i\r"), PtyDevice::Sends("\r\r>")},
       -36,
       {},
       "NameCommand failed"},
      {"an illegal name is never sent",
       qd40,
       [](DeviceContext* d) {
         std::strcpy(g.text, "get");
         return NameCommand(d, g.text, SettingDirection::kWrite);
       },
       {},
       -52,
       {"NameCommand: \"get\" is an illegal device name (error -52)"}},
      {"the oldest firmware accepts a name with its prompt",
       oldest,
       [](DeviceContext* d) {
         std::strcpy(g.text, "QD4NEW");
         return NameCommand(d, g.text, SettingDirection::kWrite);
       },
       {PtyDevice::Expects("set -i QD4NEW\r"), Answer("ID: QD4NEW")},
       1,
       {"NameCommand set device name to \"QD4NEW\""}},
      {"an rQ7 is never asked for its radio mode",
       rq7,
       [](DeviceContext* d) {
         g.number = 0;
         const int32_t result = RmodeCommand(d, &g.number, SettingDirection::kRead);
         return g.number == 16 ? result : -999;
       },
       {},
       1,
       {"RmodeCommand found an rQ7 that is always mode 16"}},
      {"a site longer than the field is cut",
       qd40,
       [](DeviceContext* d) { return SiteCommand(d, g.text, SettingDirection::kRead); },
       {PtyDevice::Expects("get -site\r"), Answer("The Long Site Name Of A Weir")},
       1,
       {"SiteCommand found site name \"The Long Site Name Of A W\""}},
      {"a value with a line end is never sent",
       qd40,
       [](DeviceContext* d) {
         std::strcpy(g.text, "weir\rset -i X");
         return SiteCommand(d, g.text, SettingDirection::kWrite);
       },
       {},
       -11,
       {"SiteCommand failed with error -11"}},
      {"a set without OK",
       qd40,
       [](DeviceContext* d) {
         std::strcpy(g.text, "weir");
         return SiteCommand(d, g.text, SettingDirection::kWrite);
       },
       {PtyDevice::Expects("set -site weir\r"), Answer("what")},
       -30,
       {"SiteCommand failed with error -30"}},
      {"a refusal comes back unchanged",
       qd40,
       [](DeviceContext* d) { return ReportCommand(d, &g.number, SettingDirection::kRead); },
       {PtyDevice::Expects("get -report\r"), Answer("ERROR"), PtyDevice::Expects("get -report\r"),
        Answer("ERROR")},
       -34,
       {"ReportCommand failed with error -34"}},
      {"the trait is kept inverted",
       qd40,
       [](DeviceContext* d) {
         const int32_t result = TraitCommand(d, &g.traitWord, SettingDirection::kRead);
         return g.traitWord == 0x4009 ? result : -999;
       },
       {PtyDevice::Expects("get -trait\r"), Answer("246")},
       1,
       {"TraitCommand: found 16393"}},
      {"the trait written inverted",
       qd40,
       [](DeviceContext* d) {
         g.traitWord = 0x4009;
         return TraitCommand(d, &g.traitWord, SettingDirection::kWrite);
       },
       {PtyDevice::Expects("set -trait 246\r"), Answer("OK")},
       1,
       {"TraitCommand set trait to 16393"}},
      {"a trait never read is not written",
       qd40,
       [](DeviceContext* d) {
         g.traitWord = 0;
         return TraitCommand(d, &g.traitWord, SettingDirection::kWrite);
       },
       {},
       -11,
       {}},
      {"a serial number asked for again until it comes",
       qd40,
       [](DeviceContext* d) { return SNCommand(d, g.text, SettingDirection::kRead); },
       {PtyDevice::Expects("get -sn\r"), PtyDevice::Sends("\r\r>"), PtyDevice::Expects("get -sn\r"),
        Answer("Q40-0012345")},
       1,
       {"SNCommand found device serial number \"Q40-0012345\""}},
      {"a negative interval is never sent",
       qd40,
       [](DeviceContext* d) {
         g.number = -5;
         return WakeCommand(d, &g.number, SettingDirection::kWrite);
       },
       {},
       -11,
       {"WakeCommand failed with error -11"}},
      {"the oldest firmware below 1.65 has no PADC",
       oldest,
       [](DeviceContext* d) {
         g.number = 2000;
         const int32_t result = PADCCommand(d, &g.number, SettingDirection::kRead);
         return g.number == -1 ? result : -999;
       },
       {},
       -1,
       {}},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(SettingCommandTest, TimeZoneOfTheComputer) {
  const LocalZone india("IST-5:30");
  Instrument qd40;
  Run({"the computer's zone in quarter hours",
       qd40,
       [](DeviceContext* d) {
         g.number = kComputerTimeZone;
         const int32_t result = TimeZoneCommand(d, &g.number, SettingDirection::kWrite);
         return g.number == 22 ? result : -999;
       },
       {PtyDevice::Expects("set -tz 22\r"), Answer("OK")},
       1,
       {"TimeZoneCommand set time zone to 22"}});
}

}  // namespace
