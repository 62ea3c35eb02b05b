// Every kind of callback (decode, draw, end of file) calling back into its
// own port's exports, through libqxplaysdk.so on the real backends: each
// call answers one of its documented codes without blocking for good, and
// the port plays on afterwards (or is free, when the call closed it).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "qxplaysdk.h"
#include "tests/media/deadlock_watchdog.h"
#include "tests/media/media_test_support.h"
#include "tests/media/stress_support.h"

namespace qxmedia_test {
namespace {

enum class Notification { kDecode, kDraw, kFileEnd };

// A call made from inside the notification. `answer` gives the result
// code; a value it reads that is out of place turns into kWrongValue.
constexpr int32_t kWrongValue = 1;

struct Action {
  const char* name;
  std::function<int32_t(int32_t port)> call;
  std::vector<int32_t> answers;
  bool closes = false;
  // Made by the test's own thread before the port plays, and after the
  // call (for what the call left running).
  std::function<void(int32_t port)> before = [](int32_t) {};
  std::function<void(int32_t port)> after = [](int32_t) {};
};

void OVRA_CALLBACK OnDecode(int32_t port, const DecodeFrameInfo*, uintptr_t);
void OVRA_CALLBACK OnDraw(int32_t port, uintptr_t, uintptr_t);
void OVRA_CALLBACK OnFileEnd(int32_t port, uintptr_t);
void OVRA_CALLBACK OnFileReady(int32_t, const char*, uintptr_t) {}

std::string Recording(const char* name) { return TempPath(std::string("reentry-") + name); }

// Two calls in this order; the first failure's answer, or the second's.
int32_t InOrder(const std::function<int32_t()>& first, const std::function<int32_t()>& second) {
  const int32_t answer = first();
  return answer != OVRA_OK ? answer : second();
}

std::vector<Action> Actions() {
  return {
      {"Ovra_Stop", [](int32_t port) { return Ovra_Stop(port); }, {OVRA_OK}},
      {"Ovra_Stop then Ovra_Play",
       [](int32_t port) {
         return InOrder([port] { return Ovra_Stop(port); },
                        [port] { return Ovra_Play(port, nullptr); });
       },
       {OVRA_OK}},
      {"Ovra_Play", [](int32_t port) { return Ovra_Play(port, nullptr); }, {OVRA_OK}},
      {"Ovra_Pause on and off",
       [](int32_t port) {
         return InOrder([port] { return Ovra_Pause(port, 1); },
                        [port] { return Ovra_Pause(port, 0); });
       },
       {OVRA_OK}},
      {"Ovra_SetPlayPos", [](int32_t port) { return Ovra_SetPlayPos(port, 50); }, {OVRA_OK}},
      {"Ovra_GetPlayPos",
       [](int32_t port) {
         int32_t position = -1;
         const int32_t result = Ovra_GetPlayPos(port, &position);
         return position >= 0 && position <= 100 ? result : kWrongValue;
       },
       {OVRA_OK}},
      {"Ovra_SetPlaySpeed", [](int32_t port) { return Ovra_SetPlaySpeed(port, 2.0F); }, {OVRA_OK}},
      {"Ovra_GetPlaySpeed",
       [](int32_t port) {
         float speed = 0.0F;
         const int32_t result = Ovra_GetPlaySpeed(port, &speed);
         return speed == 16.0F ? result : kWrongValue;
       },
       {OVRA_OK}},
      // From inside a notification steps and jumps are queued: accepted at once.
      {"Ovra_NextFrame", [](int32_t port) { return Ovra_NextFrame(port); }, {OVRA_OK}},
      {"Ovra_PreviousFrame", [](int32_t port) { return Ovra_PreviousFrame(port); }, {OVRA_OK}},
      {"Ovra_SetCurrentFrameNum",
       [](int32_t port) { return Ovra_SetCurrentFrameNum(port, 10); },
       {OVRA_OK}},
      {"Ovra_GetFileTotalFrames",
       [](int32_t port) {
         uint32_t total = 0;
         const int32_t result = Ovra_GetFileTotalFrames(port, &total);
         return total == 50 ? result : kWrongValue;
       },
       {OVRA_OK}},
      {"Ovra_GetPlayedFrames",
       [](int32_t port) {
         uint32_t played = 0;
         const int32_t result = Ovra_GetPlayedFrames(port, &played);
         return played >= 1 && played <= 50 ? result : kWrongValue;
       },
       {OVRA_OK}},
      {"Ovra_CapPic",
       [](int32_t port) { return Ovra_CapPic(port, TempPath("reentry.bmp").c_str()); },
       {OVRA_OK},
       false,
       [](int32_t) { std::filesystem::remove(TempPath("reentry.bmp")); },
       [](int32_t) {
         const RgbPicture picture = DecodeImage(TempPath("reentry.bmp"));
         EXPECT_EQ(picture.width, 160);
         EXPECT_EQ(picture.height, 120);
       }},
      {"Ovra_SetColor",
       [](int32_t port) { return Ovra_SetColor(port, 70, 60, 64, 64); },
       {OVRA_OK}},
      {"Ovra_GetColor",
       [](int32_t port) {
         int32_t values[4] = {-1, -1, -1, -1};
         const int32_t result = Ovra_GetColor(port, &values[0], &values[1], &values[2], &values[3]);
         for (const int32_t value : values) {
           if (value < 0 || value > 128) return kWrongValue;
         }
         return result;
       },
       {OVRA_OK}},
      {"Ovra_PlaySound then Ovra_StopSound",
       [](int32_t port) {
         return InOrder([port] { return Ovra_PlaySound(port); },
                        [port] { return Ovra_StopSound(port); });
       },
       {OVRA_OK}},
      {"Ovra_SetVolume then Ovra_GetVolume",
       [](int32_t port) {
         uint32_t volume = 0;
         const int32_t result = InOrder([port] { return Ovra_SetVolume(port, 30000); },
                                        [&] { return Ovra_GetVolume(port, &volume); });
         return volume == 30000 ? result : kWrongValue;
       },
       {OVRA_OK}},
      {"Ovra_RecordStart",
       [](int32_t port) {
         return Ovra_RecordStart(port, Recording("start.ts").c_str(), OVRA_MEDIA_PLAYER);
       },
       {OVRA_OK},
       false,
       [](int32_t) {},
       // Whether a key frame came after the start decides whether the file
       // is whole; either answer is documented.
       [](int32_t port) {
         const int32_t stopped = Ovra_RecordStop(port);
         EXPECT_TRUE(stopped == OVRA_OK || stopped == OVRA_PLAYSDK_ERROR) << stopped;
       }},
      {"Ovra_RecordSwitchFile",
       [](int32_t port) { return Ovra_RecordSwitchFile(port, Recording("switched.ts").c_str()); },
       {OVRA_OK},
       false,
       [](int32_t port) {
         ASSERT_EQ(Ovra_SetRecordFileReadyCallback(port, OnFileReady, 0), OVRA_OK);
         ASSERT_EQ(Ovra_RecordStart(port, Recording("before-switch.ts").c_str(), OVRA_MEDIA_PLAYER),
                   OVRA_OK);
       },
       [](int32_t port) {
         const int32_t stopped = Ovra_RecordStop(port);
         EXPECT_TRUE(stopped == OVRA_OK || stopped == OVRA_PLAYSDK_ERROR) << stopped;
       }},
      // Recorded from the first frame on: the file holds a key frame.
      {"Ovra_RecordStop",
       [](int32_t port) { return Ovra_RecordStop(port); },
       {OVRA_OK},
       false,
       [](int32_t port) {
         ASSERT_EQ(Ovra_SetRecordFileReadyCallback(port, OnFileReady, 0), OVRA_OK);
         ASSERT_EQ(Ovra_RecordStart(port, Recording("stopped.ts").c_str(), OVRA_MEDIA_PLAYER),
                   OVRA_OK);
       }},
      {"Ovra_SetRecordFileReadyCallback",
       [](int32_t port) { return Ovra_SetRecordFileReadyCallback(port, OnFileReady, 0); },
       {OVRA_OK}},
      {"Ovra_SetDecodeCallback",
       [](int32_t port) { return Ovra_SetDecodeCallback(port, OnDecode, 0); },
       {OVRA_OK}},
      {"Ovra_RegisterDrawFun",
       [](int32_t port) { return Ovra_RegisterDrawFun(port, OnDraw, 0); },
       {OVRA_OK}},
      {"Ovra_SetFileEndCallback",
       [](int32_t port) { return Ovra_SetFileEndCallback(port, OnFileEnd, 0); },
       {OVRA_OK}},
      // A file port's media type is whatever its number last held: none
      // (-2), or the player's once a recording started there (the player
      // then refuses stream data on a file, -3).
      {"Ovra_InputData",
       [](int32_t port) {
         const uint8_t block[188] = {0x47};
         return Ovra_InputData(port, block, sizeof block);
       },
       {OVRA_PARAM_ERROR, OVRA_PLAYSDK_ERROR}},
      {"Ovra_CloseFile", [](int32_t port) { return Ovra_CloseFile(port); }, {OVRA_OK}, true},
  };
}

// The one action armed at a time, and what it answered.
struct Armed {
  std::atomic<int> kind{-1};
  std::atomic<int32_t> port{-1};
  std::atomic<const Action*> action{nullptr};
  std::atomic<bool> armed{false};
  std::atomic<int32_t> result{kWrongValue};
  std::atomic<bool> done{false};
};
Armed armed;

void Run(Notification kind, int32_t port) {
  if (armed.kind.load() != static_cast<int>(kind) || armed.port.load() != port) return;
  if (!armed.armed.exchange(false)) return;
  armed.result = armed.action.load()->call(port);
  armed.done = true;
}

void OVRA_CALLBACK OnDecode(int32_t port, const DecodeFrameInfo*, uintptr_t) {
  CountFrame(port);
  Run(Notification::kDecode, port);
}
void OVRA_CALLBACK OnDraw(int32_t port, uintptr_t, uintptr_t) { Run(Notification::kDraw, port); }
void OVRA_CALLBACK OnFileEnd(int32_t port, uintptr_t) { Run(Notification::kFileEnd, port); }

struct ReentryCase {
  const char* name;
  Notification kind;
  friend std::ostream& operator<<(std::ostream& out, const ReentryCase& c) { return out << c.name; }
};

class ReentryTest : public ::testing::TestWithParam<ReentryCase> {};

TEST_P(ReentryTest, EveryExportOfThePortAnswersFromInsideTheCallback) {
  const ReentryCase& c = GetParam();
  const DeadlockWatchdog watchdog("calls from inside callbacks", std::chrono::seconds(55));
  const std::string clip = Clip("mp4");
  for (const Action& action : Actions()) {
    SCOPED_TRACE(action.name);
    int32_t port = -1;
    ASSERT_EQ(Ovra_OpenFile(&port, clip.c_str()), OVRA_OK);
    ASSERT_EQ(Ovra_SetDecodeCallback(port, OnDecode, 0), OVRA_OK);
    ASSERT_EQ(Ovra_RegisterDrawFun(port, OnDraw, 0), OVRA_OK);
    ASSERT_EQ(Ovra_SetFileEndCallback(port, OnFileEnd, 0), OVRA_OK);
    action.before(port);
    ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
    // Fast, so that the end of the file comes soon.
    ASSERT_EQ(Ovra_SetPlaySpeed(port, 16.0F), OVRA_OK);
    armed.done = false;
    armed.result = kWrongValue;
    armed.action = &action;
    armed.port = port;
    armed.kind = static_cast<int>(c.kind);
    armed.armed = true;
    ASSERT_TRUE(WaitFor([] { return armed.done.load(); })) << "the notification never came";
    const int32_t result = armed.result.load();
    EXPECT_NE(std::find(action.answers.begin(), action.answers.end(), result), action.answers.end())
        << "answered " << result;
    if (action.closes) {
      EXPECT_EQ(Ovra_CloseFile(port), OVRA_PARAM_ERROR) << "the port was closed from its callback";
      continue;
    }
    action.after(port);
    // The port is not wedged: stopped, it plays again from its start.
    ASSERT_EQ(Ovra_Stop(port), OVRA_OK);
    ResetFrameCounts();
    ASSERT_EQ(Ovra_SetDecodeCallback(port, OnDecode, 0), OVRA_OK);
    ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
    EXPECT_TRUE(WaitFor([port] { return FramesOf(port) >= 2; })) << "the port plays no more";
    EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
    EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
  }
}

INSTANTIATE_TEST_SUITE_P(Notifications, ReentryTest,
                         ::testing::Values(ReentryCase{"Decode", Notification::kDecode},
                                           ReentryCase{"Draw", Notification::kDraw},
                                           ReentryCase{"FileEnd", Notification::kFileEnd}),
                         [](const ::testing::TestParamInfo<ReentryCase>& case_info) {
                           return case_info.param.name;
                         });

}  // namespace
}  // namespace qxmedia_test
