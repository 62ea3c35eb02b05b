// Playing remote slots through Ovra_Play and Ovra_Stop.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/port_table.h"
#include "remote/remote_slots.h"
#include "tests/remote/date_time_bytes.h"
#include "tests/support/library_test.h"

namespace {

using RemotePlayback = qxtest::LibraryTest;
using qxtest::DateTimeBytes;

void* const kWindow = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5150));

int32_t OpenByName(int32_t login, const char* name) {
  int32_t slot = -1;
  EXPECT_EQ(Ovra_DVR_OpenFileByName(login, &slot, name), 0);
  return slot;
}

int32_t OpenByTime(int32_t login, int32_t channel, const char* start, const char* end) {
  int32_t slot = -1;
  EXPECT_EQ(Ovra_DVR_OpenFileByTime(login, &slot, channel, start, end), 0);
  return slot;
}

TEST_F(RemotePlayback, ByNamePlaysTheKeptNameThenIssuesTheStartCommand) {
  const int32_t slot = OpenByName(6, "ch01/0506.rec");
  fake::SetResult("net_playback_by_name", 314);
  ASSERT_EQ(Ovra_Play(slot, kWindow), 0);

  EXPECT_EQ(fake::CallNames(),
            (std::vector<std::string>{"net_playback_by_name", "net_playback_control"}));
  const fake::Call play = fake::Calls("net_playback_by_name").at(0);
  EXPECT_EQ(play.Int(0), 6);
  EXPECT_EQ(play.Text(1), "ch01/0506.rec");
  EXPECT_EQ(play.Ptr(1), qx::RemoteSlot(slot).file_name) << "the slot's own field is handed on";
  EXPECT_EQ(play.Ptr(2), kWindow);
  const fake::Call control = fake::Calls("net_playback_control").at(0);
  EXPECT_EQ(control.Int(0), 314);
  EXPECT_EQ(control.Int(1), 1);
  EXPECT_EQ(control.Int(2), 0);
  EXPECT_EQ(control.Bytes(3), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(qx::RemoteSlot(slot).playback, 314);
}

TEST_F(RemotePlayback, ByNameIgnoresTheControlAnswerAndKeepsARefusedHandle) {
  const int32_t slot = OpenByName(6, "f");
  fake::SetResult("net_playback_control", 0);
  fake::SetResult("net_playback_by_name", -2);
  EXPECT_EQ(Ovra_Play(slot, kWindow), 0) << "any nonzero handle is a playback";
  EXPECT_EQ(qx::RemoteSlot(slot).playback, -2);

  fake::SetResult("net_playback_by_name", 0);
  EXPECT_EQ(Ovra_Play(slot, kWindow), -9);
  EXPECT_EQ(qx::RemoteSlot(slot).playback, 0) << "the refused value overwrites the old handle";
  EXPECT_EQ(fake::CallCount("net_playback_control"), 1U) << "no command after a refusal";
}

TEST_F(RemotePlayback, ByTimeHandsTheParsedRecordsOnWithoutAStartCommand) {
  const int32_t slot = OpenByTime(8, 3, "2011-05-06 08-30-00", "2011-5-6 8-45-9\r\n");
  fake::SetResult("net_playback_by_time", 27);
  ASSERT_EQ(Ovra_Play(slot, kWindow), 0);

  EXPECT_EQ(fake::CallNames(), (std::vector<std::string>{"net_playback_by_time"}));
  const fake::Call play = fake::Calls("net_playback_by_time").at(0);
  EXPECT_EQ(play.Int(0), 8);
  EXPECT_EQ(play.Int(1), 3);
  EXPECT_EQ(play.Bytes(2), DateTimeBytes({2011, 5, 6, 8, 30, 0}));
  EXPECT_EQ(play.Bytes(3), DateTimeBytes({2011, 5, 6, 8, 45, 9}));
  EXPECT_EQ(play.Ptr(4), kWindow);
  EXPECT_EQ(qx::RemoteSlot(slot).playback, 27);
}

TEST_F(RemotePlayback, ByTimeRefusesUnreadableTextsWithoutACallAndKeepsTheHandle) {
  struct Case {
    const char* start;
    const char* end;
  };
  const Case cases[] = {
      {"2011-05-06  08-30-00", "2011-05-06 09-00-00"},
      {"2011-05-06 08-30-00", "2011-05-06"},
      {"", ""},
      {"a b c", " "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " / " + c.end);
    qxtest::ResetLibrary();
    const int32_t slot = OpenByTime(1, 0, c.start, c.end);
    qx::RemoteSlot(slot).playback = 55;  // as a previous playback left it
    EXPECT_EQ(Ovra_Play(slot, kWindow), -2);
    EXPECT_TRUE(fake::Calls().empty());
    EXPECT_EQ(qx::RemoteSlot(slot).playback, 55);
  }
}

TEST_F(RemotePlayback, OverlongTextsPlayAsTheirKeptBeginnings) {
  const std::string name_259(259, 'n');
  const int32_t named = OpenByName(1, (name_259 + "X").c_str());
  ASSERT_EQ(Ovra_Play(named, kWindow), 0);
  EXPECT_EQ(fake::Calls("net_playback_by_name").at(0).Text(1), name_259);

  // 31 characters: the final 1 is kept. 32 characters: the final 1 is cut
  // and the hour reads as 0.
  const std::string kept = "2011-05-06 " + std::string(19, '0') + "1";
  const std::string cut = "2011-05-06 " + std::string(20, '0') + "1";
  ASSERT_EQ(kept.size(), 31U);
  ASSERT_EQ(cut.size(), 32U);
  const int32_t timed = OpenByTime(1, 0, kept.c_str(), cut.c_str());
  ASSERT_EQ(Ovra_Play(timed, kWindow), 0);
  const fake::Call play = fake::Calls("net_playback_by_time").at(0);
  EXPECT_EQ(play.Bytes(2), DateTimeBytes({2011, 5, 6, 1, 0, 0}));
  EXPECT_EQ(play.Bytes(3), DateTimeBytes({2011, 5, 6, 0, 0, 0}));
}

TEST_F(RemotePlayback, RefusalGivesMinusNineByNameButMinusTwoByTime) {
  fake::SetResult("net_playback_by_name", 0);
  fake::SetResult("net_playback_by_time", 0);
  const int32_t by_name = OpenByName(1, "f");
  const int32_t by_time = OpenByTime(1, 0, " ", " ");
  EXPECT_EQ(Ovra_Play(by_name, kWindow), -9);
  EXPECT_EQ(Ovra_Play(by_time, kWindow), -2);
  EXPECT_EQ(qx::RemoteSlot(by_time).playback, 0);
  EXPECT_EQ(fake::CallCount("net_playback_control"), 0U);

  fake::SetResult("net_playback_by_time", -1);
  EXPECT_EQ(Ovra_Play(by_time, kWindow), 0);
  EXPECT_EQ(fake::Calls("net_playback_by_time").back().Bytes(2), DateTimeBytes({}));
}

TEST_F(RemotePlayback, AFreeSlotPlaysAsAnEmptyNameWithLoginZero) {
  EXPECT_EQ(Ovra_Play(12, kWindow), 0);
  const fake::Call play = fake::Calls("net_playback_by_name").at(0);
  EXPECT_EQ(play.Int(0), 0);
  EXPECT_EQ(play.Text(1), "");
  fake::SetResult("net_playback_by_name", 0);
  EXPECT_EQ(Ovra_Play(12, kWindow), -9);
}

TEST_F(RemotePlayback, StopHandsTheKeptHandleOnAndKeepsIt) {
  const int32_t slot = OpenByName(1, "f");
  // Never played: the handle is still 0.
  EXPECT_EQ(Ovra_Stop(slot), 0);
  fake::SetResult("net_playback_by_name", 91);
  ASSERT_EQ(Ovra_Play(slot, kWindow), 0);
  EXPECT_EQ(Ovra_Stop(slot), 0);
  fake::SetResult("net_stop_playback", 0);
  EXPECT_EQ(Ovra_Stop(slot), -9);
  fake::SetResult("net_stop_playback", -3);
  EXPECT_EQ(Ovra_Stop(slot), 0);

  const auto stops = fake::Calls("net_stop_playback");
  ASSERT_EQ(stops.size(), 4U);
  EXPECT_EQ(stops[0].Int(0), 0);
  EXPECT_EQ(stops[1].Int(0), 91);
  EXPECT_EQ(stops[2].Int(0), 91);
  EXPECT_EQ(stops[3].Int(0), 91);
  EXPECT_EQ(qx::GetSlotState(slot), qx::kSlotTaken) << "stopping leaves the slot open";
}

TEST_F(RemotePlayback, StopRefusesAFreeSlotWithoutACall) {
  EXPECT_EQ(Ovra_Stop(0), -2);
  EXPECT_EQ(Ovra_Stop(32), -2);
  const int32_t slot = OpenByName(1, "f");
  ASSERT_EQ(Ovra_DVR_CloseFile(slot), 0);
  EXPECT_EQ(Ovra_Stop(slot), -2);
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(RemotePlayback, LogoutLeavesTheSlotsOfItsLoginAlone) {
  const int32_t slot = OpenByName(5, "f");
  ASSERT_EQ(Ovra_Play(slot, kWindow), 0);
  ASSERT_EQ(Ovra_DVR_Logout(5), 0);
  EXPECT_EQ(fake::CallCount("net_stop_playback"), 0U);
  EXPECT_EQ(qx::GetSlotState(slot), qx::kSlotTaken);
  EXPECT_EQ(Ovra_Stop(slot), 0);
}

}  // namespace
