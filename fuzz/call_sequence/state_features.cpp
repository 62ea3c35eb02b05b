#include "fuzz/call_sequence/state_features.h"

#include <cstddef>

// libFuzzer reads this section as additional coverage counters and clears
// it before every input.
__attribute__((section("__libfuzzer_extra_counters"), used)) uint8_t qxfuzz_state_counters[1 << 16];

namespace qxfuzz {
namespace {

void Count(uint64_t feature) {
  feature *= 0x9E3779B97F4A7C15ull;  // spreads neighbouring features
  uint8_t& counter = qxfuzz_state_counters[(feature >> 40) % sizeof(qxfuzz_state_counters)];
  if (counter < 255) {
    ++counter;
  }
}

}  // namespace

uint32_t PortStateKey(const Model& model, int32_t port) {
  if (port == 99) {
    return 0x100u | (model.voice_open ? 1u : 0u);
  }
  if (port < 0 || port >= Model::kSlots) {
    return 0x200u;
  }
  const SlotModel& slot = model.slots[static_cast<std::size_t>(port)];
  return (slot.taken ? 1u : 0u) | static_cast<uint32_t>(slot.source & 3) << 1 |
         static_cast<uint32_t>(slot.media & 3) << 3 |
         static_cast<uint32_t>(slot.recording & 1) << 5 |
         (slot.decode_function != 0 ? 1u : 0u) << 6 | (port <= 32 ? 1u : 0u) << 7;
}

void CountStep(uint32_t previous_operation, uint32_t operation, uint32_t port_state,
               int32_t result) {
  const uint64_t code = static_cast<uint32_t>(-result) & 0xFFu;
  Count(1ull << 60 | uint64_t{operation} << 24 | code << 12 | port_state);
  Count(2ull << 60 | uint64_t{previous_operation} << 24 | uint64_t{operation} << 12 | code);
}

}  // namespace qxfuzz
