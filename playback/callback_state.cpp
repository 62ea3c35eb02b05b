#include "playback/callback_state.h"

#include <array>
#include <atomic>

#include "core/port_table.h"

namespace qx {
namespace {

std::atomic<OvraDrawFun> draw_function{nullptr};
std::atomic<OvraFileEndCallback> file_end_callback{nullptr};

// A port's decode callback and counter, on a cache line of their own: the
// counter is written for every frame, by the thread delivering that port's
// frames.
struct alignas(kCacheLineSize) PortDecodeState {
  std::atomic<OvraDecodeCallback> callback{nullptr};
  uint32_t counter = 0;
};

std::array<PortDecodeState, kPortCount> decode_states{};

PortDecodeState& DecodeStateOf(int32_t port) {
  return decode_states[static_cast<std::size_t>(port)];
}

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

OvraDecodeCallback LoadDecodeCallback(int32_t port) {
  return DecodeStateOf(port).callback.load(std::memory_order_acquire);
}
void StoreDecodeCallback(int32_t port, OvraDecodeCallback callback) {
  DecodeStateOf(port).callback.store(callback, std::memory_order_release);
}

uint32_t TakeDecodeSequence(int32_t port) { return DecodeStateOf(port).counter++; }

void ClearDecodeState(int32_t port) {
  DecodeStateOf(port).counter = 0;
  StoreDecodeCallback(port, nullptr);
}

void ResetCallbackState() {
  StoreDrawFunction(nullptr);
  StoreFileEndCallback(nullptr);
  for (int32_t port = 0; port < kPortCount; ++port) {
    SectionGuard guard(&PortLock(port));
    ClearDecodeState(port);
  }
}

}  // namespace qx
