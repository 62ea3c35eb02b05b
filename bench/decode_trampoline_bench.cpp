// The decode trampoline, frame by frame: what the library adds between the
// player library's decode notification and the caller's decode callback,
// and whether frames of different ports pass through it in parallel.
//
// Built on the static core with the fake backends. The fake player keeps the
// trampoline and the user data that Ovra_SetDecodeCallback registered, and
// the benchmarks call exactly that pointer, as the player library calls it
// from its decoding threads. The fake is not on the per-frame path: the
// trampoline calls no backend.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "backends/player.h"
#include "bench/allocation_counter.h"
#include "qxplaysdk.h"
#include "tests/fakes/fake_backends.h"

namespace qxbench {
namespace {

void OVRA_CALLBACK TakeFrame(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  benchmark::DoNotOptimize(port);
  benchmark::DoNotOptimize(info->sequence);
  benchmark::DoNotOptimize(user);
}

// Every local port open as a player stream with TakeFrame registered, and
// the registration the player library holds for it.
struct DecodePorts {
  std::array<fake::DecodeRegistration, OVRA_LAST_LOCAL_PORT + 1> registrations{};
  bool ready = false;
};

DecodePorts OpenDecodePorts() {
  DecodePorts ports;
  for (int32_t wanted = OVRA_FIRST_LOCAL_PORT; wanted <= OVRA_LAST_LOCAL_PORT; ++wanted) {
    int32_t port = -1;
    if (Ovra_OpenStream(&port, nullptr, 0, 1U << 20, OVRA_MEDIA_PLAYER) != OVRA_OK ||
        port != wanted || Ovra_SetDecodeCallback(port, TakeFrame, 0) != OVRA_OK) {
      return ports;
    }
    ports.registrations[static_cast<std::size_t>(port)] = fake::DecodeRegistrationOf(port);
    if (ports.registrations[static_cast<std::size_t>(port)].callback == nullptr) {
      return ports;
    }
  }
  ports.ready = true;
  return ports;
}

const DecodePorts& Ports() {
  static const DecodePorts ports = OpenDecodePorts();
  return ports;
}

// One frame's notification values, as the player library passes them.
constexpr PlayerFrameInfo kFrame{704, 576, 25, 0, 3};
constexpr uintptr_t kValue2 = 7;
constexpr uintptr_t kValue3 = 8;

// Delivers frames of `port` through the registered trampoline until the
// benchmark has enough.
void DeliverFrames(benchmark::State& state, int32_t port) {
  const DecodePorts& ports = Ports();
  if (!ports.ready) {
    state.SkipWithError("the decode ports could not be opened");
    return;
  }
  const fake::DecodeRegistration registration = ports.registrations[static_cast<std::size_t>(port)];
  const AllocationProbe allocations;
  for (auto _ : state) {
    registration.callback(port, kValue2, kValue3, &kFrame, registration.user, 0);
  }
  allocations.Report(state, "allocs/frame");
  // Summed over the threads: with real time, the aggregate rate.
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DecodeTrampolinePerFrame(benchmark::State& state) {
  DeliverFrames(state, OVRA_FIRST_LOCAL_PORT);
}
BENCHMARK(BM_DecodeTrampolinePerFrame)->Name("decode/trampoline_per_frame");

// The baseline: the caller's function called directly with a record built
// beforehand, through a pointer the compiler cannot see through, as the
// trampoline calls it.
void BM_DecodeBareCallerCall(benchmark::State& state) {
  OvraDecodeCallback callback = TakeFrame;
  benchmark::DoNotOptimize(callback);
  const DecodeFrameInfo info{1,       kFrame.info_c, kFrame.info_e, 0, kFrame.info_a, kFrame.info_b,
                             kValue2, kValue3};
  const int32_t port = OVRA_FIRST_LOCAL_PORT;
  for (auto _ : state) {
    callback(port, &info, 0);
  }
}
BENCHMARK(BM_DecodeBareCallerCall)->Name("decode/bare_caller_call");

// Frames of one port per thread. Each port has its own lock, so frames of
// two ports should pass at twice the rate of one; frames of one port from
// two threads take turns on its lock, the contrast to compare with.
template <int32_t kFirstThreadPort, int32_t kSecondThreadPort>
void BM_DecodeFramesOnePortPerThread(benchmark::State& state) {
  DeliverFrames(state, state.thread_index() == 0 ? kFirstThreadPort : kSecondThreadPort);
}
BENCHMARK(BM_DecodeFramesOnePortPerThread<33, 34>)
    ->Name("decode/scaling/neighbouring_ports")
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK(BM_DecodeFramesOnePortPerThread<33, 97>)
    ->Name("decode/scaling/distant_ports")
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK(BM_DecodeFramesOnePortPerThread<33, 33>)
    ->Name("decode/scaling/same_port")
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime();

}  // namespace
}  // namespace qxbench
