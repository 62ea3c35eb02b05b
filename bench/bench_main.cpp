// Entry point of the benchmark programs: makes the process multi-threaded and
// checks that allocations are counted before anything is measured.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/allocation_counter.h"
#include "bench/second_thread.h"

int main(int argc, char** argv) {
  qxbench::StartAndJoinSecondThread();
  if (!qxbench::AllocationCounterWorks()) {
    std::fputs("heap allocations are not being counted: the counting malloc is not in use\n",
               stderr);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
