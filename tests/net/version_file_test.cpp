// Reading the version service's answer: the split at the first "http", the version rules, and
// which links may ever reach the desktop's handler.
#include "net/version_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "link/result.h"
#include "net/version_paths.h"

namespace {

struct VersionCase {
  const char* text;
  std::optional<uint32_t> version;
};

TEST(VersionFile, VersionTextsReadByTheServicesRules) {
  const VersionCase cases[] = {
      {"203", 203},
      {"2.03", 203},
      {"10.32", 1032},
      {"5", 500},
      {"0", 0},
      {"9", 900},
      {"10", 10},
      {"1.5", 150},
      {"150.4", 150},
      {"  2.10", 210},
      {"4294967295", 4294967295u},
      {"abc", {}},
      {"", {}},
      {"2.0x", {}},
      {"-5", {}},
      {"1e3", {}},
      {"4294967296", {}},
      {"99999999999.5", {}},
      {"inf", {}},
      {"nan", {}},
      {"2,03", {}},
  };
  for (const VersionCase& c : cases) {
    EXPECT_EQ(net::ReadVersionNumber(c.text), c.version) << '"' << c.text << '"';
  }
}

TEST(VersionFile, TheBodyIsSplitAtTheFirstHttp) {
  auto parts = net::SplitVersionFile("2.03\r\nhttp://x.example/FP.exe\r\n");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->versionText, "2.03");
  EXPECT_EQ(parts->link, "http://x.example/FP.exe");

  // The character just before the link is dropped, whatever it is.
  parts = net::SplitVersionFile("2.05Xhttps://x.example/page");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->versionText, "2.05");

  parts = net::SplitVersionFile("http://x.example");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->versionText, "");

  const std::string longLink = "http://x.example/" + std::string(2000, 'a');
  parts = net::SplitVersionFile("3\n" + longLink);
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->link, longLink.substr(0, net::kMaxLinkLength));

  EXPECT_FALSE(net::SplitVersionFile("2.03\nftp://x.example/"));
}

TEST(VersionFile, OnlyWebLinksAreEverOpened) {
  const std::pair<const char*, bool> cases[] = {
      {"http://www.norvane.example/fw", true},
      {"https://www.norvane.example/FP.exe", true},
      {"httpx://evil", false},
      {"http:/etc/passwd", false},
      {"http:evil", false},
      {"http://", false},
      {"http:///etc/passwd", false},
      {"http://x.example/a b", false},
      {"http://x.example/\x01", false},
      {"HTTP://x.example", false},
      {"httpfile:///etc/passwd", false},
  };
  for (const auto& [link, web] : cases) EXPECT_EQ(net::IsWebLink(link), web) << link;
}

TEST(VersionFile, TheWholeReadingGivesTheVersionTheLinkAndItsKind) {
  net::VersionFileReading reading = net::ReadVersionFile("2.10\nhttp://x.example/FP.exe");
  EXPECT_EQ(reading.result, kResultOk);
  EXPECT_EQ(reading.version, 210u);
  EXPECT_TRUE(reading.download);

  reading = net::ReadVersionFile("210\nhttp://x.example/news.html");
  EXPECT_EQ(reading.result, kResultOk);
  EXPECT_FALSE(reading.download);

  for (const char* body : {"2.10 no link here", "two\nhttp://x.example/", "2.10\nhttpx://evil",
                           "2.10\nhttp:/usr/bin/xterm"}) {
    EXPECT_EQ(net::ReadVersionFile(body).result, kErrVersionUnreadable) << body;
  }
}

TEST(VersionPaths, CatalogueAndSensorTypesHaveTheirFiles) {
  EXPECT_EQ(net::VersionFinderPath(3), "/versionfinder/Qd40-Firmware.html");
  EXPECT_EQ(net::VersionFinderPath(14), "/versionfinder/FieldPal-Firmware.html");
  EXPECT_EQ(net::VersionFinderPath(24), "/versionfinder/ServoPump-Firmware.txt");
  for (int none : {0, 5, 10, 13, 21, 25, -1}) EXPECT_EQ(net::VersionFinderPath(none), "") << none;
  EXPECT_EQ(net::SensorVersionFinderPath(116), "/versionfinder/KVL-Firmware.txt");
  EXPECT_EQ(net::SensorVersionFinderPath(262), "/versionfinder/KVL-Firmware.txt");
  EXPECT_EQ(net::SensorVersionFinderPath(113), "/versionfinder/PX2-Firmware.txt");
  EXPECT_EQ(net::SensorVersionFinderPath(123), "/versionfinder/AERIX14-Firmware.txt");
  EXPECT_EQ(net::SensorVersionFinderPath(263), "");
}

}  // namespace
