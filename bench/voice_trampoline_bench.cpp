// The voice capture trampoline, block by block: what the library adds
// between the player library's captured block and the caller's audio-in
// callback (a zeroed frame buffer, the header, a copy of the block).
//
// Built on the static core with the fake backends. The fake player keeps the
// trampoline and user data that Ovra_SetAudioInCallback registered, and the
// benchmarks call exactly that pointer, as the player library calls it from
// its capture thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "backends/player.h"
#include "bench/allocation_counter.h"
#include "qxplaysdk.h"
#include "tests/fakes/fake_backends.h"

namespace qxbench {
namespace {

constexpr std::size_t kHeaderLength = 8;

void OVRA_CALLBACK TakeVoiceFrame(int32_t port, const uint8_t* frame, int32_t length,
                                  uintptr_t user) {
  benchmark::DoNotOptimize(port);
  benchmark::DoNotOptimize(frame[length - 1]);
  benchmark::DoNotOptimize(user);
}

fake::CaptureRegistration OpenCapture() {
  int32_t voice = -1;
  if (Ovra_InitAudio(&voice) != OVRA_OK ||
      Ovra_SetAudioInCallback(voice, TakeVoiceFrame, 0) != OVRA_OK) {
    return {};
  }
  return fake::CaptureRegistrationNow();
}

const fake::CaptureRegistration& Capture() {
  static const fake::CaptureRegistration registration = OpenCapture();
  return registration;
}

void BM_CaptureTrampolinePerBlock(benchmark::State& state) {
  const fake::CaptureRegistration& capture = Capture();
  if (capture.callback == nullptr) {
    state.SkipWithError("the voice capture could not be opened");
    return;
  }
  const auto length = static_cast<uint32_t>(state.range(0));
  const std::vector<uint8_t> block(length, 0x5A);
  const AllocationProbe allocations;
  for (auto _ : state) {
    capture.callback(block.data(), length, capture.user);
  }
  allocations.Report(state, "allocs/block");
}
BENCHMARK(BM_CaptureTrampolinePerBlock)->Name("voice/trampoline_per_block")->Arg(1024)->Arg(4096);

// The baseline: the caller's function called directly with a frame built
// beforehand, through a pointer the compiler cannot see through.
void BM_CaptureBareCallerCall(benchmark::State& state) {
  OvraAudioInCallback callback = TakeVoiceFrame;
  benchmark::DoNotOptimize(callback);
  const auto length = static_cast<std::size_t>(state.range(0));
  const std::vector<uint8_t> frame(kHeaderLength + length, 0x5A);
  const auto frame_length = static_cast<int32_t>(frame.size());
  for (auto _ : state) {
    callback(OVRA_VOICE_PORT, frame.data(), frame_length, 0);
  }
}
BENCHMARK(BM_CaptureBareCallerCall)->Name("voice/bare_caller_call")->Arg(1024)->Arg(4096);

}  // namespace
}  // namespace qxbench
