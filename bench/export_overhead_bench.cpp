// What an export costs over the backend operation it reaches.
//
// Each row runs twice, side by side in one program: through the export of
// the shared library, and as a direct call of the same no-op operation in
// the same backend library. The export side carries a counter ("locks") of
// the lock round trips it makes, so that its excess can be set against the measured
// cost of one round trip (lock/section_lock_round_trip).
#include <benchmark/benchmark.h>

#include <string>

#include "bench/allocation_counter.h"
#include "bench/export_cases.h"

namespace qxbench {
namespace {

template <bool (*Operation)(const BenchPorts&)>
void Measure(benchmark::State& state, int lock_round_trips) {
  const BenchPorts& ports = Ports();
  if (!ports.ready) {
    state.SkipWithError("the ports could not be opened");
    return;
  }
  // Timing a refusal would measure a path no caller cares about.
  if (!Operation(ports)) {
    state.SkipWithError("the operation does not succeed");
    return;
  }
  if (lock_round_trips >= 0) {
    state.counters["locks"] = lock_round_trips;
  }
  const AllocationProbe allocations;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Operation(ports));
  }
  allocations.Report(state, "allocs/op");
}

template <bool (*Operation)(const BenchPorts&)>
void Register(const std::string& name, int lock_round_trips) {
  benchmark::RegisterBenchmark(name.c_str(), [lock_round_trips](benchmark::State& state) {
    Measure<Operation>(state, lock_round_trips);
  });
}

// Registered pairwise, export first, so that the two sides of a row run
// next to each other.
[[maybe_unused]] const bool registered = [] {
#define QX_REGISTER_EXPORT_CASE(row, exports, locks, through_export, direct) \
  Register<through_export>(std::string(row) + "/export", locks);             \
  Register<direct>(std::string(row) + "/direct", -1);
  QX_EXPORT_CASES(QX_REGISTER_EXPORT_CASE)
#undef QX_REGISTER_EXPORT_CASE
  return true;
}();

}  // namespace
}  // namespace qxbench
