// Notifications cross the interface twice: the player library calls the
// library's trampolines, and the library calls the caller's functions; both
// legs are __stdcall, so each callee removes its own arguments. Each
// trampoline is called here exactly as the player library calls it, one
// 32-bit word per argument, and must remove all of them; the caller's
// functions below are __stdcall with the documented argument sizes, and a
// library that called them with the wrong convention would leave the
// trampoline's stack off.
#include <cstring>
#include <string>
#include <vector>

#include "qxplaysdk.h"
#include "tests/abi/dll_test.h"

namespace abicheck {
namespace {

// What the caller's functions last received.
struct Received {
  int calls = 0;
  int32_t port = 0;
  uint32_t values[2] = {};
  uintptr_t user = 0;
  DecodeFrameInfo frame{};
  std::string text;
  std::vector<uint8_t> bytes;
};
Received received;

void __stdcall DrawFunction(int32_t port, uintptr_t value2, uintptr_t value3) {
  ++received.calls;
  received.port = port;
  received.values[0] = value2;
  received.values[1] = value3;
}

void __stdcall FileEndCallback(int32_t port, uintptr_t value2) {
  ++received.calls;
  received.port = port;
  received.values[0] = value2;
}

void __stdcall DecodeCallback(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  ++received.calls;
  received.port = port;
  received.frame = *info;
  received.user = user;
}

void __stdcall RecordFileReadyCallback(int32_t port, const char* file_name, uintptr_t user) {
  ++received.calls;
  received.port = port;
  received.text = file_name;
  received.user = user;
}

void __stdcall AudioInCallback(int32_t port, const uint8_t* frame, int32_t length, uintptr_t user) {
  ++received.calls;
  received.port = port;
  received.bytes.assign(frame, frame + length);
  received.user = user;
}

class NotificationAbiTest : public DllTest {
 protected:
  void SetUp() override {
    received = Received{};
    DllTest::SetUp();
  }
};

TEST_F(NotificationAbiTest, DrawTrampolineRemovesItsThreeWords) {
  QX_REQUIRE_EXPORTS("Ovra_Play");
  const int32_t port = OpenStream();
  const bool caller_function = Library().Find("Ovra_RegisterDrawFun") != nullptr;
  if (caller_function) {
    ASSERT_EQ(Library().Result("Ovra_RegisterDrawFun",
                               {static_cast<uint32_t>(port), FunctionWord(&DrawFunction), 0}),
              0);
  }
  ASSERT_EQ(Library().Result("Ovra_Play", {static_cast<uint32_t>(port), 0x1000}), 0);
  const void* trampoline = reinterpret_cast<const void*>(fake::DrawRegistrationOf(port).callback);
  ASSERT_NE(trampoline, nullptr);

  const CallOutcome outcome =
      CallWithWords(trampoline, {static_cast<uint32_t>(port), 0x11111111, 0x22222222});

  EXPECT_EQ(outcome.bytes_removed, 12U);
  EXPECT_TRUE(outcome.registers_kept);
  if (caller_function) {
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(received.port, port);
    EXPECT_EQ(received.values[0], 0x11111111U);
    EXPECT_EQ(received.values[1], 0x22222222U);
  }
}

TEST_F(NotificationAbiTest, FileEndTrampolineRemovesItsTwoWordsAndCallsTheCaller) {
  QX_REQUIRE_EXPORTS("Ovra_OpenFile", "Ovra_SetFileEndCallback");
  int32_t port = 0;
  ASSERT_EQ(Library().Result("Ovra_OpenFile", {Word(&port), Word("clip.dat")}), 0);
  ASSERT_EQ(Library().Result("Ovra_SetFileEndCallback",
                             {static_cast<uint32_t>(port), FunctionWord(&FileEndCallback), 5}),
            0);
  const void* trampoline =
      reinterpret_cast<const void*>(fake::FileEndRegistrationOf(port).callback);
  ASSERT_NE(trampoline, nullptr);

  const CallOutcome outcome = CallWithWords(trampoline, {static_cast<uint32_t>(port), 0x33333333});

  EXPECT_EQ(outcome.bytes_removed, 8U);
  EXPECT_TRUE(outcome.registers_kept);
  EXPECT_EQ(received.calls, 1);
  EXPECT_EQ(received.port, port);
  EXPECT_EQ(received.values[0], 0x33333333U);
}

TEST_F(NotificationAbiTest, DecodeTrampolineRemovesItsSixWordsAndCallsTheCaller) {
  QX_REQUIRE_EXPORTS("Ovra_SetDecodeCallback");
  const int32_t port = OpenStream();
  ASSERT_EQ(Library().Result("Ovra_SetDecodeCallback",
                             {static_cast<uint32_t>(port), FunctionWord(&DecodeCallback), 0x55}),
            0);
  const fake::DecodeRegistration registration = fake::DecodeRegistrationOf(port);
  ASSERT_NE(registration.callback, nullptr);
  const PlayerFrameInfo player_info{0xA0, 0xB0, 0xC0, 0xD0, 0xE0};

  const CallOutcome outcome =
      CallWithWords(reinterpret_cast<const void*>(registration.callback),
                    {static_cast<uint32_t>(port), 0x44, 0x45, Word(&player_info),
                     static_cast<uint32_t>(registration.user), 0x46});

  EXPECT_EQ(outcome.bytes_removed, 24U);
  EXPECT_TRUE(outcome.registers_kept);
  ASSERT_EQ(received.calls, 1);
  EXPECT_EQ(received.port, port);
  EXPECT_EQ(received.user, 0x55U);
  EXPECT_EQ(received.frame.marker, 1U);
  EXPECT_EQ(received.frame.info_a, 0xA0U);
  EXPECT_EQ(received.frame.info_e, 0xE0U);
  EXPECT_EQ(received.frame.extra_a, 0x44U);
  EXPECT_EQ(received.frame.extra_b, 0x45U);
}

TEST_F(NotificationAbiTest, CaptureTrampolineRemovesItsThreeWordsAndCallsTheCaller) {
  QX_REQUIRE_EXPORTS("Ovra_InitAudio", "Ovra_SetAudioInCallback");
  int32_t voice_port = 0;
  ASSERT_EQ(Library().Result("Ovra_InitAudio", {Word(&voice_port)}), 0);
  ASSERT_EQ(Library().Result("Ovra_SetAudioInCallback", {static_cast<uint32_t>(voice_port),
                                                         FunctionWord(&AudioInCallback), 0x66}),
            0);
  const fake::CaptureRegistration registration = fake::CaptureRegistrationNow();
  ASSERT_NE(registration.callback, nullptr);
  const uint8_t audio[4] = {1, 2, 3, 4};

  const CallOutcome outcome =
      CallWithWords(reinterpret_cast<const void*>(registration.callback),
                    {Word(audio), sizeof audio, static_cast<uint32_t>(registration.user)});

  EXPECT_EQ(outcome.bytes_removed, 12U);
  EXPECT_TRUE(outcome.registers_kept);
  ASSERT_EQ(received.calls, 1);
  EXPECT_EQ(received.port, 99);
  EXPECT_EQ(received.user, 0x66U);
  ASSERT_EQ(received.bytes.size(), 8U + sizeof audio);
  EXPECT_EQ(std::vector<uint8_t>(received.bytes.end() - 4, received.bytes.end()),
            std::vector<uint8_t>(audio, audio + 4));
}

// The record-file-ready callback runs inside the export, on the caller's
// thread: the export stays __cdecl around a __stdcall call of the caller.
TEST_F(NotificationAbiTest, RecordStopCallsTheCallerAndStaysBalanced) {
  QX_REQUIRE_EXPORTS("Ovra_SetRecordFileReadyCallback", "Ovra_RecordStart", "Ovra_RecordStop");
  const int32_t port = OpenStream();
  const auto word_port = static_cast<uint32_t>(port);
  ASSERT_EQ(Library().Result("Ovra_SetRecordFileReadyCallback",
                             {word_port, FunctionWord(&RecordFileReadyCallback), 0x77}),
            0);
  ASSERT_EQ(Library().Result("Ovra_RecordStart", {word_port, Word("take-1.rec"), 0}), 0);

  const CallOutcome outcome = Library().Call("Ovra_RecordStop", {word_port});

  EXPECT_EQ(static_cast<int32_t>(outcome.eax), 0);
  EXPECT_EQ(outcome.bytes_removed, 0U);
  EXPECT_TRUE(outcome.registers_kept);
  EXPECT_EQ(received.calls, 1);
  EXPECT_EQ(received.port, port);
  EXPECT_EQ(received.text, "take-1.rec");
  EXPECT_EQ(received.user, 0x77U);
}

}  // namespace
}  // namespace abicheck
