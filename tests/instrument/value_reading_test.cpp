// The rules by which the setting commands find a value in an answer.
#include "instrument/value_reading.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum class Rule { kWord, kText, kLine, kLineNoPrompt, kNumber, kNumberAfterReturn };

struct Case {
  Rule rule;
  const char* answer;
  uint32_t limit;
  int32_t result;
  const char* value;  // text rules: the value read; number rules: its decimal form
};

std::string Read(const Case& c, int32_t* result) {
  char text[80] = "untouched";
  int32_t number = 0;
  switch (c.rule) {
    case Rule::kWord:
      *result = ReadWordValue(c.answer, text, c.limit);
      return text;
    case Rule::kText:
      *result = ReadTextValue(c.answer, text, c.limit);
      return text;
    case Rule::kLine:
      *result = ReadLineValue(c.answer, text, c.limit, true);
      return text;
    case Rule::kLineNoPrompt:
      *result = ReadLineValue(c.answer, text, c.limit, false);
      return text;
    case Rule::kNumber:
      *result = ReadNumberValue(c.answer, false, &number);
      return std::to_string(number);
    case Rule::kNumberAfterReturn:
      *result = ReadNumberValue(c.answer, true, &number);
      return std::to_string(number);
  }
  return {};
}

TEST(ValueReading, FindsTheValueByEachRule) {
  const Case cases[] = {
      // A word: after the first carriage return, up to a blank, a line end or the prompt.
      {Rule::kWord, "\rLOGGER1\r>", 8, 1, "LOGGER1"},
      {Rule::kWord, "LOGGER1\r>", 8, -30, ""},  // the value follows the first line end
      {Rule::kWord, "\rTOOLONGNAME\r>", 8, 1, "TOOLONGN"},
      {Rule::kWord, "\rA B\r>", 8, 1, "A"},
      {Rule::kWord, "\r>", 8, -30, ""},
      {Rule::kWord, "\r\r>", 8, -30, ""},
      // A text: white space skipped, up to a carriage return, cut at the limit.
      {Rule::kText, "\rNorth Creek weir\r>", 25, 1, "North Creek weir"},
      {Rule::kText, "\r  two  blanks\r>", 25, 1, "two  blanks"},
      {Rule::kText, "\rThe Long Site Name Of A Weir\r>", 25, 1, "The Long Site Name Of A W"},
      {Rule::kText, "\r\r>", 25, -31, ""},
      {Rule::kText, "\r>", 25, -31, ""},
      {Rule::kText, "", 25, -30, ""},
      {Rule::kText, "no prompt at all", 8, 1, "no promp"},
      // A line: right after the first carriage return, blanks kept.
      {Rule::kLine, "\r B1234-5\r>", 16, 1, " B1234-5"},
      {Rule::kLine, "OK\rB1234-5\r>", 16, 1, "B1234-5"},
      {Rule::kLine, "\r>", 16, -31, ""},
      {Rule::kLine, "\r\r>", 16, -30, ""},
      {Rule::kLineNoPrompt, "\r>", 15, -30, ""},
      {Rule::kLineNoPrompt, "\rQ40-0012345678901\r>", 15, 1, "Q40-00123456789"},
      // Numbers: 32 bits, after white space or after the first carriage return.
      {Rule::kNumber, "\r-32\r>", 0, 1, "-32"},
      {Rule::kNumber, "\r2147483647\r>", 0, 1, "2147483647"},
      {Rule::kNumber, "\r2147483648\r>", 0, -30, "0"},
      {Rule::kNumber, "\r99999999999999999999\r>", 0, -30, "0"},
      {Rule::kNumber, "\rabc\r>", 0, -30, "0"},
      {Rule::kNumber, "\r\r>", 0, -30, "0"},
      {Rule::kNumberAfterReturn, "Wake\r60\r>", 0, 1, "60"},
      {Rule::kNumberAfterReturn, "60", 0, 1, "60"},
      {Rule::kNumberAfterReturn, "\r\r>", 0, -30, "0"},
  };
  for (const Case& c : cases) {
    int32_t result = 0;
    const std::string value = Read(c, &result);
    EXPECT_EQ(result, c.result) << c.answer;
    if (c.result == 1 || c.rule == Rule::kNumber || c.rule == Rule::kNumberAfterReturn) {
      EXPECT_EQ(value, c.value) << c.answer;
    }
  }
}

TEST(ValueReading, BytesAndFractions) {
  uint8_t bytes[5] = {};
  EXPECT_EQ(ReadByteValues("\r10 20 30 40 50\r>", bytes, 5), 5);
  EXPECT_EQ(bytes[4], 50);
  // Beyond a byte (a negative number read as unsigned is too) stands as 255.
  EXPECT_EQ(ReadByteValues("\r256 -1 99999999999999999999 0 7\r>", bytes, 5), 5);
  EXPECT_EQ(std::string(bytes, bytes + 5), std::string("\xff\xff\xff\x00\x07", 5));
  EXPECT_EQ(ReadByteValues("\r1 2 3 4\r>", bytes, 5), 4);
  EXPECT_EQ(ReadByteValues("\r\r>", bytes, 5), 0);

  double value = 7;
  EXPECT_EQ(ReadDoubleValue("\r+45.12345\r>", &value), 1);
  EXPECT_DOUBLE_EQ(value, 45.12345);
  EXPECT_EQ(ReadDoubleValue("\r\r>", &value), -31);
  EXPECT_EQ(ReadDoubleValue("\rnan\r>", &value), -31);
  EXPECT_DOUBLE_EQ(value, 45.12345);  // a failed read leaves the value
}

}  // namespace
