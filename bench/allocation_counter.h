// Counts the process's heap allocations, so that a benchmark can report how
// many allocations one operation makes.
//
// The benchmark programs replace malloc and its siblings with counting
// versions that hand the work on to the C library's allocator. operator new
// allocates through malloc, so C++ allocations are counted as well. Each
// thread counts its own: a benchmark running the code under test on its own
// thread sees neither the framework's threads nor its other threads.
#ifndef QXPLAYSDK_BENCH_ALLOCATION_COUNTER_H
#define QXPLAYSDK_BENCH_ALLOCATION_COUNTER_H

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

namespace qxbench {

// Allocations made by the calling thread so far.
uint64_t AllocationCount();

// Whether the counting replacement is really in use: makes one malloc and
// one operator new and checks that both were counted.
bool AllocationCounterWorks();

// Counts the calling thread's allocations from its construction until
// Report, and reports them as a counter averaged over the benchmark's
// iterations.
//
// The compiler treats an allocation as free of side effects and may move
// one that follows the final reading ahead of it. So nothing in the
// benchmark may allocate after its loop: Report stores its counter under a
// name short enough to need no allocation of its own, and the benchmark sets
// no counter with a longer name (SetItemsProcessed, SetBytesProcessed).
class AllocationProbe {
 public:
  AllocationProbe() : start_(AllocationCount()) {}

  template <std::size_t kLength>
  void Report(benchmark::State& state, const char (&counter_name)[kLength]) const {
    static_assert(kLength <= kShortNameCapacity, "a longer counter name allocates");
    const auto made = static_cast<double>(AllocationCount() - start_);
    state.counters[counter_name] = benchmark::Counter(made, benchmark::Counter::kAvgIterations);
  }

 private:
  // Characters, terminator included, that a string holds without allocating.
  static constexpr std::size_t kShortNameCapacity = 16;
  uint64_t start_;
};

}  // namespace qxbench

#endif  // QXPLAYSDK_BENCH_ALLOCATION_COUNTER_H
