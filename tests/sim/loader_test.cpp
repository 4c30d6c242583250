// The FieldPal's resident loader at 57600 baud: the handshake, checked frames, erasing, writing
// image text, the vectors and the restart into the new firmware, and the flash it leaves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

class FieldPalLoader : public ::testing::Test {
 protected:
  void Begin(const std::vector<std::string>& arguments = {}) {
    ASSERT_TRUE(sim_.Start(arguments)) << sim_.Error();
    ASSERT_TRUE(line_.Open(sim_.LinkPath(), 9600));
  }
  void Connect() { ASSERT_EQ(ConnectFieldPalLoader(line_), ""); }
  std::string Send(char letter, const std::string& payload, char awaited = '\r') {
    return line_.Exchange(LoaderFrame(letter, payload), awaited);
  }

  SimInstrument sim_;
  SimLine line_;
};

// Image text of `bytes`: four hex digits per word, the byte at the higher address first.
std::string ImageText(const std::string& bytes) {
  std::string text;
  char word[8];
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const auto low = static_cast<uint8_t>(bytes[i]);
    const auto high = i + 1 < bytes.size() ? static_cast<uint8_t>(bytes[i + 1]) : 0xFF;
    std::snprintf(word, sizeof word, "%02X%02X", high, low);
    text += word;
  }
  return text;
}

std::string Pattern(size_t count, unsigned seed) {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) bytes.push_back(static_cast<char>((i * 7 + seed * 31) & 0xFF));
  return bytes;
}

// The bytes srec_cat reads from a TI-Text file in [start, start + count), erased bytes as 0xFF.
std::string ReadWithSrecCat(const std::string& tiText, uint32_t start, size_t count,
                            const std::string& scratch) {
  // Holes read as erased flash.
  char command[512];
  std::snprintf(command, sizeof command,
                "srec_cat %s -ti_txt -fill 0xFF 0x%X 0x%zX -crop 0x%X 0x%zX -offset -0x%X "
                "-o %s -binary 2>&1",
                tiText.c_str(), start, start + count, start, start + count, start, scratch.c_str());
  if (std::system(command) != 0) return "<srec_cat failed>";
  std::ifstream in(scratch, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST_F(FieldPalLoader, ConnectsAtItsOwnRate) {
  Begin();
  Connect();
  EXPECT_EQ(Send('g', ""), "+2+\r");
  EXPECT_EQ(line_.Exchange("\r", '\r'), "?\r") << "a carriage return once connected";
  EXPECT_EQ(line_.Exchange("P", '\r'), "#\r") << "connecting again is answered";
}

TEST_F(FieldPalLoader, HearsNothingAtAWrongRate) {
  Begin();
  ASSERT_EQ(line_.Exchange("boot KWEL\r", '>'), "\rOK\r>");
  for (uint32_t baud : {9600u, 19200u, 115200u}) {
    ASSERT_TRUE(line_.SetBaud(baud));
    EXPECT_EQ(line_.SendAndListen("\r", 300).find('$'), std::string::npos) << baud << " baud";
    EXPECT_EQ(line_.SendAndListen("P", 300).find('#'), std::string::npos) << baud << " baud";
  }
  ASSERT_TRUE(line_.SetBaud(57600));
  EXPECT_EQ(line_.Exchange("\r", '\r'), "$\r") << "still waiting for a connection";
}

TEST_F(FieldPalLoader, ChecksEveryFrame) {
  Begin();
  Connect();
  const struct {
    std::string frame;
    const char* answer;
  } cases[] = {
      {"g.0095\r", "+2+\r"},
      {"@2400.0134\r", "+\r"},
      {"X2400.014C\r", "+\r"},
      {"g.0096\r", "-\r"},
      {"@2400.0135\r", "-\r"},
      {"X2400.014c\r", "+\r"},  // lower-case checksum digits
      {"X2400\r", "-\r"},       // no checksum
      {"@2400.134\r", "-\r"},   // three digits
      {LoaderFrame('@', "1FF00"), "+\r"},
      {LoaderFrame('@', "240"), "-\r"},
      {LoaderFrame('@', "2400G"), "-\r"},
      {LoaderFrame('g', "1"), "-\r"},
      {LoaderFrame('Q', "2400"), "-\r"},
      {LoaderFrame('X', "01040"), "+\r"},  // an information segment
      {LoaderFrame('X', "0FA00"), "-\r"},  // the loader's own code
      {LoaderFrame('X', "30000"), "-\r"},  // no flash there
      {LoaderFrame('W', "012"), "-\r"},    // not whole words
      {LoaderFrame('W', "01G3"), "-\r"},
      {LoaderFrame('V', "FFFF"), "-\r"},  // not 16 words
  };
  for (const auto& c : cases) EXPECT_EQ(line_.Exchange(c.frame, '\r'), c.answer) << c.frame;
  sim_.Stop();
  EXPECT_EQ(sim_.Stats()["instrument"]["rejected_frames"], 13);
  EXPECT_EQ(sim_.Stats()["instrument"]["loader_code_faults"], 1);
}

TEST_F(FieldPalLoader, UpdateLeavesTheImageInFlashAndRestartsIntoIt) {
  Begin({"--dump-flash", sim_.PathFor("flash.txt"), "--image-version", "2.07"});
  Connect();
  for (const char* info : {"01000", "01040", "01080"}) EXPECT_EQ(Send('X', info), "+\r");
  // The main flash as an update erases it: 512-byte steps, jumping over the loader's code.
  int segments = 0;
  int erased = 0;
  for (uint32_t address = 0x2100; address < 0x1FF00; address += 512) {
    if (address >= 0xFA00 && address < 0x10000) address = 0x10000;
    char text[8];
    std::snprintf(text, sizeof text, "%05X", address);
    ++segments;
    erased += Send('X', text) == "+\r";
  }
  EXPECT_EQ(erased, segments);

  // Sections like a reader's image: blocks of 512 characters, the address advancing by itself.
  const std::map<uint32_t, std::string> sections = {
      {0x02400, Pattern(1000, 1)},  // four blocks, the last one short
      {0x10000, Pattern(301, 2)},   // odd: the last word is completed with 0xFF
      {0x0FE00, Pattern(2, 3)},
      {0x0FFC0, Pattern(32, 4)},
  };
  for (const auto& [address, bytes] : sections) {
    char text[8];
    std::snprintf(text, sizeof text, "%05X", address);
    ASSERT_EQ(Send('@', text), "+\r");
    const std::string image = ImageText(bytes);
    for (size_t at = 0; at < image.size(); at += 512) {
      ASSERT_EQ(Send('W', image.substr(at, 512)), "+\r") << std::hex << address << " " << at;
    }
  }
  std::string vectors;
  for (int i = 0; i < 16; ++i) vectors += i == 15 ? "2400" : "25A0";
  EXPECT_EQ(Send('V', vectors, '+'), "+");

  // The new firmware answers at 9600 baud with the image's version and factory settings.
  ASSERT_TRUE(line_.SetBaud(9600));
  EXPECT_EQ(line_.Exchange("get -ver\r", '>'), "\rFP 2.07\r>");
  EXPECT_EQ(line_.Exchange("get -i\r", '>'), "\rFieldPal\r>");
  EXPECT_EQ(line_.Exchange("get -cal 0\r", '>'), "\r\r>");
  EXPECT_EQ(line_.Exchange("post\r", '>'), "\rCode Good!\r>");
  line_.Close();
  ASSERT_EQ(sim_.Stop(), 0);

  const std::string dump = sim_.PathFor("flash.txt");
  const std::string scratch = sim_.PathFor("bytes.bin");
  for (const auto& [address, bytes] : sections) {
    std::string expected = bytes;
    if (expected.size() % 2) expected.push_back('\xFF');
    EXPECT_EQ(ReadWithSrecCat(dump, address, expected.size(), scratch), expected)
        << "section at " << std::hex << address;
  }
  EXPECT_EQ(ReadWithSrecCat(dump, 0x2400 + 1000, 0x400, scratch), std::string(0x400, '\xFF'))
      << "the old firmware after the new code is erased";
  std::string vectorBytes;
  for (int i = 0; i < 16; ++i) vectorBytes += i == 15 ? std::string("\x00\x24", 2) : "\xA0\x25";
  EXPECT_EQ(ReadWithSrecCat(dump, 0xFFE0, 32, scratch), vectorBytes);
  EXPECT_EQ(ReadWithSrecCat(dump, 0x1000, 0xC0, scratch), std::string(0xC0, '\xFF'))
      << "information memory erased";
  EXPECT_EQ(ReadWithSrecCat(dump, 0x1FF00, 0x100, scratch), std::string(0x100, '\xFF'));

  const nlohmann::json stats = sim_.Stats()["instrument"];
  EXPECT_EQ(stats["flash_faults"], 0);
  EXPECT_EQ(stats["rejected_frames"], 0);
  EXPECT_EQ(stats["frames"]["X"], 3 + segments);
  EXPECT_EQ(stats["frames"]["W"], 4 + 2 + 1 + 1);
  EXPECT_EQ(stats["frames"]["V"], 1);
  EXPECT_EQ(stats["restarts"], 1);
}

TEST_F(FieldPalLoader, WritingUnerasedFlashIsAFaultTheSelfTestFinds) {
  Begin();
  Connect();
  ASSERT_EQ(Send('@', "02400"), "+\r");
  EXPECT_EQ(Send('W', ImageText(Pattern(256, 5))), "+\r") << "the loader does not verify";
  EXPECT_EQ(Send('V', std::string(64, '0'), '+'), "+");
  ASSERT_TRUE(line_.SetBaud(9600));
  EXPECT_EQ(line_.Exchange("post\r", '>'), "\rCode Corrupt!\r>");
  sim_.Stop();
  EXPECT_GT(sim_.Stats()["instrument"]["flash_faults"].get<int>(), 0);
}

TEST_F(FieldPalLoader, RefusesWritesOutsideTheFlashAndIntoItsOwnCode) {
  Begin();
  Connect();
  ASSERT_EQ(Send('X', "1FE00"), "+\r");
  ASSERT_EQ(Send('@', "1FF00"), "+\r");
  const std::string block = ImageText(Pattern(256, 6));
  EXPECT_EQ(Send('W', block), "+\r") << "the last block of the flash";
  EXPECT_EQ(Send('W', "FFFF"), "-\r") << "the next one would leave the flash";
  ASSERT_EQ(Send('@', "0F9F0"), "+\r");
  EXPECT_EQ(Send('W', ImageText(Pattern(32, 7))), "-\r") << "runs into the loader's code";
  ASSERT_EQ(Send('@', "0FC00"), "+\r");
  EXPECT_EQ(Send('W', "0000"), "-\r");
  sim_.Stop();
  EXPECT_EQ(sim_.Stats()["instrument"]["loader_code_faults"], 2);
}

TEST_F(FieldPalLoader, AtTheCommandLineRateAGetVerFindsTheLoader) {
  // A loader left running answers "get -ver" like "g"; one left waiting answers "$".
  Begin({"--loader-baud", "9600", "--fault", "loader-running"});
  EXPECT_EQ(line_.Exchange("get -ver\r", '\r'), "+2+\r");
  EXPECT_EQ(Send('g', "et -ver"), "-\r") << "with a checksum it is a malformed frame";
  sim_.Stop();

  SimInstrument waiting;
  ASSERT_TRUE(waiting.Start({"--loader-baud", "9600", "--fault", "loader-waiting"}));
  SimLine line;
  ASSERT_TRUE(line.Open(waiting.LinkPath(), 9600));
  EXPECT_EQ(line.Exchange("get -ver\r", '\r'), "$\r");
}

}  // namespace
