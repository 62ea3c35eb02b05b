// Shows that the allocation counters can see an allocation: one string too
// long for its short buffer per iteration must read as one allocation per
// operation, where the benchmarks under study read zero.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/allocation_counter.h"

namespace {

void BM_OneAllocationPerOperation(benchmark::State& state) {
  const char* const text = "a text longer than any short-string buffer holds";
  benchmark::DoNotOptimize(text);
  const qxbench::AllocationProbe allocations;
  for (auto _ : state) {
    std::string copy(text);
    benchmark::DoNotOptimize(copy.data());
  }
  allocations.Report(state, "allocs/op");
}
BENCHMARK(BM_OneAllocationPerOperation)->Name("calibration/one_allocation_per_op");

}  // namespace
