#include "bench/allocation_counter.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

// Constant-initialised, so that reaching it never allocates.
thread_local uint64_t allocations = 0;

void CountAllocation() { ++allocations; }

}  // namespace

// The C library's own allocator entry points, which its malloc family calls.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

// Defined in the program, these take the place of the C library's functions
// for every library the program loads. free stays the C library's: the
// memory comes from its allocator.
extern "C" {

void* malloc(std::size_t size) noexcept {
  CountAllocation();
  return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept {
  CountAllocation();
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) noexcept {
  CountAllocation();
  return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept {
  CountAllocation();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  CountAllocation();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
  CountAllocation();
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == nullptr) {
    return ENOMEM;
  }
  *out = pointer;
  return 0;
}

}  // extern "C"

namespace qxbench {

uint64_t AllocationCount() { return allocations; }

bool AllocationCounterWorks() {
  const uint64_t before = AllocationCount();
  // Called as functions, not through new-expressions or a known malloc
  // call, which a compiler may leave out when the memory is never used.
  void* (*const allocate)(std::size_t) = std::malloc;
  void* from_malloc = allocate(16);
  benchmark::DoNotOptimize(from_malloc);
  const bool malloc_counted = AllocationCount() == before + 1;
  void* from_new = ::operator new(16);
  benchmark::DoNotOptimize(from_new);
  const bool new_counted = AllocationCount() == before + 2;
  ::operator delete(from_new);
  std::free(from_malloc);
  return malloc_counted && new_counted;
}

}  // namespace qxbench
