// Many callers using their own ports while the player library notifies every
// port from threads of its own. Run under ThreadSanitizer, any data race ends
// the program; the checks here catch what a race detector cannot see: a frame
// after a stop had returned, a gap or repeat in the frame numbering, a port
// handed to two callers at once. Bounded by rounds, never by time: a hang
// ends in the test's timeout.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/port_table.h"
#include "qxplaysdk.h"
#include "tests/fakes/fake_backends.h"
#include "tests/support/library_test.h"

namespace {

constexpr int kCallers = 6;
constexpr int kRoundsPerCaller = 100;
constexpr int kNotifiers = 2;

// What the test knows about one port number while a caller holds it.
struct PortWatch {
  std::atomic<int> owners{0};
  std::atomic<bool> stopped{true};         // set once the owner's Ovra_Stop has returned
  std::atomic<uint32_t> next_sequence{0};  // the sequence the next frame must carry
  std::atomic<bool> inside{false};         // a decode callback of the port is running
  std::atomic<bool> stop_from_callback{false};
  std::atomic<bool> stopped_from_callback{false};
};

struct Findings {
  std::array<PortWatch, qx::kPortCount> ports;
  std::atomic<int> shared_ports{0}, late_frames{0}, sequence_faults{0}, failed_stops_inside{0};
  std::atomic<int> frames{0}, draws{0}, file_ends{0}, voice_frames{0}, stops_inside{0};
};

Findings& Found() {
  static Findings findings;
  return findings;
}

void OVRA_CALLBACK CountDraw(int32_t, uintptr_t, uintptr_t) { Found().draws++; }
void OVRA_CALLBACK CountFileEnd(int32_t, uintptr_t) { Found().file_ends++; }
void OVRA_CALLBACK CountVoice(int32_t, const uint8_t*, int32_t, uintptr_t) {
  Found().voice_frames++;
}

void OVRA_CALLBACK CheckFrame(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  Findings& found = Found();
  PortWatch& watch = *reinterpret_cast<PortWatch*>(user);
  found.frames++;
  watch.inside.store(true);
  if (watch.stopped.load()) {
    found.late_frames++;
  }
  if (info->sequence != watch.next_sequence.load()) {
    found.sequence_faults++;
  }
  watch.next_sequence.store(info->sequence + 1);
  // Still running when the owner's stop returns would be as wrong as
  // starting after it: stay a little, then look again.
  for (int i = 0; i < 5; ++i) {
    std::this_thread::yield();
  }
  if (watch.stopped.load()) {
    found.late_frames++;
  }
  watch.inside.store(false);
  if (watch.stop_from_callback.exchange(false)) {
    // On the notifying thread, inside the port's own lock.
    if (Ovra_Stop(port) != 0) {
      found.failed_stops_inside++;
    }
    watch.stopped.store(true);
    found.stops_inside++;
    watch.stopped_from_callback.store(true);
  }
}

uintptr_t UserOf(int32_t port) {
  return reinterpret_cast<uintptr_t>(&Found().ports[static_cast<std::size_t>(port)]);
}

// The trampolines the library registered with the player library: the same
// for every port, so the notifiers can fire at every port without asking the
// fake each time.
struct Trampolines {
  PlayerDrawCallback draw = nullptr;
  PlayerFileEndCallback file_end = nullptr;
  PlayerDecodeCallback decode = nullptr;
  fake::CaptureRegistration capture;
};

void Notify(const Trampolines& trampolines, const std::atomic<bool>& callers_done) {
  const PlayerFrameInfo info{1, 2, 3, 4, 5};
  const uint8_t audio[32] = {};
  while (!callers_done.load()) {
    for (int32_t port = qx::kFirstLocalPort; port <= qx::kLastLocalPort; ++port) {
      trampolines.draw(port, 1, 2);
      trampolines.file_end(port, 3);
      trampolines.decode(port, 4, 5, &info, UserOf(port), 6);
    }
    trampolines.capture.callback(audio, sizeof audio, trampolines.capture.user);
  }
}

// One caller: each round opens a port (a file, a player stream or a 3GPP
// stream), registers, plays, records a stream, stops and closes it.
void Call(int caller) {
  Findings& found = Found();
  const std::string record_name = "caller" + std::to_string(caller) + ".rec";
  const uint8_t block[64] = {};
  for (int round = 0; round < kRoundsPerCaller; ++round) {
    const int kind = (caller + round) % 3;
    int32_t port = -1;
    const int32_t opened = kind == 0 ? Ovra_OpenFile(&port, "clip.mp4")
                                     : Ovra_OpenStream(&port, nullptr, 0, 4096, kind - 1);
    ASSERT_EQ(opened, 0);
    PortWatch& watch = found.ports[static_cast<std::size_t>(port)];
    if (watch.owners.fetch_add(1) != 0) {
      found.shared_ports++;
    }
    const bool stop_inside = round % 4 == 3;
    watch.next_sequence.store(0);
    watch.stopped_from_callback.store(false);
    watch.stop_from_callback.store(stop_inside);
    watch.stopped.store(false);

    EXPECT_EQ(Ovra_RegisterDrawFun(port, CountDraw, 0), 0);
    if (kind == 0) {
      EXPECT_EQ(Ovra_SetFileEndCallback(port, CountFileEnd, 0), 0);
    }
    EXPECT_EQ(Ovra_SetDecodeCallback(port, CheckFrame, UserOf(port)), 0);
    EXPECT_EQ(Ovra_Play(port, nullptr), 0);
    EXPECT_EQ(Ovra_SetPlaySpeed(port, 2.0F), 0);
    if (kind != 0) {
      EXPECT_EQ(Ovra_RecordStart(port, record_name.c_str(), kind - 1), 0);
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Ovra_InputData(port, block, sizeof block), 0);
      }
      EXPECT_EQ(Ovra_RecordSwitchFile(port, record_name.c_str()), 0);
      EXPECT_EQ(Ovra_RecordStop(port), 0);
    }
    EXPECT_EQ(Ovra_InputAudioData(qx::kVoicePort, block, sizeof block), 0);
    // The notifiers keep firing at every port, so the callback comes: either
    // it stops the port itself, or the stop below meets it running.
    std::atomic<bool>& awaited = stop_inside ? watch.stopped_from_callback : watch.inside;
    while (!awaited.load()) {
      std::this_thread::yield();
    }
    EXPECT_EQ(Ovra_Stop(port), 0);
    watch.stopped.store(true);
    watch.owners.fetch_sub(1);
    EXPECT_EQ(kind == 0 ? Ovra_CloseFile(port) : Ovra_CloseStream(port), 0);
  }
}

// Opens and registers one port of each kind once, so that the fake holds
// the library's trampolines; closes it again.
Trampolines RegisterTrampolines() {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenFile(&port, "clip.mp4"), 0);
  EXPECT_EQ(Ovra_SetFileEndCallback(port, nullptr, 0), 0);
  EXPECT_EQ(Ovra_SetDecodeCallback(port, CheckFrame, UserOf(port)), 0);
  EXPECT_EQ(Ovra_Play(port, nullptr), 0);
  EXPECT_EQ(Ovra_Stop(port), 0);
  EXPECT_EQ(Ovra_CloseFile(port), 0);
  int32_t voice = -1;
  EXPECT_EQ(Ovra_InitAudio(&voice), 0);
  EXPECT_EQ(Ovra_SetAudioInCallback(voice, CountVoice, 0), 0);
  return {fake::DrawRegistrationOf(port).callback, fake::FileEndRegistrationOf(port).callback,
          fake::DecodeRegistrationOf(port).callback, fake::CaptureRegistrationNow()};
}

using ConcurrencyStress = qxtest::LibraryTest;

TEST_F(ConcurrencyStress, CallersAndNotifiersOnEveryPort) {
  std::destroy_at(&Found());  // a repeated run starts counting afresh
  std::construct_at(&Found());
  const Trampolines trampolines = RegisterTrampolines();
  ASSERT_NE(trampolines.draw, nullptr);
  ASSERT_NE(trampolines.file_end, nullptr);
  ASSERT_NE(trampolines.decode, nullptr);
  ASSERT_NE(trampolines.capture.callback, nullptr);

  std::atomic<bool> callers_done{false};
  std::vector<std::thread> notifiers;
  for (int i = 0; i < kNotifiers; ++i) {
    notifiers.emplace_back(Notify, std::cref(trampolines), std::cref(callers_done));
  }
  std::vector<std::thread> callers;
  for (int caller = 0; caller < kCallers; ++caller) {
    callers.emplace_back(Call, caller);
  }
  for (std::thread& caller : callers) {
    caller.join();
  }
  callers_done.store(true);
  for (std::thread& notifier : notifiers) {
    notifier.join();
  }
  EXPECT_EQ(Ovra_CloseAudio(qx::kVoicePort), 0);

  const Findings& found = Found();
  EXPECT_EQ(found.shared_ports.load(), 0);
  EXPECT_EQ(found.late_frames.load(), 0) << "frames after Ovra_Stop had returned";
  EXPECT_EQ(found.sequence_faults.load(), 0);
  EXPECT_EQ(found.failed_stops_inside.load(), 0);
  EXPECT_EQ(found.stops_inside.load(), kCallers * kRoundsPerCaller / 4);
  EXPECT_GT(found.frames.load(), 0);
  EXPECT_GT(found.draws.load(), 0);
  EXPECT_GT(found.file_ends.load(), 0);
  EXPECT_GT(found.voice_frames.load(), 0);
  for (int32_t port = qx::kFirstLocalPort; port <= qx::kLastLocalPort; ++port) {
    EXPECT_TRUE(qx::IsFree(port)) << port;
    EXPECT_EQ(qx::GetRecordingFlag(port), 0) << port;
  }
}

}  // namespace
