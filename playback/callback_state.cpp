#include "playback/callback_state.h"

#include <array>
#include <atomic>

#include "core/port_table.h"

namespace qx {
namespace {

std::atomic<OvraDrawFun> draw_function{nullptr};
std::atomic<OvraFileEndCallback> file_end_callback{nullptr};

// A port's gate on a cache line of its own: it is written for every frame,
// by the thread delivering that port's frames.
struct alignas(kCacheLineSize) PortDecodeState {
  DecodeGate gate;
};

std::array<PortDecodeState, kPortCount> decode_states{};

}  // namespace

OvraDrawFun LoadDrawFunction() { return draw_function.load(std::memory_order_acquire); }
void StoreDrawFunction(OvraDrawFun function) {
  draw_function.store(function, std::memory_order_release);
}

OvraFileEndCallback LoadFileEndCallback() {
  return file_end_callback.load(std::memory_order_acquire);
}
void StoreFileEndCallback(OvraFileEndCallback callback) {
  file_end_callback.store(callback, std::memory_order_release);
}

DecodeGate& DecodeGateOf(int32_t port) {
  return decode_states[static_cast<std::size_t>(port)].gate;
}

OvraDecodeCallback LoadDecodeCallback(int32_t port) { return DecodeGateOf(port).callback(); }

void ResetCallbackState() {
  StoreDrawFunction(nullptr);
  StoreFileEndCallback(nullptr);
  for (int32_t port = 0; port < kPortCount; ++port) {
    DecodeGateOf(port).Clear();
    DecodeGateOf(port).WaitForRetired();
  }
}

}  // namespace qx
