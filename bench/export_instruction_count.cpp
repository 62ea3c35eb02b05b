// Runs one row of the export table a fixed number of times, for counting
// instructions under callgrind (scripts/run-benchmarks.sh): the inclusive
// cost of the row's exports divided by the number of calls is the cost of
// one call, free of the timing noise of a shared machine.
//
// Usage:
//   export_instruction_count --list         rows as: row TAB exports TAB lock round trips
//   export_instruction_count ROW CALLS      runs ROW's exports CALLS times
//
// The row "lock/section_lock_round_trip" takes and leaves the library's lock
// instead, with SectionLock::Lock and SectionLock::Unlock as its functions.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/export_cases.h"
#include "bench/second_thread.h"
#include "core/section_lock.h"

namespace {

using qxbench::BenchPorts;

struct Row {
  const char* name;
  const char* functions;
  int lock_round_trips;
  bool (*operation)(const BenchPorts&);
};

constexpr const char* kLockRow = "lock/section_lock_round_trip";

#define QX_ROW(row, exports, locks, through_export, direct) \
  Row{row, exports, locks, qxbench::through_export},
constexpr Row kRows[] = {QX_EXPORT_CASES(QX_ROW)};
#undef QX_ROW

// Kept out of line, so that the lock calls are made as in the library.
[[gnu::noinline]] void LockRoundTrips(long calls) {
  static qx::SectionLock lock;
  for (long i = 0; i < calls; ++i) {
    qx::SectionGuard guard(&lock);
  }
}

int RunRow(const Row& row, long calls) {
  const BenchPorts& ports = qxbench::Ports();
  if (!ports.ready) {
    std::fputs("the ports could not be opened\n", stderr);
    return 1;
  }
  long failures = 0;
  for (long i = 0; i < calls; ++i) {
    if (!row.operation(ports)) {
      ++failures;
    }
  }
  if (failures != 0) {
    std::fprintf(stderr, "%s: %ld of %ld calls did not succeed\n", row.name, failures, calls);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Measured as in a real client, where the process always has more than
  // one thread.
  qxbench::StartAndJoinSecondThread();
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    std::printf("%s\tqx::SectionLock::Lock() qx::SectionLock::Unlock()\t1\n", kLockRow);
    for (const Row& row : kRows) {
      std::printf("%s\t%s\t%d\n", row.name, row.functions, row.lock_round_trips);
    }
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s --list | ROW CALLS\n", argv[0]);
    return 2;
  }
  char* end = nullptr;
  const long calls = std::strtol(argv[2], &end, 10);
  if (*end != '\0' || calls < 1) {
    std::fprintf(stderr, "CALLS must be a positive whole number, not '%s'\n", argv[2]);
    return 2;
  }
  if (std::strcmp(argv[1], kLockRow) == 0) {
    LockRoundTrips(calls);
    return 0;
  }
  for (const Row& row : kRows) {
    if (std::strcmp(argv[1], row.name) == 0) {
      return RunRow(row, calls);
    }
  }
  std::fprintf(stderr, "no row named '%s' (see --list)\n", argv[1]);
  return 2;
}
