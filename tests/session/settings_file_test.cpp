// The settings file on its own: the bytes written for each family, every family's items read back
// as they were written, and the files the reader must cope with (empty, missing, unreadable,
// keys inside values, written by hand in the older layouts).
#include "session/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "instrument/device_settings.h"
#include "session/lab_items.h"
#include "tests/session/session_fixture.h"

namespace {

namespace bit = setting_bit;
namespace lb = lab_bit;

// The header and the lines, each ended by CR LF, as the file holds them.
std::string File(std::initializer_list<const char*> lines) {
  std::string text = "***** Auto-Generated Settings File -- DO NOT EDIT *****\r\n\r\n";
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

void Copy(char* field, size_t size, const char* text) {
  std::snprintf(field, size, "%s", text);
}
#define SET(field, text) Copy(field, sizeof(field), text)

void SetFives(uint8_t* values, int first) {
  for (int i = 0; i < 5; ++i) values[i] = static_cast<uint8_t>(first + i);
}

// A record to a line of its own for each record: "user" rows are whatever the instrument gave.
void SetRecords(RecordSet* set, std::initializer_list<const char*> texts) {
  ASSERT_EQ(AllocateRecords(set, static_cast<uint32_t>(texts.size())), 1);
  uint32_t i = 0;
  for (const char* text : texts) SET(set->records[i++].data, text);
}

using Lines = std::vector<std::pair<std::string, std::string>>;
Lines LinesOf(SessionContext* session) {
  Lines lines;
  ForEachSettingsLine(session, [&](const char* key, const char* value) {
    lines.emplace_back(key, value);
    return true;
  });
  return lines;
}

class SettingsFileTest : public SessionTest {
 protected:
  // Writes the session's file and returns its bytes.
  std::string Written() {
    const std::string path = PathFor("settings.txt");
    EXPECT_EQ(WriteInfoFile(session_.get(), path.c_str()), 1);
    return Contents(path);
  }
  // Reads `text` as the settings file of a fresh context of `type`.
  std::unique_ptr<SessionContext> ReadBack(int type, const std::string& text, int32_t* result) {
    const std::string path = PathFor("read.txt");
    Put(path, text);
    auto read = Fresh(type);
    *result = ReadInfoFile(read.get(), path.c_str());
    return read;
  }
};

TEST_F(SettingsFileTest, AQd40WithEverySettingWritesEveryLine) {
  session_->type = 3;
  SettingsRecord& r = session_->settings;
  r.presentMask = kAllSettings;
  SET(r.deviceTypeName, "Qd40");
  SET(r.deviceId, "D0012345");
  SET(r.deviceName, "LOGGER1");
  SET(r.serialNumber, "Q40-0012345");
  r.trait = 0x4009;
  r.wakeInterval = 60;
  r.padcHertz = 2000;
  const uint8_t ports[] = {1, 2, 3, 0, 0};
  std::memcpy(r.ports, ports, sizeof ports);
  for (int i = 0; i < 5; ++i) r.depths[i] = static_cast<uint8_t>(10 * (i + 1));
  SetFives(r.adc15Slopes, 130);
  SetFives(r.adc15Offsets, 9);
  SetFives(r.adc30Slopes, 120);
  SetFives(r.adc30Offsets, 3);
  r.radioMode = 1;
  r.radioChannel = 3;
  r.radioSubChannel = 4660;
  r.dataParameter = 1;
  SET(r.site, "North Creek weir");
  r.latitude = 45.12345;
  r.longitude = -122.54321;
  r.timeZoneQuarters = -32;
  r.reportMode = 2;
  SET(r.apn, "internet.example");
  SET(r.apnUser, "vexa");
  SET(r.apnPassword, "s3cret");
  SET(r.remoteHost, "data.example.com");
  SET(r.authKey, "00112233445566778899AABBCCDDEEFF");
  r.ipPort = 5000;
  SET(r.buildText, "B1234-5");

  EXPECT_EQ(Written(), File({
                           R"(type="Qd40")",
                           R"(deviceid="D0012345")",
                           R"(name="LOGGER1")",
                           R"(sn="Q40-0012345")",
                           R"(trait="16393")",
                           R"(wake="60")",
                           R"(padc="2000")",
                           R"(ports="1 2 3 0 0")",
                           R"(depth="10 20 30 40 50")",
                           R"(ADC15 slopes="130 131 132 133 134")",
                           R"(ADC15 offsets="9 10 11 12 13")",
                           R"(ADC30 slopes="120 121 122 123 124")",
                           R"(ADC30 offsets="3 4 5 6 7")",
                           R"(rmode="1")",
                           R"(rch="3")",
                           R"(rsch="4660")",
                           R"(data="1")",
                           R"(site="North Creek weir")",
                           R"(lat="+45.12345")",
                           R"(lon="-122.54321")",
                           R"(timezone="-32")",
                           R"(report="2")",
                           R"(apn="internet.example")",
                           R"(user="vexa")",
                           R"(passwd="s3cret")",
                           R"(host="data.example.com")",
                           R"(authkey="00112233445566778899AABBCCDDEEFF")",
                           R"(ipport="5000")",
                           R"(VexaBuild="B1234-5")",
                       }));
}

TEST_F(SettingsFileTest, ALoggerWritesTheNumbersItDoesNotHoldEmpty) {
  // A Qd4b holds few settings: the rest must not come back as zeros, and the ADC tables and the
  // build text are left out altogether.
  session_->type = 2;
  SettingsRecord& r = session_->settings;
  r.presentMask = bit::kName | bit::kSerialNumber | bit::kWakeInterval;
  SET(r.deviceTypeName, "Qd4b");
  SET(r.deviceName, "QD4UNIT");
  SET(r.serialNumber, "Q4B-77");
  r.wakeInterval = 900;
  r.padcHertz = 2000;  // not held: not written
  r.latitude = 12.5;

  EXPECT_EQ(
      Written(),
      File({
          R"(type="Qd4b")", R"(deviceid="")", R"(name="QD4UNIT")", R"(sn="Q4B-77")", R"(trait="")",
          R"(wake="900")",  R"(padc="")",     R"(ports="")",       R"(depth="")",    R"(rmode="")",
          R"(rch="")",      R"(rsch="")",     R"(data="")",        R"(site="")",     R"(lat="")",
          R"(lon="")",      R"(timezone="")", R"(report="")",      R"(apn="")",      R"(user="")",
          R"(passwd="")",   R"(host="")",     R"(authkey="")",     R"(ipport="")",
      }));
}

TEST_F(SettingsFileTest, AFieldPalWritesItsCalibrationEntriesAfterTheLabKeys) {
  session_->type = 14;
  LabSettings& lab = session_->lab;
  lab.presentMask =
      lb::kName | lb::kSerialNumber | lb::kContrast | lb::kAdc15 | lb::kAdc30 | lb::kCalEntries;
  SET(lab.name, "FP0042");
  SET(lab.serialNumber, "FP14-2291047");
  lab.contrast = 37;
  lab.language = 3;  // not held: written empty
  SET(lab.adc15, "0.9987 0.0012");
  SET(lab.adc30, "1.0021 -0.0008");
  SET(lab.cal[0], "pH 4.01 7.00 10.01 slope 0.9912");
  SET(lab.cal[1], "EC 1413 12880 cell 1.012");
  SET(lab.cal[2], "T offset -0.15");
  SET(lab.cal[4], "after the first empty entry: not written");

  EXPECT_EQ(Written(), File({
                           R"(type="FP")",
                           R"(name="FP0042")",
                           R"(sn="FP14-2291047")",
                           R"(lang="")",
                           R"(VexaBuild="")",
                           R"(contr="37")",
                           R"(config="")",
                           R"(fvals="")",
                           R"(uvals="")",
                           R"(units="")",
                           R"(adc="")",
                           R"(adccal="")",
                           R"(calprefs="")",
                           R"(PCUnits="")",
                           R"(sample="")",
                           R"(usage="")",
                           R"(adc15="0.9987 0.0012")",
                           R"(adc30="1.0021 -0.0008")",
                           R"(location="")",
                           R"(chai="")",
                           R"(extCal="")",
                           R"(tadj="")",
                           R"(tau="")",
                           R"(hadj="")",
                           R"(cal00="pH 4.01 7.00 10.01 slope 0.9912")",
                           R"(cal01="EC 1413 12880 cell 1.012")",
                           R"(cal02="T offset -0.15")",
                       }));
}

TEST_F(SettingsFileTest, AHydrella4WritesItsUserRowsAndEquationsLast) {
  session_->type = 15;
  LabSettings& lab = session_->lab;
  lab.presentMask =
      lb::kSerialNumber | lb::kConfig | lb::kUvals | lb::kTadj | lb::kUserRecords | lb::kEqnRecords;
  SET(lab.serialNumber, "HS4-0099");
  SET(lab.config, "104233");
  SET(lab.uvals, "1.5 2.5 3.5");
  SET(lab.tadj, "0.25 -1.5");
  SetRecords(&session_->users, {"YQliCWMJVG9t", "YQliCWMJQW5u"});
  SetRecords(&session_->eqns, {"My_eqn`2 x*2+1", "Flow q=k*h^1.5"});
  SET(session_->users.records[0].name, "Tom");  // the name is not written, only the data

  EXPECT_EQ(Written(), File({
                           R"(type="HS4")",
                           R"(name="")",
                           R"(sn="HS4-0099")",
                           R"(lang="")",
                           R"(VexaBuild="")",
                           R"(contr="")",
                           R"(config="104233")",
                           R"(fvals="")",
                           R"(uvals="1.5 2.5 3.5")",
                           R"(units="")",
                           R"(adc="")",
                           R"(adccal="")",
                           R"(calprefs="")",
                           R"(PCUnits="")",
                           R"(sample="")",
                           R"(usage="")",
                           R"(adc15="")",
                           R"(adc30="")",
                           R"(location="")",
                           R"(chai="")",
                           R"(extCal="")",
                           R"(tadj="0.25 -1.5")",
                           R"(tau="")",
                           R"(hadj="")",
                           R"(user00="YQliCWMJVG9t")",
                           R"(user01="YQliCWMJQW5u")",
                           R"(eqn00="My_eqn`2 x*2+1")",
                           R"(eqn01="Flow q=k*h^1.5")",
                       }));
}

TEST_F(SettingsFileTest, ADigitalSensorWritesItsAddressAsCharacterAndCode) {
  session_->type = kDigitalSensorType;
  VexaSDI12& sensor = session_->sensor;
  sensor.address = '3';
  SET(sensor.info, "NORVANE DS-1  360");
  SET(sensor.x4, "1.0 0.5 2.5 3.0");
  SET(sensor.xa, "1 1.39619 2.03054");
  SET(sensor.serialNumber, "DS0042");

  EXPECT_EQ(Written(), File({
                           R"(type="Digital Sensor")",
                           R"(identity="NORVANE DS-1  360")",
                           R"(address="3")",
                           R"(addressInt="51")",
                           R"(calibration="1.0 0.5 2.5 3.0")",
                           R"(calibration2="1 1.39619 2.03054")",
                           R"(sn="DS0042")",
                           R"(sdiType="0")",
                           R"(sdiNumeric="0")",
                           R"(sdiVersion="0")",
                           R"(offsetCal="")",
                       }));
}

// ---- Every family's saved items come back from the file ----

struct Family {
  int type;
  uint32_t saved;  // the items a save of this type collects
};

// Fills each saved logger setting with a value of its own (different for every type).
void FillLogger(SettingsRecord& r, int type, uint32_t mask) {
  r.presentMask = mask;
  const char* names[] = {"", "", "Qd4b", "Qd40", "LinkDepot"};
  SET(r.deviceTypeName, type == 18 ? "rQ7" : type == 19 ? "ZRT2" : names[type]);
  const std::string tag = std::to_string(type);
  const auto held = [mask](uint32_t setting) { return (mask & setting) != 0; };
  if (held(bit::kName)) SET(r.deviceName, ("LOG " + tag).c_str());
  if (held(bit::kSerialNumber)) SET(r.serialNumber, ("SN=" + tag + "-4711").c_str());
  if (held(bit::kDeviceId)) SET(r.deviceId, ("D" + tag + "00").c_str());
  if (held(bit::kTrait)) r.trait = 0x4009;  // a radio's sub-channel adds 0x4001 on reading
  if (held(bit::kWakeInterval)) r.wakeInterval = 60 + type;
  if (held(bit::kPorts)) SetFives(r.ports, type);
  if (held(bit::kPadc)) r.padcHertz = -2000 - type;
  if (held(bit::kDataParameter)) r.dataParameter = 2147483647;
  if (held(bit::kRadioMode)) r.radioMode = -2147483647 - 1;
  if (held(bit::kRadioChannel)) r.radioChannel = type % 7;
  if (held(bit::kRadioSubChannel)) r.radioSubChannel = 0x1234 + type;
  if (held(bit::kDepths)) SetFives(r.depths, 250);
  if (held(bit::kSite)) SET(r.site, ("North Creek weir " + tag).c_str());
  if (held(bit::kLatitude)) r.latitude = -45.12345 - type;
  if (held(bit::kLongitude)) r.longitude = 122.00001 + type;
  if (held(bit::kTimeZone)) r.timeZoneQuarters = -48 + type;
  if (held(bit::kApn)) SET(r.apn, ("apn" + tag + ".example").c_str());
  if (held(bit::kApnUser)) SET(r.apnUser, ("user" + tag).c_str());
  if (held(bit::kApnPassword)) SET(r.apnPassword, ("pass=" + tag).c_str());
  if (held(bit::kRemoteHost)) SET(r.remoteHost, ("host" + tag + ".example.com").c_str());
  if (held(bit::kAuthKey)) SET(r.authKey, "00112233445566778899AABBCCDDEEFF");
  if (held(bit::kIpPort)) r.ipPort = 5000 + type;
  if (held(bit::kReportMode)) r.reportMode = 7 * type;
  if (held(bit::kAdc30)) {
    SetFives(r.adc30Slopes, 120);
    SetFives(r.adc30Offsets, 1);
  }
  if (held(bit::kAdc15)) {
    SetFives(r.adc15Slopes, 130 + type);
    SetFives(r.adc15Offsets, 250);
  }
  if (held(bit::kBuild)) SET(r.buildText, ("B-" + tag + " x").c_str());
}

// Fills each saved lab item: texts with their key and the type, numbers with a number of their
// own, the calibration area and two records of each set where the type keeps them.
void FillLab(SessionContext* session, uint32_t mask) {
  LabSettings& lab = session->lab;
  const int type = session->type;
  lab.presentMask = mask;
  lab.type = static_cast<int8_t>(type);
  std::vector<const char*> keys(kLabFileKeys, kLabFileKeys + kLabFileKeyCount);
  keys.insert(keys.end(), kLabHeldOnlyKeys, kLabHeldOnlyKeys + kLabHeldOnlyKeyCount);
  int32_t number = -1000 * type;
  for (const char* key : keys) {
    const LabItem* item = FindLabItemByKey(key);
    if (!item || !(mask & item->bit)) continue;
    if (item->bit == lb::kPValues) continue;  // below: not every type keeps calprefs
    if (item->kind == LabValue::kText) {
      std::snprintf(item->text(lab), item->size, "%s %d = x", key, type);
    } else {
      *item->number(lab) = number--;
    }
  }
  if (mask & lb::kPValues) {
    // "get -p" into fvals; the SRB also its pv into uvals and calprefs.
    std::snprintf(lab.fvals, sizeof lab.fvals, "p %d", type);
    if (type == 16) {
      std::snprintf(lab.uvals, sizeof lab.uvals, "pv %d", type);
      std::snprintf(lab.calprefs, sizeof lab.calprefs, "c76 %d", type);
    }
  }
  if (mask & lb::kPSet) {
    for (int entry : {pset_entry::kP0, pset_entry::kP3, pset_entry::kP5, pset_entry::kLwidth,
                      pset_entry::kLtemp, pset_entry::kCurrent, pset_entry::kP1}) {
      std::snprintf(lab.cal[entry], kLabTextSize, "p-set %d", entry);
    }
  }
  if (mask & lb::kCalEntries) {
    for (int i = 0; i < 3; ++i) std::snprintf(lab.cal[i], kLabTextSize, "cal %d of %d", i, type);
  }
  if (mask & lb::kUserRecords) SetRecords(&session->users, {"dXNlcjA=", "dXNlcjE="});
  if (mask & lb::kEqnRecords) SetRecords(&session->eqns, {"eqn_a x+1", "eqn_b x*2"});
}

TEST_F(SettingsFileTest, EveryFamilyReadsBackTheItemsItWrote) {
  const Family families[] = {
      {2, 0x08000077},  {3, 0x07FFEFFF},  {4, 0x00000D07},  {18, 0x07FFEFFF}, {19, 0x07FFEFFF},
      {6, 0x4000007A},  {7, 0x00100192},  {8, 0x07000C12},  {9, 0x000000B2},  {11, 0x80027402},
      {12, 0x00000C00}, {13, 0x00000003}, {14, 0x002C0013}, {15, 0x38000842}, {16, 0x28400802},
      {17, 0x00000802}, {20, 0x00000802}, {22, 0x38000806}, {23, 0x20C08012}, {24, 0x00000002},
      {10, 0},
  };
  for (const Family& family : families) {
    SCOPED_TRACE("catalogue type " + std::to_string(family.type));
    ClearSessionSettings(session_.get());
    session_->type = static_cast<int8_t>(family.type);
    if (IsLoggerType(family.type)) {
      FillLogger(session_->settings, family.type, family.saved);
    } else if (family.type == kDigitalSensorType) {
      VexaSDI12& sensor = session_->sensor;
      sensor.address = 'b';
      SET(sensor.x4, "1.0 0.5 2.5 3.0");
      SET(sensor.xa, "1 1.39619 = 2.03054");
      SET(sensor.serialNumber, "DS 0042");
      // The offset type: its type and offset calibration come back for a restore from the file.
      sensor.type = ']';
      sensor.version = 401;
      SET(sensor.xo, "0.25 -0.5");
      sensor.xoPresent = true;
    } else {
      FillLab(session_.get(), family.saved);
    }
    const std::string text = Written();
    int32_t result = 0;
    auto read = ReadBack(family.type, text, &result);
    ASSERT_EQ(result, 1) << text;

    Lines wrote = LinesOf(session_.get());
    if (IsLoggerType(family.type)) {
      // The reader keeps the settings it found, the identification aside (it comes from the
      // instrument at the next connect), and the type line only says the file is a logger's.
      EXPECT_EQ(read->savedMask, family.saved & ~bit::kIdentification);
      read->settings.presentMask = read->savedMask;
      SET(read->settings.deviceTypeName, session_->settings.deviceTypeName);
    } else if (family.type == kDigitalSensorType) {
      EXPECT_EQ(read->sensor.address, 'b');
      EXPECT_EQ(read->sensor.type, ']');
      EXPECT_TRUE(read->sensor.xoPresent);
      SET(read->sensor.info, session_->sensor.info);  // identity is not read back
    } else {
      EXPECT_EQ(read->lab.presentMask, family.saved);
      EXPECT_EQ(read->lab.type, family.type);
    }
    EXPECT_EQ(LinesOf(read.get()), wrote) << text;
  }
}

// ---- Files the reader must cope with ----

TEST_F(SettingsFileTest, AnEmptyFileIsNoSettingsFile) {
  for (int type : {2, 3, 4, 10, 14, 15, 19, 22}) {
    SCOPED_TRACE("catalogue type " + std::to_string(type));
    int32_t result = 0;
    ReadBack(type, "", &result);
    EXPECT_EQ(result, -30);
  }
}

TEST_F(SettingsFileTest, AFileOfAnotherFamilyIsNotRead) {
  int32_t result = 0;
  auto read = ReadBack(14, File({R"(type="HS4")", R"(sn="HS4-1")"}), &result);
  EXPECT_EQ(result, -30);
  EXPECT_STREQ(read->lab.serialNumber, "");
  EXPECT_EQ(read->lab.type, 0);  // set only once the type line was found
}

TEST_F(SettingsFileTest, TypesThatKeepNoSettingsAreNotRead) {
  const std::string path = PathFor("settings.txt");
  Put(path, File({R"(type="FP")"}));
  for (int type : {0, 1, 5, 25}) {
    auto read = Fresh(type);
    EXPECT_EQ(ReadInfoFile(read.get(), path.c_str()), -13) << "catalogue type " << type;
  }
  auto read = Fresh(14);
  EXPECT_EQ(ReadInfoFile(read.get(), ""), -10);
  EXPECT_EQ(WriteInfoFile(read.get(), nullptr), -10);
}

TEST_F(SettingsFileTest, AFileThatCannotBeOpenedSaysWhy) {
  auto read = Fresh(14);
  EXPECT_EQ(ReadInfoFile(read.get(), PathFor("missing.txt").c_str()), -102);
  EXPECT_EQ(ReadInfoFile(read.get(), dir_.c_str()), kErrIsFolder);  // opens, but cannot be read
  EXPECT_EQ(WriteInfoFile(read.get(), dir_.c_str()), kErrIsFolder);
  Put(PathFor("plain.txt"), File({R"(type="FP")"}));
  EXPECT_EQ(ReadInfoFile(read.get(), PathFor("plain.txt/below").c_str()), -102);
  // Not files at all: a FIFO nobody writes would hold the run, /dev/zero would never end.
  const std::string fifo = PathFor("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadInfoFile(read.get(), fifo.c_str()), kErrFileReadFailed);
  EXPECT_EQ(ReadInfoFile(read.get(), "/dev/zero"), kErrFileReadFailed);

  if (geteuid() == 0) GTEST_SKIP() << "root reads a file without read permission";
  const std::string path = PathFor("locked.txt");
  Put(path, File({R"(type="FP")"}));
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  EXPECT_EQ(ReadInfoFile(read.get(), path.c_str()), -105);
}

TEST_F(SettingsFileTest, AKeyCountsOnlyAtTheStartOfALineBeforeItsEqualsSign) {
  // "sn" inside the name, "adc" as the start of "adccal", "sn" in a value and as part of a key.
  int32_t result = 0;
  auto read = ReadBack(14, File({R"(type="FP")", R"(name="Crisna")", R"(sn="FP-77")"}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_STREQ(read->lab.name, "Crisna");
  EXPECT_STREQ(read->lab.serialNumber, "FP-77");

  read = ReadBack(7, File({R"(type="TP")", R"(adccal="CAL 1")", R"(x="adc=" sn")", R"(adc="A1")"}),
                  &result);
  ASSERT_EQ(result, 1);
  EXPECT_STREQ(read->lab.adc, "A1");
  EXPECT_FALSE(read->lab.presentMask & lb::kSerialNumber);

  // Blanks between a key and its '=' are allowed.
  read = ReadBack(24, File({R"(type="SERVOPUMP")", R"(sn  ="SP-9")"}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_STREQ(read->lab.serialNumber, "SP-9");
}

TEST_F(SettingsFileTest, AnEmptyOrUnreadableNumberIsNotRestoredAsZero) {
  int32_t result = 0;
  auto read = ReadBack(
      3, File({R"(type="Qd40")", R"(wake="")", R"(padc="fast")", R"(rch=" 5")", R"(data="-7x")"}),
      &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(read->savedMask, bit::kRadioChannel | bit::kDataParameter);
  EXPECT_EQ(read->settings.radioChannel, 5);
  EXPECT_EQ(read->settings.dataParameter, -7);

  read = ReadBack(14, File({R"(type="FP")", R"(contr="")", R"(lang="x")"}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(read->lab.presentMask, 0u);
}

TEST_F(SettingsFileTest, AnAdcTableWithoutRealFactorsIsNotKept) {
  struct Case {
    const char* slopes;
    const char* offsets;
    bool kept;
  };
  const Case cases[] = {
      {"255 1 2 3 4", "9 10 11 12 13", false},
      {"0 1 2 3 4", "9 10 11 12 13", false},
      {"130 1 2 3 4", "255 10 11 12 13", false},
      {"130 1 2 3", "9 10 11 12 13", false},  // four numbers
      {"130 1 2 3 4", "9 10 11 12 13", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.slopes) + " / " + c.offsets);
    const std::string slopes = std::string("ADC15 slopes=\"") + c.slopes + "\"";
    const std::string offsets = std::string("ADC15 offsets=\"") + c.offsets + "\"";
    int32_t result = 0;
    auto read = ReadBack(3, File({R"(type="Qd40")", slopes.c_str(), offsets.c_str()}), &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ((read->savedMask & bit::kAdc15) != 0, c.kept);
  }
}

TEST_F(SettingsFileTest, ARadioSubChannelMeansATraitWithARadio) {
  int32_t result = 0;
  // A Qd40: the trait's radio bits are set in the trait it had, and its bit once.
  auto read = ReadBack(3, File({R"(type="Qd40")", R"(trait="8")", R"(rsch="4660")"}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(read->settings.trait, 0x4009u);
  EXPECT_EQ(read->savedMask, bit::kTrait | bit::kRadioSubChannel);

  // A LinkDepot keeps no trait to restore: the value is there for the radio pass, not its bit.
  read = ReadBack(4, File({R"(type="LinkDepot")", R"(rsch="17")"}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(read->settings.trait, 0x4001u);
  EXPECT_EQ(read->savedMask, bit::kRadioSubChannel);
  EXPECT_EQ(read->settings.radioSubChannel, 17);
}

TEST_F(SettingsFileTest, EachLoggerFileCarriesItsOwnTypeName) {
  for (const char* name : {"Qd40", "rQ7", "ZRT2"}) {
    for (int type : {3, 18, 19}) {
      SCOPED_TRACE(std::string(name) + " as catalogue type " + std::to_string(type));
      int32_t result = 0;
      const std::string line = std::string("type=\"") + name + "\"";
      auto read = ReadBack(type, File({line.c_str(), R"(name="LOG1")"}), &result);
      EXPECT_EQ(result, 1);
      EXPECT_STREQ(read->settings.deviceName, "LOG1");
      EXPECT_EQ(read->settings.capabilityMask, 0x0707FFF7u);
    }
  }
}

TEST_F(SettingsFileTest, TheOlderLayoutsAreStillRead) {
  int32_t result = 0;
  // A Qd4b's ports under numbered keys; a missing key repeats the port before it.
  auto read = ReadBack(2,
                       File({R"(type="Qd4b")", R"(Port number="1" value="3")",
                             R"(Port number="2" value="5")", R"(Port number="4" value="7")"}),
                       &result);
  ASSERT_EQ(result, 1);
  const uint8_t ports[] = {3, 5, 5, 7, 7};
  EXPECT_EQ(std::memcmp(read->settings.ports, ports, sizeof ports), 0);
  EXPECT_EQ(read->savedMask, bit::kPorts);

  read = ReadBack(2, File({R"(type="Qd4b")", R"(Port number="1" value="0")"}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(read->savedMask, 0u);  // no port above 0

  // The ports line wins over the numbered keys.
  read = ReadBack(
      2, File({R"(type="Qd4b")", R"(ports="1 2 3 4 5")", R"(Port number="1" value="9")"}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(read->settings.ports[0], 1);

  // A Leaf Stomatrix file under its older type name.
  read = ReadBack(9, File({R"(type="NX")", R"(sn="NX-5")"}), &result);
  ASSERT_EQ(result, 1);
  EXPECT_STREQ(read->lab.serialNumber, "NX-5");

  // A Hydrella 4 TDL with its entries numbered from cal00.
  read = ReadBack(22, File({R"(type="HS4TDL")", R"(cal00="p0 value")", R"(cal01="p3 value")"}),
                  &result);
  ASSERT_EQ(result, 1);
  EXPECT_STREQ(read->lab.cal[0], "p0 value");
  EXPECT_STREQ(read->lab.cal[1], "p3 value");
  EXPECT_EQ(read->lab.presentMask, lb::kPSet);
}

TEST_F(SettingsFileTest, AtMostAHundredEquationsAreRead) {
  std::string text = File({R"(type="HS4")"});
  for (int i = 0; i <= 100; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "eqn%02d=\"e%d x\"\r\n", i, i);
    text += line;
  }
  ASSERT_NE(text.find("eqn99=\"e99 x\""), std::string::npos);
  ASSERT_NE(text.find("eqn100=\"e100 x\""), std::string::npos);
  int32_t result = 0;
  auto read = ReadBack(15, text, &result);
  ASSERT_EQ(result, 1);
  ASSERT_EQ(read->eqns.count, 100u);
  EXPECT_STREQ(read->eqns.records[99].data, "e99 x");
  EXPECT_TRUE(read->lab.presentMask & lb::kEqnRecords);
}

TEST_F(SettingsFileTest, ARecordListEndsAtTheFirstEmptyRecord) {
  int32_t result = 0;
  auto read = ReadBack(15,
                       File({R"(type="HS4")", R"(user00="dTA=")", R"(user01="")",
                             R"(user02="dTI=")", R"(user04="dTQ=")"}),
                       &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(read->users.count, 1u);
  EXPECT_STREQ(read->users.records[0].data, "dTA=");
}

// The write fails once the file would grow past a few bytes, as on a full disk: even root
// cannot write past the file size limit.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST_F(SettingsFileTest, AFailedWriteLeavesThePreviousFileWhole) {
  session_->type = 14;
  SET(session_->lab.name, "OLD");
  const std::string path = PathFor("settings.txt");
  ASSERT_EQ(WriteInfoFile(session_.get(), path.c_str()), 1);
  const std::string before = Contents(path);

  SET(session_->lab.name, "NEW");
  int32_t result = 0;
  {
    FileSizeLimit limit(64);
    result = WriteInfoFile(session_.get(), path.c_str());
  }
  EXPECT_EQ(result, kErrFileWriteFailed);
  EXPECT_EQ(Contents(path), before);
  // No temporary file is left beside it.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"errors.txt", "settings.txt"}));

  EXPECT_EQ(WriteInfoFile(session_.get(), PathFor("gone/settings.txt").c_str()), kErrFileMissing);
  EXPECT_TRUE(Logged("WriteInfoFile got error 2 trying to open settings file"));
}

TEST_F(SettingsFileTest, EveryFileOfTheFuzzCorpusIsReadByEveryFamily) {
  // The inputs the settings fuzzer kept, and its findings once fixed.
  const std::filesystem::path corpus =
      std::filesystem::path(VEXA_SOURCE_DIR) / "tests/fuzz/settings";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    ++files;
    for (int type = 0; type <= kEndType; ++type) {
      SCOPED_TRACE(entry.path().filename().string() + " as type " + std::to_string(type));
      auto read = Fresh(type);
      const int32_t result = ReadInfoFile(read.get(), entry.path().c_str());
      EXPECT_TRUE(result == 1 || result == -30 || result == -13) << result;
    }
  }
  EXPECT_GE(files, 5);
}

TEST_F(SettingsFileTest, EveryThirtyTwoBitNumberOfALoggerReadsBackAsItWas) {
  // The loggers' numbers are 32-bit integers on the instrument, negative ones included.
  struct Case {
    uint32_t setting;
    int32_t SettingsRecord::*field;
  };
  const Case cases[] = {
      {bit::kWakeInterval, &SettingsRecord::wakeInterval},
      {bit::kDataParameter, &SettingsRecord::dataParameter},
      {bit::kTimeZone, &SettingsRecord::timeZoneQuarters},
      {bit::kReportMode, &SettingsRecord::reportMode},
      {bit::kIpPort, &SettingsRecord::ipPort},
  };
  for (const Case& c : cases) {
    for (int32_t value : {-1, INT32_MIN, INT32_MAX}) {
      SCOPED_TRACE("setting bit " + std::to_string(c.setting) + ", value " + std::to_string(value));
      ClearSessionSettings(session_.get());
      session_->type = 3;
      SET(session_->settings.deviceTypeName, "Qd40");
      session_->settings.presentMask = c.setting;
      session_->settings.*c.field = value;
      int32_t result = 0;
      auto read = ReadBack(3, Written(), &result);
      ASSERT_EQ(result, 1);
      EXPECT_EQ(read->savedMask, c.setting);
      EXPECT_EQ(read->settings.*c.field, value);
    }
  }
}

TEST_F(SettingsFileTest, ATdlWhosePSetWasNotReadGetsNoPSetFromItsFile) {
  // The TDL's file always carries its twenty calibration lines, empty ones included; a p-set that
  // was never read must not come back as held, or the restore writes empty values over it.
  session_->type = 22;
  session_->lab.presentMask = lb::kSerialNumber;
  SET(session_->lab.serialNumber, "TDL-1");
  int32_t result = 0;
  auto read = ReadBack(22, Written(), &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(read->lab.presentMask, lb::kSerialNumber);
}

}  // namespace
