#include "backends/media/address_space.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace qx::media {

namespace {

// The process's address space in use, from the kernel's own count.
std::optional<uint64_t> AddressSpaceUsed() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return std::nullopt;
  unsigned long long pages = 0;
  const int read = std::fscanf(statm, "%llu", &pages);
  std::fclose(statm);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (read != 1 || page_size <= 0) return std::nullopt;
  return pages * static_cast<uint64_t>(page_size);
}

}  // namespace

std::optional<uint64_t> AddressSpaceLeft() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  const std::optional<uint64_t> used = AddressSpaceUsed();
  if (!used) return std::nullopt;
  const auto allowed = static_cast<uint64_t>(limit.rlim_cur);
  return allowed > *used ? allowed - *used : 0;
}

uint64_t ThreadStackBytes() {
  constexpr uint64_t kGlibcDefault = 8u << 20;
  pthread_attr_t attributes;
  if (pthread_getattr_default_np(&attributes) != 0) return kGlibcDefault;
  size_t size = 0;
  const int result = pthread_attr_getstacksize(&attributes, &size);
  pthread_attr_destroy(&attributes);
  return result == 0 && size > 0 ? size : kGlibcDefault;
}

}  // namespace qx::media
