// The FieldPal's command line at 9600 baud: the commands an update sends, the settings it saves
// and restores, the clock, the line model at wrong rates, and the transcript and statistics.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

struct Exchange {
  const char* command;
  const char* answer;
};

class FieldPalCommandLine : public ::testing::Test {
 protected:
  void Begin(const std::vector<std::string>& arguments = {}) {
    ASSERT_TRUE(sim_.Start(arguments)) << sim_.Error();
    ASSERT_TRUE(line_.Open(sim_.LinkPath(), 9600));
  }
  void ExpectAnswers(const std::vector<Exchange>& exchanges) {
    for (const Exchange& exchange : exchanges) {
      EXPECT_EQ(line_.Exchange(exchange.command, '>'), exchange.answer)
          << "command " << exchange.command;
    }
  }

  SimInstrument sim_;
  SimLine line_;
};

TEST_F(FieldPalCommandLine, AnswersTheCommandsOfAnUpdate) {
  Begin();
  ExpectAnswers({
      {"get -ver\r", "\rFP 1.50\r>"},
      {"get -hver\r", "\rC\r>"},
      {"get -batt\r", "\r85\r>"},
      {"get -i\r", "\rFP0042\r>"},
      {"get -sn\r", "\rFP14-2291047\r>"},
      {"get -contr\r", "\r37\r>"},
      {"get -adc15\r", "\r0.9987 0.0012\r>"},
      {"get -adc30\r", "\r1.0021 -0.0008\r>"},
      {"get -cal 0\r", "\rpH 4.01 7.00 10.01 slope 0.9912\r>"},
      {"get -cal 2\r", "\rT offset -0.15\r>"},
      {"get -cal 3\r", "\r\r>"},  // an empty entry: the bare prompt ends the client's list
      {"get -cal 20\r", "\rERROR\r>"},
      {"post\r", "\rCode Good!\r>"},
      {"post -init\r", "\rCode Good!\r>"},
      {"login\r", "\rOK\r>"},
      {"logout\r", "\rOK\r>"},
      {"yes\r", "\rOK\r>"},
      {"\r", "\r>"},
      {"get -vers\r", "\rERROR\r>"},
      {"frobnicate\r", "\rERROR\r>"},
      {"boot NOPE\r", "\rERROR\r>"},
      {"get -ver\n\r", "\rFP 1.50\r>"},  // line feeds are ignored
  });
}

TEST_F(FieldPalCommandLine, StoresTheSettingsAnUpdateRestores) {
  Begin();
  ExpectAnswers({
      {"set -i FP7\r", "\rOK\r>"},
      {"get -i\r", "\rFP7\r>"},
      {"set -i NINECHARS\r", "\rERROR\r>"},
      {"set -i TWO WORDS\r", "\rERROR\r>"},
      {"set -sn SN-0001\r", "\rOK\r>"},
      {"get -sn\r", "\rSN-0001\r>"},
      {"set -sn 0123456789ABCDEF\r", "\rERROR\r>"},
      {"set -contr 12\r", "\rOK\r>"},
      {"get -contr\r", "\r12\r>"},
      {"set -contr 256\r", "\rERROR\r>"},
      {"set -contr dark\r", "\rERROR\r>"},
      {"set -adc15 0.5 1.5\r", "\rOK\r>"},
      {"get -adc15\r", "\r0.5 1.5\r>"},
      {"set -adc30 2 3\r", "\rOK\r>"},
      {"get -adc30\r", "\r2 3\r>"},
      {"set -cal 7 a text with blanks\r", "\rOK\r>"},
      {"get -cal 7\r", "\ra text with blanks\r>"},
      {"set -cal 7\r", "\rOK\r>"},  // no value: the entry is cleared
      {"get -cal 7\r", "\r\r>"},
      {"set -cal 20 x\r", "\rERROR\r>"},
      {"set -volume 3\r", "\rERROR\r>"},
  });
}

TEST_F(FieldPalCommandLine, KeepsTheClockItIsGiven) {
  Begin();
  ExpectAnswers({
      {"set -sec 794063109\r", "\rOK\r>"},  // 2025-02-28 13:05:09
      {"set -d 2024-02-29\r", "\rOK\r>"},
      {"set -t 13:05:09\r", "\rOK\r>"},
      {"set -d 2023-02-29\r", "\rERROR\r>"},
      {"set -t 24:00:00\r", "\rERROR\r>"},
  });
  const std::string date = line_.Exchange("get -t\r", '>');
  EXPECT_EQ(date.substr(0, 18), "\r2024-02-29 13:05:") << date;
  const std::string seconds = line_.Exchange("get -sec\r", '>');
  // 2024-02-29 13:05:09 is 762527109 seconds after 2000-01-01 00:00:00.
  EXPECT_GE(std::stol(seconds.substr(1)), 762527109) << seconds;
  EXPECT_LE(std::stol(seconds.substr(1)), 762527109 + 5) << seconds;
  EXPECT_NE(line_.Exchange("time\r", '>').find("Date\\Time: 2024-02-29 13:05:"), std::string::npos);
}

TEST_F(FieldPalCommandLine, AnswersGarbageAtAnyOtherRate) {
  Begin();
  for (uint32_t baud : {1200u, 4800u, 19200u, 38400u, 57600u, 115200u}) {
    ASSERT_TRUE(line_.SetBaud(baud));
    const std::string heard = line_.SendAndListen("get -ver\r", 400);
    EXPECT_FALSE(heard.empty()) << baud << " baud: the refusal of the noise, garbled";
    EXPECT_EQ(heard.find("FP 1.50"), std::string::npos) << baud << " baud";
    EXPECT_EQ(heard.find("\r>"), std::string::npos) << baud << " baud: no readable prompt";
  }
  ASSERT_TRUE(line_.SetBaud(9600));
  line_.Exchange("\r", '>');  // ends whatever printable garbage the instrument collected
  EXPECT_EQ(line_.Exchange("get -ver\r", '>'), "\rFP 1.50\r>") << "recovers at 9600 baud";
}

TEST_F(FieldPalCommandLine, ChangesItsRateOnSetBaud) {
  Begin();
  EXPECT_EQ(line_.Exchange("set -baud 2\r", '>'), "\rOK\r>") << "the OK comes at 9600";
  EXPECT_EQ(line_.SendAndListen("get -ver\r", 300).find("FP 1.50"), std::string::npos);
  ASSERT_TRUE(line_.SetBaud(38400));
  EXPECT_EQ(line_.Exchange("get -ver\r", '>'), "\rFP 1.50\r>");
  EXPECT_EQ(line_.Exchange("set -baud 9\r", '>'), "\rERROR\r>");
}

TEST_F(FieldPalCommandLine, SurvivesThePortBeingClosedAndOpened) {
  Begin();
  EXPECT_EQ(line_.Exchange("set -i AGAIN\r", '>'), "\rOK\r>");
  line_.Close();
  ASSERT_TRUE(line_.Open(sim_.LinkPath(), 9600));
  EXPECT_EQ(line_.Exchange("get -i\r", '>'), "\rAGAIN\r>");
}

TEST_F(FieldPalCommandLine, TranscriptAndStatisticsShowTheLine) {
  Begin({"--transcript", sim_.PathFor("transcript.jsonl")});
  ASSERT_EQ(line_.Exchange("get -ver\r", '>'), "\rFP 1.50\r>");
  ASSERT_TRUE(line_.SetBaud(19200));
  line_.SendAndListen("get -ver\r", 300);
  line_.Close();
  ASSERT_EQ(sim_.Stop(), 0);

  std::ifstream in(sim_.PathFor("transcript.jsonl"));
  std::vector<nlohmann::json> lines;
  for (std::string text; std::getline(in, text);) lines.push_back(nlohmann::json::parse(text));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0]["dir"], "in");
  EXPECT_EQ(lines[0]["baud"], 9600);
  EXPECT_EQ(lines[0]["bytes"], "get -ver\r");
  EXPECT_EQ(lines[0]["state"], "firmware");
  EXPECT_FALSE(lines[0].contains("heard"));
  EXPECT_EQ(lines[1]["dir"], "out");
  EXPECT_EQ(lines[1]["bytes"], "\rFP 1.50\r>");
  EXPECT_EQ(lines[2]["baud"], 19200);
  EXPECT_TRUE(lines[2].contains("heard")) << "the instrument heard something else";
  EXPECT_LE(lines[0]["t"].get<double>(), lines[3]["t"].get<double>());

  const nlohmann::json stats = sim_.Stats();
  EXPECT_EQ(stats["bytes_received"], 18);
  EXPECT_EQ(stats["bytes_sent"], 10 + 8);  // the version and the refusal of the noise
  // 10 bits per byte: 9 bytes at 9600 and 9 at 19200; 18 bytes at 9600.
  EXPECT_NEAR(stats["wire_ms_received"].get<double>(), 9.375 + 4.6875, 0.01);
  EXPECT_NEAR(stats["wire_ms_sent"].get<double>(), 18.75, 0.01);
  EXPECT_NEAR(stats["device_ms"]["answer"].get<double>(), 2 * 20.0, 0.01);
  EXPECT_NEAR(stats["modelled_ms"].get<double>(), 9.375 + 4.6875 + 18.75 + 40.0, 0.02);
  EXPECT_EQ(stats["instrument"]["refusals"], 1);
}

TEST_F(FieldPalCommandLine, RealtimePacesTheAnswer) {
  Begin({"--realtime", "--answer-ms", "300"});
  const uint32_t start = MsClock();
  EXPECT_EQ(line_.Exchange("get -ver\r", '>', 2000), "\rFP 1.50\r>");
  // Command and answer on the wire (about 20 ms at 9600) and the answer time.
  EXPECT_GE(MsClock() - start, 300u + 19u);
}

}  // namespace
