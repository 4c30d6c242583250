// The loader client flashing a virtual FieldPal end to end: the flash must hold the image byte
// for byte afterwards, and every fault must end with its code, never a hang.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "loader/bsl_protocol.h"
#include "loader/firmware_image.h"
#include "loader/ti_text.h"  // kVectorBase
#include "tests/loader/image_files.h"
#include "tests/support/run_tool.h"
#include "tests/support/sim_instrument.h"

namespace {

constexpr uint32_t kLoaderBaud = 57600;   // the FieldPal's loader map: flash 0x2100-0x1FF00,
constexpr uint32_t kFlashStart = 0x2100;  // information memory 0x1000, 3 segments of 0x40,
constexpr uint32_t kFlashEnd = 0x1FF00;   // five-digit addresses
constexpr uint32_t kInfoStart = 0x1000;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The bytes of a TI-Text file by address, read plainly: "@" lines set the address, every hex
// pair is the byte at the next one. The simulator's dump runs its sections across the vectors and
// across 0x10000, which the updater's own reader does not take.
std::map<uint32_t, uint8_t> TiTextBytes(const std::string& text) {
  std::map<uint32_t, uint8_t> bytes;
  std::istringstream in(text);
  std::string word;
  uint32_t address = 0;
  while (in >> word && word != "q") {
    if (word[0] == '@') {
      address = static_cast<uint32_t>(std::stoul(word.substr(1), nullptr, 16));
    } else {
      bytes[address++] = static_cast<uint8_t>(std::stoul(word, nullptr, 16));
    }
  }
  return bytes;
}

class FlashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = std::make_unique<VexaLog>(sim_.PathFor("errors.txt").c_str(), 30);
    host_ = std::make_unique<VexaBSLHost>(log_.get());
    ASSERT_EQ(host_->image.status, 0);
  }

  bool StartSim(std::vector<std::string> arguments = {}) {
    arguments.push_back("--dump-flash");
    arguments.push_back(sim_.PathFor("flash.txt"));
    const bool started = sim_.Start(arguments);
    EXPECT_TRUE(started) << sim_.Error();
    return started;
  }

  // The update's loader steps; the first failure ends them.
  int32_t Flash() {
    int32_t result = BSLConnect(host_.get(), sim_.LinkPath().c_str(), kLoaderBaud, true, 3);
    if (result >= 0) result = BSLEraseINFO(host_.get(), kInfoStart, 3, 0x40, true);
    if (result >= 0) result = BSLEraseFlash(host_.get(), kFlashStart, kFlashEnd, true);
    if (result >= 0) result = BSLSendFirmware(host_.get(), true);
    if (result >= 0) result = BSLSendVectors(host_.get());
    BSLDisconnect(host_.get());
    return result;
  }

  // Stops the simulator and compares its flash with the image: every image byte at its address,
  // and the 16 vectors.
  void ExpectFlashHoldsTheImage() {
    ASSERT_EQ(sim_.Stop(), 0);
    const std::map<uint32_t, uint8_t> flash = TiTextBytes(ReadAll(sim_.PathFor("flash.txt")));
    std::map<uint32_t, uint8_t> image = image_files::DecodeImageText(host_->image.text);
    for (uint32_t i = 0; i < kVectorCount; ++i) {
      image[kVectorBase + 2 * i] = host_->image.vectors[i] & 0xFF;
      image[kVectorBase + 2 * i + 1] = host_->image.vectors[i] >> 8;
    }
    size_t differing = 0;
    for (const auto& [address, byte] : image) {
      const auto found = flash.find(address);
      if (found == flash.end() || found->second != byte) ++differing;
    }
    EXPECT_EQ(differing, 0u) << "of " << image.size() << " image bytes";
    EXPECT_EQ(sim_.Stats()["instrument"]["flash_faults"], 0);
  }

  std::string LogText() const { return ReadAll(log_->Path()); }

  SimInstrument sim_;
  std::unique_ptr<VexaLog> log_;
  std::unique_ptr<VexaBSLHost> host_;
};

TEST_F(FlashTest, TheWholeFlashLeavesTheImageInTheInstrument) {
  ASSERT_TRUE(StartSim());
  EXPECT_EQ(Flash(), 1);
  ExpectFlashHoldsTheImage();
  const std::string log = LogText();
  for (const char* line :
       {"BSLInvocation successful (1 tries)",
        "BSLConnect connected to device running VexaBSL version 2",
        "BSLEraseINFO successful: 3 segments @ 10C0",
        "BSLEraseFlash successful: segment 2100 to 1FF00", "BSLSendAddress (10000) successful",
        "BSLSendFirmware successful", "BSLSendVectors successful"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
}

TEST_F(FlashTest, AnyValidTiTextFileCanBeFlashed) {
  std::string file = "@2400\n";
  for (int i = 0; i < 1001; ++i) file += (i % 16 == 15 ? "3C\n" : "3C ");
  file += "\n@12345\nAB CD EF\n@FFE0\n";
  for (int i = 0; i < 16; ++i) file += "00 24 ";
  file += "\nq\n";
  const std::string path = sim_.PathFor("odd.txt");
  std::ofstream(path, std::ios::binary) << file;
  ASSERT_EQ(BSLLoadTIFile(host_.get(), path.c_str()), 1);
  ASSERT_TRUE(StartSim());
  EXPECT_EQ(Flash(), 1);
  ExpectFlashHoldsTheImage();
}

TEST_F(FlashTest, ALoaderLeftRunningIsFoundAndUsed) {
  ASSERT_TRUE(StartSim({"--fault", "loader-running"}));
  EXPECT_EQ(BSLConnect(host_.get(), sim_.LinkPath().c_str(), kLoaderBaud, false, 3), 2);
  EXPECT_NE(LogText().find("BSLCheck found the VexaBSL already active"), std::string::npos);
  BSLDisconnect(host_.get());
}

TEST_F(FlashTest, AnUpdateCutByAPowerLossIsFinishedFromTheWaitingLoader) {
  const std::string state = sim_.PathFor("state.json");
  ASSERT_TRUE(StartSim({"--state", state, "--fault", "power-loss=40"}));
  EXPECT_EQ(Flash(), kErrNoAnswer);
  EXPECT_EQ(sim_.Stop(), 0);

  // Powered up again, the instrument sits in its loader at 57600 and cannot hear the boot
  // command; the client must connect to the waiting loader and finish the job.
  ASSERT_TRUE(StartSim({"--state", state}));
  EXPECT_EQ(Flash(), 1);
  const std::string log = LogText();
  EXPECT_NE(log.find("BSLCheck found the VexaBSL waiting for a connection"), std::string::npos);
  ExpectFlashHoldsTheImage();
}

TEST_F(FlashTest, ABlockRejectedOnceIsResentAndOneAlwaysRejectedFails) {
  ASSERT_TRUE(StartSim({"--fault", "reject-block=7"}));
  EXPECT_EQ(Flash(), 1);
  ExpectFlashHoldsTheImage();
  EXPECT_EQ(sim_.Stats()["instrument"]["rejected_frames"], 1);

  ASSERT_TRUE(StartSim({"--fault", "reject-block-always=7"}));
  EXPECT_EQ(Flash(), -1);
  EXPECT_NE(LogText().find("BSLSendFirmware failed with error -1"), std::string::npos);
  EXPECT_EQ(sim_.Stop(), 0);
}

TEST_F(FlashTest, FaultsEndWithTheirCodesNeverAHang) {
  struct Case {
    const char* fault;
    int32_t result;
    const char* line;
  };
  const Case cases[] = {
      {"no-loader", kErrNoLoader, "BSLInvocation failed with error -112"},
      {"silent-after=100", kErrNoAnswer, "BSLEraseFlash failed with error -21"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(StartSim({"--fault", c.fault}));
    const uint32_t start = MsClock();
    EXPECT_EQ(Flash(), c.result) << c.fault;
    EXPECT_LT(MsClock() - start, 30000u) << c.fault;
    EXPECT_NE(LogText().find(c.line), std::string::npos) << c.fault;
    EXPECT_FALSE(host_->portOpen);
    EXPECT_EQ(sim_.Stop(), 0);
  }
}

TEST(FlashCommand, ProgramsAVirtualFieldPalAndReportsFailuresWithTheirCode) {
  SimInstrument sim;
  ASSERT_TRUE(sim.Start()) << sim.Error();
  const std::string log = sim.PathFor("flash.errors.txt");
  const ToolOutcome flashed =
      RunTool(VEXABSL_PATH, "flash --port '" + sim.LinkPath() + "' --log '" + log + "'");
  EXPECT_EQ(flashed.exit, 0) << flashed.output;
  EXPECT_NE(flashed.output.find("Flashed QRN 2.00 C in "), std::string::npos) << flashed.output;
  EXPECT_NE(flashed.output.find("Log: " + log), std::string::npos);
  EXPECT_NE(ReadAll(log).find("BSLSendVectors successful"), std::string::npos);
  EXPECT_EQ(sim.Stop(), 0);

  ASSERT_TRUE(sim.Start({"--fault", "no-loader"})) << sim.Error();
  const ToolOutcome refused =
      RunTool(VEXABSL_PATH, "flash --port '" + sim.LinkPath() + "' --log '" + log + "'");
  EXPECT_EQ(refused.exit, 1);
  EXPECT_NE(refused.output.find("connecting to the loader failed [Error -112]"), std::string::npos)
      << refused.output;
  EXPECT_EQ(sim.Stop(), 0);

  EXPECT_EQ(RunTool(VEXABSL_PATH, "flash").exit, 64) << "--port is required";
  EXPECT_EQ(RunTool(VEXABSL_PATH, "flash --port x --type 99").exit, 64);
}

}  // namespace
