#include "session/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "link/result.h"

namespace {

TEST(ParseVersionText, TypeVersionAndSupport) {
  struct Case {
    const char* text;
    int32_t result;
    int type;
    uint32_t version;
    bool supported;
    const char* name;
  };
  const Case cases[] = {
      {"Qd40 1.03", 1, 3, 103, true, "Qd40"},
      {"Qd40 1.02", 1, 3, 102, false, "Qd40"},
      {"rQ7 2.10", 1, 18, 210, true, "rQ7"},     // compared after upper-casing
      {"FP 2.0", 1, 14, 200, true, "FieldPal"},  // a missing sub-minor counts 0
      {"  fp  2.05 extra", 1, 14, 205, true, "FieldPal"},
      {"QD40 2", 1, 0, 0, false, "UNKNOWN"},  // no '.': unknown, but read
      {"ABC 1.00", kErrUnreadableAnswer, 0, 100, false, "UNKNOWN"},
      {"UNKNOWN 1.00", kErrUnreadableAnswer, 0, 100, false, "UNKNOWN"},
      {"END 1.00", kErrUnreadableAnswer, 0, 100, false, "UNKNOWN"},
      {"QD4 9.99", 1, 1, 999, false, "Qd4"},  // never supported
      {"LD 1.04", 1, 4, 104, false, "LinkDepot"},
      {"LD 1.05", 1, 4, 105, true, "LinkDepot"},
      {"HLITE 1.18", 1, 6, 118, true, "Hydrella Lite"},
      {"CR60 1.49", 1, 8, 149, false, "LumaBar CR-60"},
      {"H3B 3.51", 1, 12, 351, true, "Hydrella Series 3"},
      {"H3B 3.50", 1, 12, 350, false, "Hydrella Series 3"},
      {"RH 5.00", 1, 5, 500, false, "RelayHub"},
      {"SERVOPUMP 0.01", 1, 24, 1, true, "ServoPump"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DeviceDescriptor descriptor;
    EXPECT_EQ(ParseVersionText(c.text, &descriptor), c.result);
    EXPECT_EQ(descriptor.type, c.type);
    EXPECT_EQ(descriptor.version, c.version);
    EXPECT_EQ(descriptor.supported, c.supported);
    EXPECT_STREQ(descriptor.name, c.name);
    EXPECT_STREQ(descriptor.versionText, c.text);
  }
}

TEST(ParseVersionText, UnreadableTextLeavesTheDescriptorAlone) {
  const char* const unreadable[] = {"QD40 x.12", "QD40 1.",    "QD40 1.x",
                                    ".",         "QD40 -1.00", "QD40 99999999999999.00"};
  for (const char* text : unreadable) {
    SCOPED_TRACE(text);
    DeviceDescriptor descriptor;
    DescribeDevice(14, 999, &descriptor);
    std::strcpy(descriptor.versionText, "before");
    EXPECT_EQ(ParseVersionText(text, &descriptor), kErrUnreadableAnswer);
    EXPECT_EQ(descriptor.type, 14);
    EXPECT_STREQ(descriptor.versionText, "before");
  }
  DeviceDescriptor descriptor;
  EXPECT_EQ(ParseVersionText(nullptr, &descriptor), kErrMissingArgument);
  EXPECT_EQ(ParseVersionText("", &descriptor), kErrMissingArgument);
  EXPECT_EQ(ParseVersionText("FP 2.00", nullptr), kErrMissingArgument);
}

TEST(ParseVersionText, LongTextsAreKeptCutTo21Characters) {
  DeviceDescriptor descriptor;
  const char* text = "FP 2.00 build 2026-12-09 rev C";
  EXPECT_EQ(ParseVersionText(text, &descriptor), 1);
  EXPECT_STREQ(descriptor.versionText, std::string(text, 21).c_str());
  // A word longer than 19 characters cannot be read in full, so no version follows it.
  EXPECT_EQ(ParseVersionText("ABCDEFGHIJKLMNOPQRSTUVWXYZ 1.00", &descriptor), kErrUnreadableAnswer);
}

TEST(DescribeDevice, TheReaderAndTheSensorUseTheirOwnMemoryMaps) {
  DeviceDescriptor reader;
  DescribeDevice(14, kAnyVersion, &reader);
  EXPECT_TRUE(reader.supported);
  EXPECT_TRUE(reader.extendedAddressing);
  EXPECT_EQ(reader.loaderBaud, 57600u);
  EXPECT_EQ(reader.flashStart, 0x2100u);
  EXPECT_EQ(reader.flashEnd, 0x1FF00u);
  EXPECT_EQ(reader.infoStart, 0x1000u);
  EXPECT_EQ(reader.infoSegments, 3u);
  EXPECT_EQ(reader.infoStep, 0x40u);
  EXPECT_EQ(reader.bootWaitMs, 2000u);
  EXPECT_TRUE(reader.saveSettings && reader.eraseData && reader.checkBattery && reader.setClock);
  EXPECT_FALSE(reader.needsLogin || reader.postInit || reader.calibrationNotice);
  EXPECT_FALSE(reader.versionWindow);

  DeviceDescriptor sensor;
  DescribeDevice(10, kAnyVersion, &sensor);
  EXPECT_TRUE(sensor.supported);
  EXPECT_STREQ(sensor.name, "Digital Sensor");
  EXPECT_FALSE(sensor.extendedAddressing);
  EXPECT_EQ(sensor.loaderBaud, 9600u);
  EXPECT_EQ(sensor.flashStart, 0x8000u);
  EXPECT_EQ(sensor.flashEnd, 0xF9FFu);
  EXPECT_EQ(sensor.infoSegments, 3u);
  EXPECT_EQ(sensor.infoStep, 0x40u);
}

TEST(DescribeDevice, MemoryMapsAndVersionWindows) {
  struct Case {
    int type;
    uint32_t flashStart, flashEnd, infoStart, infoSegments, infoStep, baud;
    bool extended;
    bool window;
    uint32_t lowest, highest;
  };
  const Case cases[] = {
      {3, 0x1100, 0xF9FF, 0x1000, 2, 0x80, 9600, false, false, 0, 0},
      {15, 0x2100, 0x1FF00, 0x1000, 3, 0x40, 57600, true, true, 202, 999},
      {16, 0x5C00, 0x3BFFF, 0x1800, 3, 0x80, 57600, true, false, 0, 0},
      {21, 0x2100, 0x1FF00, 0x1000, 3, 0x40, 57600, true, false, 0, 0},
      {22, 0x8000, 0x27FFF, 0x1800, 4, 0x80, 57600, true, true, 200, 299},
      {23, 0x2100, 0x1FF00, 0x1000, 3, 0x40, 57600, true, false, 0, 0},
      {24, 0x8000, 0xF9FF, 0x1000, 3, 0x40, 9600, false, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    DeviceDescriptor d;
    DescribeDevice(c.type, 100, &d);
    EXPECT_EQ(d.flashStart, c.flashStart);
    EXPECT_EQ(d.flashEnd, c.flashEnd);
    EXPECT_EQ(d.infoStart, c.infoStart);
    EXPECT_EQ(d.infoSegments, c.infoSegments);
    EXPECT_EQ(d.infoStep, c.infoStep);
    EXPECT_EQ(d.loaderBaud, c.baud);
    EXPECT_EQ(d.extendedAddressing, c.extended);
    EXPECT_EQ(d.versionWindow, c.window);
    EXPECT_EQ(d.versionLowest, c.lowest);
    EXPECT_EQ(d.versionHighest, c.highest);
  }
}

TEST(DescribeDevice, TypesOutsideTheCatalogueAreUnknown) {
  for (int type : {0, 25, -1, 100}) {
    SCOPED_TRACE(type);
    DeviceDescriptor d;
    std::memset(static_cast<void*>(&d), 0x5A, sizeof d);  // whatever was there before is cleared
    DescribeDevice(type, 150, &d);
    EXPECT_EQ(d.type, 0);
    EXPECT_STREQ(d.name, "UNKNOWN");
    EXPECT_FALSE(d.supported);
    EXPECT_EQ(d.version, 150u);
    EXPECT_EQ(d.bootWaitMs, 7000u);
    EXPECT_EQ(d.versionText[0], '\0');
    EXPECT_FALSE(d.saveSettings);
  }
}

TEST(Catalogue, KeysFindTheirTypes) {
  for (int type = 1; type <= 24; ++type) EXPECT_EQ(CatalogueTypeOfKey(CatalogueKey(type)), type);
  EXPECT_EQ(CatalogueTypeOfKey("UNKNOWN"), 0);
  EXPECT_EQ(CatalogueTypeOfKey("END"), 0);
  EXPECT_EQ(CatalogueTypeOfKey("fp"), 0);  // exact: the caller upper-cases
  EXPECT_EQ(CatalogueTypeOfKey(nullptr), 0);
  EXPECT_STREQ(CatalogueKey(14), "FP");
  EXPECT_STREQ(CatalogueKey(25), "UNKNOWN");
}

TEST(SensorTypeName, NamesAndTheUnknownText) {
  struct Case {
    uint32_t sensorType;
    const char* name;
  };
  const Case cases[] = {
      {92, "AERIX 22 Anemometer"},
      {124, "AQUEL-TE Sensor"},
      {126, "AQUEL-TE Sensor"},
      {127, "AQUEL-TE Sensor"},
      {125, "HV-TM Sensor"},
      {261, "WTP-3 WTP-7 TORVA 21"},
      {264, "TORVA 1x Family"},
      {118, "Unknown Sensor (type 118)"},
      {4294967295u, "Unknown Sensor (type 4294967295)"},
  };
  for (const Case& c : cases) {
    char buffer[kSensorNameSize];
    EXPECT_EQ(SensorTypeName(c.sensorType, buffer), buffer);
    EXPECT_STREQ(buffer, c.name);
  }
}

// The one sensor table serves the update's wrong-type check, the window's menu and the version
// check: a family the menu offers must have members the check accepts and a version file, and a
// member that goes by its family must pick the family's item and file.
TEST(SensorTypes, EveryFamilyHasMembersAMenuItemAndAVersionFile) {
  int families = 0;
  bool menuPart = true;  // the menu's items come first
  for (const SensorType& row : SensorTypes()) {
    const std::string what = std::to_string(row.number);
    EXPECT_EQ(FindSensorType(row.number), &row) << what;  // each number once
    if (row.menu == SensorMenu::kNone) {
      menuPart = false;
      EXPECT_EQ(row.menuCaption, nullptr) << what;
    } else {
      EXPECT_TRUE(menuPart) << what;
      ASSERT_NE(row.menuCaption, nullptr) << what;
      EXPECT_STRNE(SensorVersionFile(row.number), "") << what;
      EXPECT_EQ(SensorChoice(row.number), row.number) << what;
    }
    if (row.members[0] == 0) {
      EXPECT_LT(row.number, 260u) << what;  // group codes start at 260
      continue;
    }
    ++families;
    EXPECT_GE(row.number, 260u) << what;
    EXPECT_NE(row.name, nullptr) << what;
    EXPECT_NE(row.menu, SensorMenu::kNone) << what;
    EXPECT_NE(row.versionFile, nullptr) << what;
    for (uint32_t member : row.members) {
      if (member == 0) continue;
      const std::string which = what + " member " + std::to_string(member);
      EXPECT_LT(member, 260u) << which;
      EXPECT_TRUE(SensorTypeAccepts(row.number, member)) << which;
      EXPECT_FALSE(SensorTypeAccepts(member, row.number)) << which;
      const SensorType* own = FindSensorType(member);
      EXPECT_TRUE(own == nullptr || own->menu == SensorMenu::kNone) << which;
      if (row.memberChoice == MemberChoice::kFamily) {
        EXPECT_EQ(SensorChoice(member), row.number) << which;
        EXPECT_STREQ(SensorVersionFile(member), row.versionFile) << which;
      } else {
        EXPECT_EQ(SensorChoice(member), member) << which;
      }
    }
  }
  EXPECT_EQ(families, 4);
}

TEST(SensorTypes, TheWrongTypeCheckAcceptsTheChosenTypeOrAMemberOfTheChosenFamily) {
  struct Case {
    uint32_t chosen;
    uint32_t reported;
    bool accepted;
  };
  const Case cases[] = {
      {123, 123, true},  {262, 105, true},  {262, 119, false}, {260, 110, true},
      {260, 115, true},  {261, 107, true},  {264, 104, true},  {264, 107, false},
      {105, 262, false}, {113, 109, false}, {262, 0, false},   {263, 102, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SensorTypeAccepts(c.chosen, c.reported), c.accepted) << c.chosen << " " << c.reported;
  }
}

TEST(SensorTypes, TheLrnFamilysMembersPickNoItemAndNoVersionFile) {
  for (uint32_t member : {110u, 111u, 114u, 115u}) {
    EXPECT_EQ(SensorChoice(member), member);
    EXPECT_STREQ(SensorVersionFile(member), "");
  }
  EXPECT_STREQ(SensorVersionFile(260), "/versionfinder/LRN-Firmware.txt");
}

}  // namespace
