// Naming and sorting the record sets on their own: an equation is named by its first word, a user
// row (base64 of a tab-separated line) by its fourth field, and a set is put back in name order.
#include "session/record_sets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "session/settings_file.h"
#include "tests/session/session_fixture.h"

namespace {

std::string Base64(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    text += kAlphabet[(group >> 18) & 63];
    text += kAlphabet[(group >> 12) & 63];
    text += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
    text += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
  }
  return text;
}

// A user row as the instrument keeps it: four tab-separated fields, the name the fourth.
std::string UserRow(const std::string& name) {
  return Base64("1\tsite\t2024-02-29\t" + name + "\tnotes");
}

class RecordSetTest : public SessionTest {
 protected:
  void Fill(int type, const std::vector<std::string>& data) {
    RecordSet* set = RecordSetOf(session_.get(), type);
    ASSERT_EQ(AllocateRecords(set, static_cast<uint32_t>(data.size())), 1);
    for (size_t i = 0; i < data.size(); ++i) {
      std::snprintf(set->records[i].data, kRecordDataSize, "%s", data[i].c_str());
    }
  }
  std::vector<std::string> Names(int type) {
    RecordSet* set = RecordSetOf(session_.get(), type);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < set->count; ++i) names.emplace_back(set->records[i].name);
    return names;
  }
};

TEST_F(RecordSetTest, UsersSortByNameWithEqualNamesInTheOppositeOrder) {
  Fill(record_type::kUser, {UserRow("b"), UserRow("A"), UserRow("a")});
  const std::string lowerA = session_->users.records[2].data;
  ASSERT_EQ(AlphabetizeRecords(session_.get(), record_type::kUser), 1);
  EXPECT_EQ(Names(record_type::kUser), (std::vector<std::string>{"a", "A", "b"}));
  EXPECT_EQ(session_->users.records[0].data, lowerA);  // the data moves with its name
}

TEST_F(RecordSetTest, EquationsSortByTheirFirstWord) {
  Fill(record_type::kEqn, {"flow q=k*h", "Depth d=h-0.2", "area a=w*d", "Flow2 q2=q"});
  ASSERT_EQ(AlphabetizeRecords(session_.get(), record_type::kEqn), 1);
  EXPECT_EQ(Names(record_type::kEqn), (std::vector<std::string>{"area", "Depth", "flow", "Flow2"}));
  EXPECT_STREQ(session_->eqns.records[1].data, "Depth d=h-0.2");
}

TEST_F(RecordSetTest, NamesComeFromTheData) {
  struct Case {
    const char* what;
    int type;
    std::string data;
    std::string name;
  };
  const Case cases[] = {
      {"an equation's first word, blanks and commas coded", record_type::kEqn, "My_eqn`2 more",
       "My eqn,2"},
      {"an equation without a blank", record_type::kEqn, "x*2", "x*2"},
      {"an equation's name is cut at 20 characters", record_type::kEqn,
       "abcdefghijklmnopqrstuvwxyz = 1", "abcdefghijklmnopqrst"},
      {"a user row's fourth field", record_type::kUser, UserRow("Tom"), "Tom"},
      {"a user name is cut at 9 characters", record_type::kUser, UserRow("Bartholomew"),
       "Bartholom"},
      {"a user row with three fields has no name", record_type::kUser, Base64("1\tsite\tdate"), ""},
      {"a user row without tabs has no name", record_type::kUser, Base64("plain text"), ""},
      {"a user row that ends after its third tab", record_type::kUser, Base64("1\t2\t3\t"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fill(c.type, {c.data});
    ASSERT_EQ(ExtractNames(session_.get(), c.type), 1);
    EXPECT_EQ(Names(c.type), std::vector<std::string>{c.name});
  }
}

TEST_F(RecordSetTest, OnlyTheTwoRecordTypesHaveSets) {
  EXPECT_EQ(ExtractNames(session_.get(), record_type::kEqn), -10);  // no records yet
  EXPECT_EQ(AlphabetizeRecords(session_.get(), record_type::kUser), -10);
  EXPECT_EQ(ExtractNames(session_.get(), 3), -11);
  EXPECT_EQ(AlphabetizeRecords(session_.get(), 0), -11);
  EXPECT_EQ(GetRecords_File(session_.get(), 3, "eqn00=\"x\""), -11);
  EXPECT_EQ(GetRecords_File(session_.get(), record_type::kEqn, "user00=\"x\""), 0);
  EXPECT_TRUE(Logged("ExtractNames found an unexpected record type \"3\""));
}

}  // namespace
