#include "playback/issued_speed_steps.h"

#include <atomic>

#include "core/port_record.h"

namespace qx {

int32_t IssuedSpeedSteps(int32_t port) {
  return PortRecordOf(port).issued_speed_steps.load(std::memory_order_relaxed);
}

void SetIssuedSpeedSteps(int32_t port, int32_t steps) {
  PortRecordOf(port).issued_speed_steps.store(steps, std::memory_order_relaxed);
}

}  // namespace qx
