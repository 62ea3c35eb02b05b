// The text splitter's token rules.
#include "remote/text_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> AllTokens(qx::TextSplitter& splitter) {
  std::vector<std::string> tokens;
  for (uint32_t i = 0; i < splitter.Count(); ++i) {
    tokens.push_back(splitter.Token(static_cast<int32_t>(i)));
  }
  return tokens;
}

TEST(TextSplitter, CutsAtTheDelimiterAndTrimsEveryToken) {
  struct Case {
    const char* text;
    const char* delimiter;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"a-b-c", "-", {"a", "b", "c"}},
      {"  whole text\t\r\n", "-", {"whole text"}},
      {"-a", "-", {"", "a"}},
      {"a-b-", "-", {"a", "b", ""}},
      {"a--b", "-", {"a", "", "b"}},
      {"-", "-", {"", ""}},
      {" a \t- \r\nb\n", "-", {"a", "b"}},
      {"a- \t -b", "-", {"a", "", "b"}},
      {"x=>y=>", "=>", {"x", "y", ""}},
      {"2011-05-06 08-30-00", " ", {"2011-05-06", "08-30-00"}},
      {" ", " ", {"", ""}},
      {"a:b", ":", {"a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\" at \"" + c.delimiter + "\"");
    qx::TextSplitter splitter;
    splitter.SetDelimiter(c.delimiter);
    ASSERT_TRUE(splitter.Split(c.text));
    EXPECT_EQ(AllTokens(splitter), c.tokens);
  }
}

TEST(TextSplitter, SplitsAtAColonUntilTheDelimiterIsChanged) {
  qx::TextSplitter splitter;
  ASSERT_TRUE(splitter.Split("08:30-00"));
  EXPECT_EQ(AllTokens(splitter), (std::vector<std::string>{"08", "30-00"}));
}

TEST(TextSplitter, SearchesWithCaseButEndsWithoutRegardToCase) {
  qx::TextSplitter splitter;
  splitter.SetDelimiter("x");
  ASSERT_TRUE(splitter.Split("aXb"));
  EXPECT_EQ(AllTokens(splitter), (std::vector<std::string>{"aXb"}));
  // The text ends in "X", which matches "x" without regard to case: one
  // empty token follows the whole text.
  ASSERT_TRUE(splitter.Split("aX"));
  EXPECT_EQ(AllTokens(splitter), (std::vector<std::string>{"aX", ""}));
  splitter.SetDelimiter("Ab");
  ASSERT_TRUE(splitter.Split("1Ab2aB"));
  EXPECT_EQ(AllTokens(splitter), (std::vector<std::string>{"1", "2aB", ""}));
}

TEST(TextSplitter, FailsForAnEmptyTextOrDelimiterAndLeavesNoTokens) {
  qx::TextSplitter splitter;
  splitter.SetDelimiter("-");
  ASSERT_TRUE(splitter.Split("a-b"));
  EXPECT_FALSE(splitter.Split(""));
  EXPECT_EQ(splitter.Count(), 0U);
  EXPECT_EQ(splitter.Token(0), "");

  ASSERT_TRUE(splitter.Split("a-b"));
  splitter.SetDelimiter("");
  EXPECT_FALSE(splitter.Split("a-b"));
  EXPECT_EQ(splitter.Count(), 0U);
}

TEST(TextSplitter, NegativeIndexReadsTheTokenAfterTheOneLastRead) {
  qx::TextSplitter splitter;
  splitter.SetDelimiter(",");
  ASSERT_TRUE(splitter.Split("a,b,c"));
  EXPECT_EQ(splitter.Token(-1), "a");
  EXPECT_EQ(splitter.Token(-7), "b");
  EXPECT_EQ(splitter.Token(0), "a");
  EXPECT_EQ(splitter.Token(-1), "b");
  EXPECT_EQ(splitter.Token(2), "c");
  EXPECT_EQ(splitter.Token(-1), "");
  EXPECT_EQ(splitter.Token(3), "");
  EXPECT_EQ(splitter.Token(INT32_MAX), "");
  EXPECT_EQ(splitter.Token(-1), "");
  // A new split starts reading from the first token again.
  ASSERT_TRUE(splitter.Split("x,y"));
  EXPECT_EQ(splitter.Token(-1), "x");
}

}  // namespace
