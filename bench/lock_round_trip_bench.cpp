// The unit the library's lock costs are counted in: one uncontended round
// trip of the library's own re-entrant lock, taken and left through its
// scoped guard exactly as the exports and the decode trampoline take it.
#include <benchmark/benchmark.h>

#include "core/section_lock.h"

namespace {

void BM_SectionLockRoundTrip(benchmark::State& state) {
  static qx::SectionLock lock;
  for (auto _ : state) {
    qx::SectionGuard guard(&lock);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SectionLockRoundTrip)->Name("lock/section_lock_round_trip");

}  // namespace
