// Downloading recorded files by name and by time span.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/remote/date_time_bytes.h"
#include "tests/support/library_test.h"

namespace {

using Downloads = qxtest::LibraryTest;
using qxtest::DateTimeBytes;

TEST_F(Downloads, ByNameRefusesBadArgumentsBeforeAnyCall) {
  struct Case {
    bool download_out;
    const char* file_name;
    const char* target;
    int32_t login;
  };
  const Case cases[] = {
      {false, "f", "t", 5},  // null out comes first
      {false, nullptr, nullptr, 0}, {true, nullptr, "t", 5}, {true, nullptr, nullptr, 0},
      {true, "f", nullptr, 5},      {true, "f", nullptr, 0}, {true, "f", "t", 0},
      {true, "f", "t", -3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.download_out << " " << (c.file_name != nullptr) << " "
                                    << (c.target != nullptr) << " " << c.login);
    int32_t download = -100;
    EXPECT_EQ(Ovra_DVR_GetFileByName(c.login, c.download_out ? &download : nullptr, c.file_name,
                                     c.target),
              -2);
    EXPECT_EQ(download, -100);
    EXPECT_TRUE(fake::Calls().empty());
  }
}

TEST_F(Downloads, ByNameHandsTheCallersTextsOnAndWritesTheHandleEvenOnRefusal) {
  struct Case {
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {{1, 0}, {77, 0}, {-4, 0}, {0, -9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    qxtest::ResetLibrary();
    fake::SetResult("net_download_by_name", c.answer);
    const char* const file_name = "ch01_20110506.rec";
    const char* const target = "/tmp/out.rec";
    int32_t download = -100;
    EXPECT_EQ(Ovra_DVR_GetFileByName(9, &download, file_name, target), c.expected);
    EXPECT_EQ(download, c.answer);
    const auto calls = fake::Calls("net_download_by_name");
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].Int(0), 9);
    EXPECT_EQ(calls[0].Ptr(1), file_name) << "the caller's own pointer, not a copy";
    EXPECT_EQ(calls[0].Ptr(2), target);
    EXPECT_EQ(fake::Calls().size(), 1U);
  }
}

TEST_F(Downloads, ByTimeRefusesBadArgumentsBeforeAnyCallButNotANullTarget) {
  struct Case {
    bool download_out;
    const char* start;
    const char* end;
    int32_t login;
    int32_t expected;
  };
  const char* const good = "2011-05-06 08-30-00";
  const Case cases[] = {
      {false, good, good, 5, -2},         {false, nullptr, "bad", 0, -2},
      {true, nullptr, good, 5, -2},       {true, nullptr, nullptr, 0, -2},
      {true, good, nullptr, 5, -2},       {true, good, nullptr, 0, -2},
      {true, good, good, 0, -2},          {true, good, good, -1, -2},
      {true, "bad", "bad", 0, -2},        {true, "2011-05-06", good, 5, -11},
      {true, good, "2011-05-06", 5, -11}, {true, "", good, 5, -11},
      {true, "a  b", "also bad", 5, -11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.download_out << " " << (c.start ? c.start : "<null>")
                                    << " / " << (c.end ? c.end : "<null>") << " " << c.login);
    int32_t download = -100;
    EXPECT_EQ(Ovra_DVR_GetFileByTime(c.login, c.download_out ? &download : nullptr, 3, c.start,
                                     c.end, "t"),
              c.expected);
    EXPECT_EQ(download, -100);
    EXPECT_TRUE(fake::Calls().empty());
  }
  int32_t download = -100;
  EXPECT_EQ(Ovra_DVR_GetFileByTime(5, &download, 3, good, good, nullptr), 0);
  ASSERT_EQ(fake::CallCount("net_download_by_time"), 1U);
  EXPECT_EQ(fake::Calls("net_download_by_time")[0].Ptr(4), nullptr);
}

TEST_F(Downloads, ByTimeHandsTheParsedRecordsOnByteForByte) {
  struct Case {
    const char* start;
    const char* end;
    std::array<int32_t, 6> start_fields;
    std::array<int32_t, 6> end_fields;
  };
  const Case cases[] = {
      {"2011-05-06 08-30-00",
       "2011-5-6 23-59-59",
       {2011, 5, 6, 8, 30, 0},
       {2011, 5, 6, 23, 59, 59}},
      {" ", "2011-05 12", {0, 0, 0, 0, 0, 0}, {2011, 5, 0, 12, 0, 0}},
      {"-1-2 ", " 99999999999-3", {0, 1, 2, 0, 0, 0}, {0, 0, 0, INT32_MAX, 3, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " / " + c.end);
    qxtest::ResetLibrary();
    int32_t download = 0;
    const char* const target = "dir/file";
    ASSERT_EQ(Ovra_DVR_GetFileByTime(4, &download, -7, c.start, c.end, target), 0);
    const auto calls = fake::Calls("net_download_by_time");
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].Int(0), 4);
    EXPECT_EQ(calls[0].Int(1), -7) << "the channel is handed on unchecked";
    EXPECT_EQ(calls[0].Bytes(2), DateTimeBytes(c.start_fields));
    EXPECT_EQ(calls[0].Bytes(3), DateTimeBytes(c.end_fields));
    EXPECT_EQ(calls[0].Ptr(4), target);
  }
}

TEST_F(Downloads, ByTimeWritesTheHandleEvenOnRefusal) {
  struct Case {
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {{1, 0}, {-8, 0}, {0, -9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    qxtest::ResetLibrary();
    fake::SetResult("net_download_by_time", c.answer);
    int32_t download = -100;
    EXPECT_EQ(Ovra_DVR_GetFileByTime(1, &download, 0, " ", " ", "t"), c.expected);
    EXPECT_EQ(download, c.answer);
  }
}

TEST_F(Downloads, PositionIsHandedOnUnjudgedForAnyHandle) {
  int32_t position = -100;
  EXPECT_EQ(Ovra_DVR_GetDownloadPos(5, nullptr), -2);
  EXPECT_TRUE(fake::Calls().empty());

  fake::QueueResults("net_get_download_pos", {63, -1});
  EXPECT_EQ(Ovra_DVR_GetDownloadPos(5, &position), 0);
  EXPECT_EQ(position, 63);
  EXPECT_EQ(Ovra_DVR_GetDownloadPos(0, &position), 0);
  EXPECT_EQ(position, -1);
  const auto calls = fake::Calls("net_get_download_pos");
  ASSERT_EQ(calls.size(), 2U);
  EXPECT_EQ(calls[0].Int(0), 5);
  EXPECT_EQ(calls[1].Int(0), 0);
}

TEST_F(Downloads, StopSucceedsOnlyWhenTheNetworkLibraryAnswersExactlyOne) {
  struct Case {
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {{1, 0}, {0, -9}, {2, -9}, {-1, -9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    qxtest::ResetLibrary();
    fake::SetResult("net_stop_download", c.answer);
    EXPECT_EQ(Ovra_DVR_StopGetFile(-3), c.expected);
    ASSERT_EQ(fake::CallCount("net_stop_download"), 1U);
    EXPECT_EQ(fake::Calls("net_stop_download")[0].Int(0), -3);
  }
}

}  // namespace
