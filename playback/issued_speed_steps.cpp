#include "playback/issued_speed_steps.h"

#include <array>
#include <atomic>

#include "core/port_table.h"

namespace qx {
namespace {

std::array<std::atomic<int32_t>, kPortCount> issued_steps{};

}  // namespace

int32_t IssuedSpeedSteps(int32_t port) {
  return issued_steps[static_cast<std::size_t>(port)].load(std::memory_order_relaxed);
}

void SetIssuedSpeedSteps(int32_t port, int32_t steps) {
  issued_steps[static_cast<std::size_t>(port)].store(steps, std::memory_order_relaxed);
}

void ResetIssuedSpeedSteps() {
  for (std::atomic<int32_t>& steps : issued_steps) {
    steps.store(0, std::memory_order_relaxed);
  }
}

}  // namespace qx
