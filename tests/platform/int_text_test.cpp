#include "platform/int_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/errors.h"

namespace {

struct Accepted {
  const char* text;
  std::int32_t value;
};

TEST(StrToInt, AcceptsTheseTexts) {
  const Accepted cases[] = {
      {"0", 0},
      {"42", 42},
      {"  42", 42},  // leading spaces are skipped
      {"+5", 5},
      {"-5", -5},
      {"-0", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"00000000002147483647", 2147483647},  // leading zeros do not count as range
      {"$FF", 255},
      {"$ff", 255},
      {"xA", 10},
      {"XaB", 171},
      {"0x10", 16},
      {"0X10", 16},
      {"-0x10", -16},
      {"+$10", 16},
      {"  -$1", -1},
      {"$FFFFFFFF", -1},  // eight digits are a 32-bit two's-complement pattern
      {"$7FFFFFFF", 2147483647},
      {"$80000000", std::numeric_limits<std::int32_t>::min()},
      {"-$FFFFFFFF", 1},
      {"$0000000000FF", 255},  // leading zeros are not significant digits
      {"$00000000FFFFFFFF", -1},
      {"$0", 0},
      {"0x0", 0},
      {"16777217", 16777217},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(platform::StrToInt(c.text), c.value);
  }
}

TEST(StrToInt, RefusesTheseTextsNamingTheWholeText) {
  const char* const cases[] = {
      "",           " ",          "    ",
      "42 ",  // nothing may follow the digits, not even a space
      "12.5",       "abc",        "+",           "-",
      "+-5",        "- 5",        "0x",          "$",
      "x",          "-$",         "$G",          "0xx1",
      "00x10",
      "$123456789",  // nine significant hex digits
      "$1FFFFFFFF", "2147483648", "-2147483649", "99999999999999999999",
      "1e3",        "\t42",       "42\n",        "4 2",
      "１",  // a non-ASCII digit
  };
  for (const char* text : cases) {
    SCOPED_TRACE(std::string("text \"") + text + "\"");
    try {
      platform::StrToInt(text);
      ADD_FAILURE() << "accepted";
    } catch (const platform::ConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + text + "' is not a valid integer value");
    }
  }
}

TEST(StrToInt, EmbeddedNulIsRefusedAndNamedWhole) {
  const std::string text(
      "4\0"
      "2",
      3);
  try {
    platform::StrToInt(text);
    ADD_FAILURE() << "accepted";
  } catch (const platform::ConvertError& e) {
    EXPECT_EQ(e.Message(), "'" + text + "' is not a valid integer value");
  }
}

TEST(IntToStr, WritesDecimalWithMinusSign) {
  const Accepted cases[] = {
      {"0", 0},
      {"7", 7},
      {"-5", -5},
      {"16777217", 16777217},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(platform::IntToStr(c.value), c.text);
    EXPECT_EQ(platform::StrToInt(platform::IntToStr(c.value)), c.value);
  }
}

}  // namespace
