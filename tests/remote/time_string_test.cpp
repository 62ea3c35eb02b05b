// Reading time strings into date-time records.
#include "remote/time_string.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

using Fields = std::array<int32_t, 6>;

Fields FieldsOf(const NetDateTime& t) {
  return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

TEST(TimeString, ReadsEveryPartAsTheLeadingDigitsOfItsTokens) {
  struct Case {
    const char* text;
    Fields fields;
  };
  const Case cases[] = {
      {"2011-05-06 08-30-00", {2011, 5, 6, 8, 30, 0}},
      {"2011-5-6 8-30-0", {2011, 5, 6, 8, 30, 0}},
      {" ", {0, 0, 0, 0, 0, 0}},
      {"2011-05-06 ", {2011, 5, 6, 0, 0, 0}},
      {" 08-30-00", {0, 0, 0, 8, 30, 0}},
      {"2011-05 12", {2011, 5, 0, 12, 0, 0}},
      {"2011-05-06-07 08-30-00-59", {2011, 5, 6, 8, 30, 0}},
      {"2011-05-06 08:30:00", {2011, 5, 6, 8, 0, 0}},
      {"2011/05/06 08-30-00", {2011, 0, 0, 8, 30, 0}},
      {"year-month-day hh-mm-ss", {0, 0, 0, 0, 0, 0}},
      {"20a1-5x-y6 8h-m3-s", {20, 5, 0, 8, 0, 0}},
      {"2011-05-06 08-30-00\r\n", {2011, 5, 6, 8, 30, 0}},
      {"\t2011-05-06 08-30-00\n", {2011, 5, 6, 8, 30, 0}},
      {"2011-\t05\r-06 08-\t30\n-00", {2011, 5, 6, 8, 30, 0}},
      {"+2011-+5-6 8-30-+0", {2011, 5, 6, 8, 30, 0}},
      {"\v7-1-1 1-1-1", {7, 1, 1, 1, 1, 1}},
      {"2011-13-00 25-61-99", {2011, 13, 0, 25, 61, 99}},
      {"2147483647-2147483648-99999999999999999999 0-1-2",
       {INT32_MAX, INT32_MAX, INT32_MAX, 0, 1, 2}},
      {"--- -", {0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    NetDateTime record{};
    ASSERT_TRUE(qx::ParseTimeString(c.text, &record));
    EXPECT_EQ(FieldsOf(record), c.fields);
  }
}

TEST(TimeString, FailsUnlessTheTextSplitsAtSpacesIntoExactlyTwoParts) {
  const char* const texts[] = {
      "",                      // empty
      "2011-05-06  08-30-00",  // two spaces
      " 2011-05-06 08-30-00",  // leading space beside two parts
      "2011-05-06 08-30-00 ",  // trailing space beside two parts
      "2011-05-06\t08-30-00",  // tab instead of the space
      "2011-05-06",            // no space
      "2011-05-06 08-30-00 x",
      "  ",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(std::string("\"") + text + "\"");
    NetDateTime record{1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(qx::ParseTimeString(text, &record));
    EXPECT_EQ(FieldsOf(record), (Fields{1, 2, 3, 4, 5, 6})) << "nothing is written on failure";
  }
}

TEST(TimeString, FailsForNullPointers) {
  NetDateTime record{};
  EXPECT_FALSE(qx::ParseTimeString(nullptr, &record));
  EXPECT_FALSE(qx::ParseTimeString("2011-05-06 08-30-00", nullptr));
}

TEST(TimeString, AnEmptyPartLeavesItsFieldsAsTheyWere) {
  NetDateTime record{1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(qx::ParseTimeString("2011-05-06 ", &record));
  EXPECT_EQ(FieldsOf(record), (Fields{2011, 5, 6, 4, 5, 6}));
  ASSERT_TRUE(qx::ParseTimeString(" \r\n", &record));
  EXPECT_EQ(FieldsOf(record), (Fields{2011, 5, 6, 4, 5, 6}));
}

TEST(LeadingNumber, ReadsSignAndDigitsAndSaturates) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 0},
      {"42", 42},
      {"0042x7", 42},
      {" \t\n\v\f\r17", 17},
      {"+9", 9},
      {"-9", -9},
      {"+-9", 0},
      {"- 9", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      {"000000000000000000000000000000012", 12},
      {"184467440737095516161844674407370955161", INT32_MAX},
      {"-184467440737095516161844674407370955161", INT32_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    EXPECT_EQ(qx::LeadingNumber(c.text), c.value);
  }
}

}  // namespace
