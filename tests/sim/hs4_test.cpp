// The Hydrella 4's command line: every item of its store (after the login it needs), the record
// sets and their limits, the login typed one character at a time, the statistics, --state and a
// save, factory reset and restore that gives back the same store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "link/clock.h"
#include "tests/sim/sim_line.h"
#include "tests/support/sim_instrument.h"

namespace {

struct Exchange {
  std::string command;
  std::string answer;
};

class Hs4CommandLine : public ::testing::Test {
 protected:
  // Starts the instrument and logs in, as the updater does before anything but "get -ver".
  void Begin(const std::vector<std::string>& arguments = {}) {
    BeginLoggedOut(arguments);
    ASSERT_EQ(Ask("login *5927"), "\rOK\r>");
  }
  void BeginLoggedOut(const std::vector<std::string>& arguments = {}) {
    ASSERT_TRUE(sim_.Start(arguments)) << sim_.Error();
    ASSERT_TRUE(line_.Open(sim_.LinkPath(), 9600));
  }
  void ExpectAnswers(const std::vector<Exchange>& exchanges) {
    for (const Exchange& exchange : exchanges) {
      EXPECT_EQ(line_.Exchange(exchange.command + "\r", '>'), exchange.answer)
          << "command " << exchange.command;
    }
  }
  std::string Ask(const std::string& command) { return line_.Exchange(command + "\r", '>'); }
  // Ends the simulator and returns its statistics' instrument part.
  nlohmann::json Finish() {
    line_.Close();
    EXPECT_EQ(sim_.Stop(), 0);
    return sim_.Stats()["instrument"];
  }

  SimInstrument sim_{"hs4"};
  SimLine line_;
};

// The answer framing around a value.
std::string Framed(const std::string& text) {
  return "\r" + text + "\r>";
}

const std::string kUsers[] = {
    "MQkyMAkzCUFsaWNlCTAuNQkxLjI=", "MgkyMQkzCUJydW5vCTAuNwkxLjE=", "MwkyMgkxCUNhcm1lbgkwLjQJMS4z"};

TEST_F(Hs4CommandLine, AnswersEveryItemOfAnInstrumentInUse) {
  Begin();
  ExpectAnswers({
      {"get -ver", "\rHS4 2.10\r>"},
      {"get -hver", "\rA\r>"},
      {"set -sensor 0", "\rOK\r>"},
      {"get -sn", "\rHS4-2210318\r>"},
      {"get -config", "\r104217\r>"},
      {"get -pvuser", "\r12.5 0.98 3 1\r>"},
      {"get -tadj", "\r1.002 -0.150\r>"},
      {"get -hadj", "\r0.997 0.400\r>"},
      {"get -tau", "\r30\r>"},
      {"get -user", "\r3\r>"},
      {"get -user 0", Framed(kUsers[0])},
      {"get -user 1", Framed(kUsers[1])},
      {"get -user 2", Framed(kUsers[2])},
      {"get -user 3", "\r\r>"},  // beyond the count: the bare prompt ends the client's list
      {"get -eqn", "\r3\r>"},
      {"get -eqn 0", "\rDepth_cm 0.1*x+0\r>"},
      {"get -eqn 1", "\rFlow`lps 2.5*x^1.5\r>"},
      {"get -eqn 2", "\rSalinity 0.64*x-0.2\r>"},
      {"get -eqn 99", "\r\r>"},
      {"post", "\rCode Good!\r>"},
      {"post -init", "\rCode Good!\r>"},
      {"yes", "\rOK\r>"},
      {"", "\r>"},
      {"login *5927", "\rOK\r>"},
      {"logout", "\rOK\r>"},  // last: the commands above need the login
  });
}

TEST_F(Hs4CommandLine, RefusesWhatItDoesNotKnowOrCannotStore) {
  Begin();
  ExpectAnswers({
      {"get -ver now", "\rERROR\r>"},
      {"get -batt", "\rERROR\r>"},
      {"get -user x", "\rERROR\r>"},
      {"get -user -1", "\rERROR\r>"},
      {"get -eqn 1 2", "\rERROR\r>"},
      {"set -sensor 1", "\rERROR\r>"},
      {"set -sn " + std::string(16, 'S'), "\rERROR\r>"},
      {"set -config 12a4", "\rERROR\r>"},
      {"set -config", "\rERROR\r>"},
      {"set -config " + std::string(65, '1'), "\rERROR\r>"},
      {"set -pvuser " + std::string(257, 'p'), "\rERROR\r>"},
      {"set -tau ten", "\rERROR\r>"},
      {"set -user 4 QQ==", "\rERROR\r>"},  // past the count of 3
      {"set -user 0", "\rERROR\r>"},       // a record needs its text
      {"set -eqn 0 " + std::string(257, 'e'), "\rERROR\r>"},
      {"reset -user", "\rERROR\r>"},
      {"reset", "\rERROR\r>"},
      {"boot KWEL", "\rERROR\r>"},
      {"frobnicate", "\rERROR\r>"},
  });
  // Nothing refused changed the store.
  ExpectAnswers({{"get -sn", "\rHS4-2210318\r>"}, {"get -user", "\r3\r>"}});
  EXPECT_EQ(Finish()["refusals"], 19);
}

TEST_F(Hs4CommandLine, StoresEveryItemAndAnswersItBack) {
  Begin();
  const std::vector<Exchange> values = {
      {"-sn", "HS4-0000001"},
      {"-sn", ""},
      {"-config", "1234567890"},
      {"-pvuser", "1 2 3"},
      {"-tadj", "0.5 0.1"},
      {"-hadj", "2.000 -1.000"},
      {"-tau", "-15"},
      {"-user 1", "Qk9C"},
      {"-eqn 2", "My_eqn`2 a*x+b"},
      {"-sn", std::string(15, 'N')},
      {"-pvuser", std::string(256, 'v')},
  };
  for (const Exchange& value : values) {
    const std::string set =
        "set " + value.command + (value.answer.empty() ? "" : " ") + value.answer;
    EXPECT_EQ(Ask(set), "\rOK\r>") << set;
    EXPECT_EQ(Ask("get " + value.command), Framed(value.answer)) << value.command;
  }
}

TEST_F(Hs4CommandLine, RecordSetsAreEmptiedAndFilledFromIndexZero) {
  Begin();
  ExpectAnswers({
      {"reset -users", "\rOK\r>"},
      {"get -user", "\r0\r>"},
      {"get -user 0", "\r\r>"},
      {"set -user 1 QQ==", "\rERROR\r>"},  // only the count itself appends
      {"set -user 0 QQ==", "\rOK\r>"},
      {"set -user 1 Qg==", "\rOK\r>"},
      {"set -user 0 Qw==", "\rOK\r>"},  // replaces
      {"get -user", "\r2\r>"},
      {"get -user 0", "\rQw==\r>"},
      {"reset -eqn", "\rOK\r>"},
      {"get -eqn", "\r0\r>"},
  });
  // Up to 25 users and 100 equations.
  for (int i = 2; i < 25; ++i)
    ASSERT_EQ(Ask("set -user " + std::to_string(i) + " QQ=="), "\rOK\r>");
  EXPECT_EQ(Ask("set -user 25 QQ=="), "\rERROR\r>");
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Ask("set -eqn " + std::to_string(i) + " e x"), "\rOK\r>");
  EXPECT_EQ(Ask("set -eqn 100 e x"), "\rERROR\r>");
  ExpectAnswers({{"get -user", "\r25\r>"}, {"get -eqn", "\r100\r>"}});
}

TEST_F(Hs4CommandLine, LogsInWithTheCodeTypedOneCharacterAtATime) {
  BeginLoggedOut();
  // The updater pauses after every character; how long does not matter to the command line.
  for (char c : std::string("login *5927")) {
    ASSERT_EQ(line_.SendAndListen(std::string(1, c), 30), "") << "no echo, no answer yet";
  }
  // The carriage return ends the login, the line feed is ignored, the second carriage return is
  // an empty line.
  EXPECT_EQ(line_.SendAndListen("\r\n\r", 300), "\rOK\r>\r>");
  EXPECT_EQ(Ask("get -sn"), "\rHS4-2210318\r>") << "logged in";
  const nlohmann::json instrument = Finish();
  EXPECT_EQ(instrument["commands"], 2);
  EXPECT_EQ(instrument["logged_in"], true);
}

TEST_F(Hs4CommandLine, StatisticsCountTheCommandsAndShowTheStore) {
  BeginLoggedOut();
  ExpectAnswers({
      {"login *5927", "\rOK\r>"},
      {"set -sensor 0", "\rOK\r>"},
      {"set -sensor 0", "\rOK\r>"},
      {"yes", "\rOK\r>"},
      {"get -nothing", "\rERROR\r>"},
      {"set -eqn 3 Zeta 1", "\rOK\r>"},
  });
  const nlohmann::json instrument = Finish();
  EXPECT_EQ(instrument["commands"], 6);  // the login is one of them
  EXPECT_EQ(instrument["refusals"], 1);
  EXPECT_EQ(instrument["sensor_resets"], 2);
  EXPECT_EQ(instrument["data_erases"], 1);
  EXPECT_EQ(instrument["answers_sent"], 6);
  EXPECT_EQ(instrument["state"], "firmware");
  const nlohmann::json& settings = instrument["settings"];
  EXPECT_EQ(settings["serial"], "HS4-2210318");
  EXPECT_EQ(settings["config"], "104217");
  EXPECT_EQ(settings["pvuser"], "12.5 0.98 3 1");
  EXPECT_EQ(settings["tadj"], "1.002 -0.150");
  EXPECT_EQ(settings["hadj"], "0.997 0.400");
  EXPECT_EQ(settings["tau"], 30);
  EXPECT_EQ(settings["user"],
            nlohmann::json(std::vector<std::string>(std::begin(kUsers), std::end(kUsers))));
  EXPECT_EQ(settings["eqn"].size(), 4u);
  EXPECT_EQ(settings["eqn"][3], "Zeta 1");
  EXPECT_TRUE(settings["clock"].is_number_integer());
}

TEST_F(Hs4CommandLine, DataEraseFailsWithTheDataFlashFault) {
  Begin({"--fault", "dataflash-fail"});
  EXPECT_EQ(Ask("yes"), "\rDataFlash FAIL\r>");
  EXPECT_EQ(Finish()["data_erases"], 0);
}

TEST_F(Hs4CommandLine, TheClockIsSetAndReadInSecondsSince2000) {
  Begin();
  EXPECT_EQ(Ask("set -sec 800000000"), "\rOK\r>");
  const std::string answer = Ask("get -sec");
  ASSERT_GE(answer.size(), 4u);
  const long seconds = std::stol(answer.substr(1));
  EXPECT_GE(seconds, 800000000);
  EXPECT_LT(seconds, 800000060);
  EXPECT_EQ(Ask("get -t").substr(0, 11), "\r2025-05-08");
  EXPECT_EQ(Ask("set -sec soon"), "\rERROR\r>");
}

// The name the updater sorts a "user" record by: the fourth field of the decoded row.
std::string UserName(const std::string& record) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string row;
  for (size_t i = 0; i + 4 <= record.size(); i += 4) {
    uint32_t group = 0;
    for (size_t j = 0; j < 4; ++j) {
      const size_t value = alphabet.find(record[i + j]);
      group = group << 6 | (value == std::string::npos ? 0 : static_cast<uint32_t>(value));
    }
    for (int shift = 16; shift >= 0; shift -= 8) row.push_back(static_cast<char>(group >> shift));
  }
  size_t start = 0;
  for (int tab = 0; tab < 3; ++tab) start = row.find('\t', start) + 1;
  return row.substr(start, row.find('\t', start) - start);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(Hs4CommandLine, ASaveFactoryResetAndRestoreGivesBackTheSameStore) {
  const std::vector<std::string> state = {"--state", sim_.PathFor("state.json")};
  Begin(state);
  // The save: every item, and both record sets as the count and the records.
  std::vector<std::string> saved;
  for (const char* item : {"-sn", "-config", "-pvuser", "-tadj", "-hadj", "-tau"}) {
    const std::string answer = Ask(std::string("get ") + item);
    saved.push_back(answer.substr(1, answer.size() - 3));
  }
  std::vector<std::string> users, equations;
  for (int i = 0; i < 3; ++i) {
    for (auto [set, records] : {std::pair{"-user", &users}, std::pair{"-eqn", &equations}}) {
      const std::string answer = Ask(std::string("get ") + set + " " + std::to_string(i));
      records->push_back(answer.substr(1, answer.size() - 3));
    }
  }
  const nlohmann::json before = Finish()["settings"];

  // The restore writes each set sorted by the upper-cased name: the store is already in that
  // order, with names that differ.
  std::vector<std::string> names;
  for (const std::string& user : users) names.push_back(Upper(UserName(user)));
  EXPECT_EQ(names, (std::vector<std::string>{"ALICE", "BRUNO", "CARMEN"}));
  names.clear();
  for (const std::string& equation : equations)
    names.push_back(Upper(equation.substr(0, equation.find(' '))));
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());

  std::vector<std::string> arguments = state;
  arguments.push_back("--factory-reset");
  Begin(arguments);
  ExpectAnswers({{"get -sn", "\r\r>"}, {"get -user", "\r0\r>"}, {"get -eqn", "\r0\r>"}});
  const char* items[] = {"-sn", "-config", "-pvuser", "-tadj", "-hadj", "-tau"};
  for (size_t i = 0; i < saved.size(); ++i) {
    EXPECT_EQ(Ask(std::string("set ") + items[i] + " " + saved[i]), "\rOK\r>") << items[i];
  }
  EXPECT_EQ(Ask("reset -users"), "\rOK\r>");
  for (size_t i = 0; i < users.size(); ++i) {
    EXPECT_EQ(Ask("set -user " + std::to_string(i) + " " + users[i]), "\rOK\r>");
  }
  EXPECT_EQ(Ask("reset -eqn"), "\rOK\r>");
  for (size_t i = 0; i < equations.size(); ++i) {
    EXPECT_EQ(Ask("set -eqn " + std::to_string(i) + " " + equations[i]), "\rOK\r>");
  }
  nlohmann::json after = Finish()["settings"];
  after["clock"] = before["clock"];
  EXPECT_EQ(after, before);
}

TEST_F(Hs4CommandLine, KeepsItsStoreAndClockAcrossRuns) {
  const std::vector<std::string> state = {"--state", sim_.PathFor("state.json")};
  Begin(state);
  ExpectAnswers({{"set -sn KEPT-1", "\rOK\r>"},
                 {"set -eqn 3 Kept 1", "\rOK\r>"},
                 {"reset -users", "\rOK\r>"},
                 {"set -sec 800000000", "\rOK\r>"}});
  Finish();
  std::ifstream file(sim_.PathFor("state.json"));
  const nlohmann::json saved = nlohmann::json::parse(file, nullptr, false);
  EXPECT_EQ(saved["family"], "hs4");
  Begin(state);
  ExpectAnswers({{"get -sn", "\rKEPT-1\r>"},
                 {"get -eqn 3", "\rKept 1\r>"},
                 {"get -user", "\r0\r>"},
                 {"get -ver", "\rHS4 2.10\r>"}});
  EXPECT_EQ(Ask("get -t").substr(0, 11), "\r2025-05-08");
}

TEST_F(Hs4CommandLine, RefusesTheStateOfAnotherFamily) {
  SimInstrument fieldpal;
  ASSERT_TRUE(fieldpal.Start({"--state", fieldpal.PathFor("state.json")})) << fieldpal.Error();
  ASSERT_EQ(fieldpal.Stop(), 0);
  EXPECT_FALSE(sim_.Start({"--state", fieldpal.PathFor("state.json")}));
  EXPECT_NE(sim_.Error().find("exit status 1"), std::string::npos) << sim_.Error();
}

TEST_F(Hs4CommandLine, TakesTheFieldPalsVersionOptions) {
  Begin({"--type-word", "HS4X", "--version", "2.04", "--hver", "C"});
  ExpectAnswers({{"get -ver", "\rHS4X 2.04\r>"}, {"get -hver", "\rC\r>"}});
}

}  // namespace
