// Registering the caller's draw, file-end and decode functions: the order of
// the checks, the player's answers, and where notifications end up.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/port_table.h"
#include "playback/callback_state.h"
#include "tests/playback/callback_test_support.h"
#include "tests/support/library_test.h"

namespace {

using qxtest::FrameLog;
using qxtest::OpenFilePort;
using qxtest::OpenStreamPort;

// Draw and file-end functions receive no context of their own, so what they
// are called with goes into one process-wide log.
struct Notification {
  std::string function;
  int32_t port;
  uintptr_t value2;
  uintptr_t value3;
  bool operator==(const Notification&) const = default;
};

std::mutex notifications_mutex;
std::vector<Notification> notifications;

void Note(const char* function, int32_t port, uintptr_t value2, uintptr_t value3) {
  std::lock_guard<std::mutex> lock(notifications_mutex);
  notifications.push_back({function, port, value2, value3});
}

std::vector<Notification> TakeNotifications() {
  std::lock_guard<std::mutex> lock(notifications_mutex);
  return std::exchange(notifications, {});
}

void OVRA_CALLBACK DrawF1(int32_t port, uintptr_t v2, uintptr_t v3) { Note("F1", port, v2, v3); }
void OVRA_CALLBACK DrawF2(int32_t port, uintptr_t v2, uintptr_t v3) { Note("F2", port, v2, v3); }
void OVRA_CALLBACK EndE1(int32_t port, uintptr_t v2) { Note("E1", port, v2, 0); }
void OVRA_CALLBACK EndE2(int32_t port, uintptr_t v2) { Note("E2", port, v2, 0); }

class CallbackRegistration : public qxtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    TakeNotifications();
  }
};

TEST_F(CallbackRegistration, DrawFunctionRefusesPortsOutsideTheLocalRangeOrFree) {
  const int32_t open = OpenFilePort();
  ASSERT_EQ(Ovra_RegisterDrawFun(open, DrawF1, 0), 0);
  fake::Reset();
  for (int32_t port : {98, 32, 0, -1, 99, open + 1}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(Ovra_RegisterDrawFun(port, DrawF2, 5), -2);
  }
  EXPECT_TRUE(fake::Calls().empty());
  // The refused registrations left F1 in place.
  ASSERT_EQ(Ovra_RegisterDrawFun(open, DrawF1, 0), 0);
  fake::FireDraw(open, 1, 2);
  EXPECT_EQ(TakeNotifications(), (std::vector<Notification>{{"F1", open, 1, 2}}));
}

TEST_F(CallbackRegistration, DrawFunctionIsStoredWhateverThePlayerAnswers) {
  for (int64_t answer : {1, 0, 2, -1}) {
    SCOPED_TRACE(answer);
    qxtest::ResetLibrary();
    const int32_t port = OpenStreamPort(0);
    fake::SetResult("player_set_draw_callback", answer);
    EXPECT_EQ(Ovra_RegisterDrawFun(port, DrawF1, 77), 0);
    auto calls = fake::Calls("player_set_draw_callback");
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].Int(0), port);
    EXPECT_NE(calls[0].Ptr(1), nullptr);
    EXPECT_NE(calls[0].Ptr(1), reinterpret_cast<const void*>(&DrawF1))
        << "the player gets the library's own function";
    EXPECT_EQ(calls[0].Int(2), 77);
    TakeNotifications();
    EXPECT_TRUE(fake::FireDraw(port, 3, 4));
    EXPECT_EQ(TakeNotifications(), (std::vector<Notification>{{"F1", port, 3, 4}}));
  }
}

TEST_F(CallbackRegistration, LastDrawFunctionServesEveryPortAndNullSilencesThemAll) {
  const int32_t first = OpenFilePort();
  const int32_t second = OpenStreamPort(0);
  ASSERT_EQ(first, 33);
  ASSERT_EQ(second, 34);
  ASSERT_EQ(Ovra_RegisterDrawFun(first, DrawF1, 0), 0);
  ASSERT_EQ(Ovra_RegisterDrawFun(second, DrawF2, 0), 0);
  fake::FireDraw(first, 10, 11);
  fake::FireDraw(second, 20, 21);
  EXPECT_EQ(TakeNotifications(),
            (std::vector<Notification>{{"F2", first, 10, 11}, {"F2", second, 20, 21}}));

  EXPECT_EQ(Ovra_RegisterDrawFun(first, nullptr, 0), 0);
  EXPECT_TRUE(fake::FireDraw(first, 1, 1));
  EXPECT_TRUE(fake::FireDraw(second, 2, 2));
  EXPECT_TRUE(TakeNotifications().empty());
}

TEST_F(CallbackRegistration, FileEndLooksAtTheSourceModeBeforeTheSlotState) {
  const int32_t file = OpenFilePort();
  const int32_t stream = OpenStreamPort(0);
  // A file port whose close the player refused is free but still in file
  // mode: only the slot-state check can refuse it.
  const int32_t closed_file = OpenFilePort();
  fake::SetResult("player_close_file", 0);
  ASSERT_EQ(Ovra_CloseFile(closed_file), -3);
  ASSERT_EQ(qx::GetSourceMode(closed_file), 2);
  ASSERT_EQ(Ovra_SetFileEndCallback(file, EndE1, 0), 0);
  fake::Reset();

  struct Case {
    int32_t port;
    int32_t expected;
  };
  const Case cases[] = {
      {98, -2},     {32, -2},          {-1, -2}, {99, -2}, {60, -7} /* free, mode none */,
      {stream, -7}, {closed_file, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    EXPECT_EQ(Ovra_SetFileEndCallback(c.port, EndE2, 9), c.expected);
  }
  EXPECT_TRUE(fake::Calls().empty());
  // None of the refused calls replaced E1.
  fake::SetResult("player_set_file_end_callback", 1);
  ASSERT_EQ(Ovra_SetFileEndCallback(file, EndE1, 0), 0);
  fake::FireFileEnd(file, 5);
  EXPECT_EQ(TakeNotifications(), (std::vector<Notification>{{"E1", file, 5, 0}}));
}

TEST_F(CallbackRegistration, FileEndCallbackIsReplacedEvenWhenThePlayerRefuses) {
  struct Case {
    int64_t answer;
    int32_t expected;
  };
  for (const Case c : {Case{1, 0}, Case{0, -3}, Case{2, -3}, Case{-1, -3}}) {
    SCOPED_TRACE(c.answer);
    qxtest::ResetLibrary();
    TakeNotifications();
    const int32_t earlier = OpenFilePort();
    const int32_t refused = OpenFilePort();
    ASSERT_EQ(Ovra_SetFileEndCallback(earlier, EndE1, 0), 0);

    fake::SetResult("player_set_file_end_callback", c.answer);
    EXPECT_EQ(Ovra_SetFileEndCallback(refused, EndE2, 42), c.expected);
    auto calls = fake::Calls("player_set_file_end_callback");
    ASSERT_EQ(calls.size(), 2U);
    EXPECT_EQ(calls[1].Int(0), refused);
    EXPECT_EQ(calls[1].Ptr(1), calls[0].Ptr(1)) << "one trampoline for every port";
    EXPECT_EQ(calls[1].Int(2), 42);

    fake::FireFileEnd(earlier, 7);
    EXPECT_EQ(TakeNotifications(), (std::vector<Notification>{{"E2", earlier, 7, 0}}));
  }
}

TEST_F(CallbackRegistration, NullFileEndCallbackSilencesEveryFilePort) {
  const int32_t file = OpenFilePort();
  ASSERT_EQ(Ovra_SetFileEndCallback(file, EndE1, 0), 0);
  ASSERT_EQ(Ovra_SetFileEndCallback(file, nullptr, 0), 0);
  EXPECT_TRUE(fake::FireFileEnd(file, 1));
  EXPECT_TRUE(TakeNotifications().empty());
}

TEST_F(CallbackRegistration, DecodeCallbackChecksRangeThenSlotThenCallback) {
  const int32_t open = OpenStreamPort(0);
  FrameLog log;
  ASSERT_EQ(Ovra_SetDecodeCallback(open, qxtest::LogFrame, log.AsUser()), 0);
  fake::Reset();
  FrameLog other;
  for (int32_t port : {98, 32, -1, 99, open + 1}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(Ovra_SetDecodeCallback(port, qxtest::LogFrame, other.AsUser()), -2);
    EXPECT_EQ(Ovra_SetDecodeCallback(port, nullptr, other.AsUser()), -2);
  }
  EXPECT_EQ(Ovra_SetDecodeCallback(open, nullptr, other.AsUser()), -2);
  EXPECT_TRUE(fake::Calls().empty());
  EXPECT_EQ(qx::LoadDecodeCallback(open), &qxtest::LogFrame);
}

TEST_F(CallbackRegistration, DecodeCallbackFollowsThePlayersAnswers) {
  struct Case {
    int64_t register_answer;
    int64_t select_answer;
    int32_t expected;
    bool callback_kept;
    std::size_t select_calls;
  };
  const Case cases[] = {
      {1, 1, 0, true, 1},  {2, 1, 0, true, 1},  {-1, 1, 0, true, 1},  {0, 1, -3, false, 0},
      {1, 0, -3, true, 1}, {1, 2, -3, true, 1}, {1, -1, -3, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.register_answer) + "/" + std::to_string(c.select_answer));
    qxtest::ResetLibrary();
    const int32_t port = OpenStreamPort(0);
    fake::SetResult("player_set_decode_callback", c.register_answer);
    fake::SetResult("player_select_decode_stream", c.select_answer);
    FrameLog log;
    EXPECT_EQ(Ovra_SetDecodeCallback(port, qxtest::LogFrame, log.AsUser()), c.expected);

    auto registrations = fake::Calls("player_set_decode_callback");
    ASSERT_EQ(registrations.size(), 1U);
    EXPECT_EQ(registrations[0].Int(0), port);
    EXPECT_NE(registrations[0].Ptr(1), reinterpret_cast<const void*>(&qxtest::LogFrame));
    EXPECT_EQ(registrations[0].Int(2), static_cast<int64_t>(log.AsUser()));
    auto selects = fake::Calls("player_select_decode_stream");
    ASSERT_EQ(selects.size(), c.select_calls);
    if (!selects.empty()) {
      EXPECT_EQ(selects[0].Int(0), port);
      EXPECT_EQ(selects[0].Int(1), 1);
    }

    fake::FireDecode(port, qxtest::SomeFrame());
    EXPECT_EQ(log.Count(), c.callback_kept ? 1U : 0U);
  }
}

TEST_F(CallbackRegistration, RefusedDecodeRegistrationDropsThePreviousCallbackToo) {
  const int32_t port = OpenStreamPort(0);
  FrameLog first;
  FrameLog second;
  ASSERT_EQ(Ovra_SetDecodeCallback(port, qxtest::LogFrame, first.AsUser()), 0);
  fake::SetResult("player_set_decode_callback", 0);
  EXPECT_EQ(Ovra_SetDecodeCallback(port, qxtest::LogFrame, second.AsUser()), -3);
  EXPECT_TRUE(fake::FireDecode(port, qxtest::SomeFrame()));
  EXPECT_EQ(first.Count() + second.Count(), 0U);
}

TEST_F(CallbackRegistration, DecodeCallbackIgnoresSourceModeAndMediaType) {
  for (int32_t port : {OpenFilePort(), OpenStreamPort(0), OpenStreamPort(1)}) {
    SCOPED_TRACE(port);
    FrameLog log;
    EXPECT_EQ(Ovra_SetDecodeCallback(port, qxtest::LogFrame, log.AsUser()), 0);
  }
  EXPECT_EQ(fake::CallCount("player_set_decode_callback"), 3U);
}

}  // namespace
