// Opening and closing remote slots.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/port_table.h"
#include "remote/remote_slots.h"
#include "tests/support/library_test.h"

namespace {

using RemoteFiles = qxtest::LibraryTest;

bool RecordIsAllZero(int32_t slot) {
  const qx::RemoteSlotRecord& record = qx::RemoteSlot(slot);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
  for (std::size_t i = 0; i < sizeof(record); ++i) {
    if (bytes[i] != 0) {
      return false;
    }
  }
  return true;
}

TEST_F(RemoteFiles, OpensRefuseNullArgumentsBeforeTakingASlot) {
  int32_t slot = -100;
  EXPECT_EQ(Ovra_DVR_OpenFileByName(1, nullptr, "f"), -2);
  EXPECT_EQ(Ovra_DVR_OpenFileByName(1, nullptr, nullptr), -2);
  EXPECT_EQ(Ovra_DVR_OpenFileByName(1, &slot, nullptr), -2);
  EXPECT_EQ(Ovra_DVR_OpenFileByTime(1, nullptr, 0, " ", " "), -2);
  EXPECT_EQ(Ovra_DVR_OpenFileByTime(1, nullptr, 0, nullptr, nullptr), -2);
  EXPECT_EQ(Ovra_DVR_OpenFileByTime(1, &slot, 0, nullptr, " "), -2);
  EXPECT_EQ(Ovra_DVR_OpenFileByTime(1, &slot, 0, " ", nullptr), -2);
  EXPECT_EQ(slot, -100);
  EXPECT_EQ(qx::GetSlotState(0), qx::kSlotFree);
  ASSERT_EQ(Ovra_DVR_OpenFileByName(1, &slot, "f"), 0);
  EXPECT_EQ(slot, 0);
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(RemoteFiles, OpenByNameKeepsTheLoginAndTheNameWithoutCheckingThem) {
  int32_t slot = -1;
  ASSERT_EQ(Ovra_DVR_OpenFileByName(0, &slot, "ch02/record.dat"), 0);
  EXPECT_EQ(slot, 0);
  const qx::RemoteSlotRecord& record = qx::RemoteSlot(0);
  EXPECT_EQ(record.kind, qx::kRemoteByName);
  EXPECT_EQ(record.login, 0);
  EXPECT_EQ(record.playback, 0);
  EXPECT_EQ(record.channel, 0);
  EXPECT_STREQ(record.file_name, "ch02/record.dat");
  EXPECT_EQ(qx::GetSlotState(0), qx::kSlotTaken);
  EXPECT_TRUE(fake::Calls().empty()) << "the network library is asked only at play";
}

TEST_F(RemoteFiles, OpenByTimeKeepsTheTextsUnreadUntilPlay) {
  int32_t slot = -1;
  ASSERT_EQ(Ovra_DVR_OpenFileByTime(-5, &slot, 9, "2011-05-06  08-30-00", "no time"), 0);
  const qx::RemoteSlotRecord& record = qx::RemoteSlot(slot);
  EXPECT_EQ(record.kind, qx::kRemoteByTime);
  EXPECT_EQ(record.login, -5);
  EXPECT_EQ(record.channel, 9);
  EXPECT_STREQ(record.start, "2011-05-06  08-30-00");
  EXPECT_STREQ(record.end, "no time");
  EXPECT_EQ(record.file_name[0], '\0');
}

TEST_F(RemoteFiles, KeptTextsStayTerminatedWithinTheirFields) {
  struct Case {
    std::size_t name_length;
    std::size_t time_length;
  };
  const Case cases[] = {{259, 31}, {260, 32}, {1000, 100}, {0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name_length << " / " << c.time_length);
    qxtest::ResetLibrary();
    const std::string name(c.name_length, 'n');
    const std::string start(c.time_length, 's');
    const std::string end(c.time_length, 'e');
    int32_t by_name = -1;
    int32_t by_time = -1;
    ASSERT_EQ(Ovra_DVR_OpenFileByName(1, &by_name, name.c_str()), 0);
    ASSERT_EQ(Ovra_DVR_OpenFileByTime(1, &by_time, 0, start.c_str(), end.c_str()), 0);
    const qx::RemoteSlotRecord& named = qx::RemoteSlot(by_name);
    const qx::RemoteSlotRecord& timed = qx::RemoteSlot(by_time);
    EXPECT_EQ(std::string(named.file_name), name.substr(0, 259));
    EXPECT_EQ(named.file_name[259], '\0');
    EXPECT_EQ(std::string(timed.start), start.substr(0, 31));
    EXPECT_EQ(std::string(timed.end), end.substr(0, 31));
    EXPECT_EQ(timed.start[31], '\0');
    EXPECT_EQ(timed.end[31], '\0');
  }
}

TEST_F(RemoteFiles, ReopeningASlotLeavesNothingOfItsPreviousRecord) {
  int32_t slot = -1;
  ASSERT_EQ(Ovra_DVR_OpenFileByName(3, &slot, "a-long-file-name"), 0);
  ASSERT_EQ(Ovra_Play(slot, nullptr), 0);
  ASSERT_EQ(Ovra_DVR_CloseFile(slot), 0);
  EXPECT_TRUE(RecordIsAllZero(slot));
  ASSERT_EQ(Ovra_DVR_OpenFileByName(4, &slot, "b"), 0);
  const qx::RemoteSlotRecord& record = qx::RemoteSlot(slot);
  EXPECT_EQ(record.playback, 0);
  EXPECT_EQ(std::memcmp(record.file_name, "b\0\0\0\0\0\0\0", 8), 0);
}

TEST_F(RemoteFiles, ThirtyThreeSlotsThenNoneLowestFirstAfterAClose) {
  for (int32_t expected = 0; expected <= 32; ++expected) {
    int32_t slot = -1;
    ASSERT_EQ(expected % 2 == 0 ? Ovra_DVR_OpenFileByName(1, &slot, "f")
                                : Ovra_DVR_OpenFileByTime(1, &slot, 0, " ", " "),
              0);
    EXPECT_EQ(slot, expected);
  }
  int32_t slot = -100;
  EXPECT_EQ(Ovra_DVR_OpenFileByName(1, &slot, "f"), -1);
  EXPECT_EQ(Ovra_DVR_OpenFileByTime(1, &slot, 0, " ", " "), -1);
  EXPECT_EQ(slot, -100);

  // Local ports are a pool of their own.
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenFile(&port, "local"), 0);
  EXPECT_EQ(port, 33);

  ASSERT_EQ(Ovra_DVR_CloseFile(3), 0);
  ASSERT_EQ(Ovra_DVR_CloseFile(17), 0);
  ASSERT_EQ(Ovra_DVR_OpenFileByTime(1, &slot, 0, " ", " "), 0);
  EXPECT_EQ(slot, 3);
  ASSERT_EQ(Ovra_DVR_OpenFileByName(1, &slot, "f"), 0);
  EXPECT_EQ(slot, 17);
}

TEST_F(RemoteFiles, CloseRefusesNumbersOutsideTheRemotePoolAndFreeSlots) {
  int32_t local = -1;
  ASSERT_EQ(Ovra_OpenFile(&local, "local"), 0);
  for (const int32_t number : {-1, 33, 97, 98, 99, INT32_MIN, INT32_MAX, 0, 32}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(Ovra_DVR_CloseFile(number), -12);
  }
  EXPECT_EQ(qx::GetSlotState(33), qx::kSlotTaken) << "a local port is not freed";

  int32_t slot = -1;
  ASSERT_EQ(Ovra_DVR_OpenFileByName(1, &slot, "f"), 0);
  EXPECT_EQ(Ovra_DVR_CloseFile(slot), 0);
  EXPECT_EQ(qx::GetSlotState(slot), qx::kSlotFree);
  EXPECT_EQ(Ovra_DVR_CloseFile(slot), -12);
}

TEST_F(RemoteFiles, CloseNeitherStopsThePlaybackNorCallsTheNetworkLibrary) {
  int32_t slot = -1;
  ASSERT_EQ(Ovra_DVR_OpenFileByName(1, &slot, "f"), 0);
  ASSERT_EQ(Ovra_Play(slot, nullptr), 0);
  const std::size_t calls_before = fake::Calls().size();
  ASSERT_EQ(Ovra_DVR_CloseFile(slot), 0);
  EXPECT_EQ(fake::Calls().size(), calls_before);
}

}  // namespace
