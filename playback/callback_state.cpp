#include "playback/callback_state.h"

#include <array>
#include <atomic>

#include "core/port_table.h"

namespace qx {
namespace {

std::atomic<OvraDrawFun> draw_function{nullptr};
std::atomic<OvraFileEndCallback> file_end_callback{nullptr};

std::array<std::atomic<OvraDecodeCallback>, kPortCount> decode_callbacks{};
std::array<uint32_t, kPortCount> decode_counters{};

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
  return decode_callbacks[static_cast<std::size_t>(port)].load(std::memory_order_acquire);
}
void StoreDecodeCallback(int32_t port, OvraDecodeCallback callback) {
  decode_callbacks[static_cast<std::size_t>(port)].store(callback, std::memory_order_release);
}

uint32_t TakeDecodeSequence(int32_t port) {
  return decode_counters[static_cast<std::size_t>(port)]++;
}

void ClearDecodeState(int32_t port) {
  decode_counters[static_cast<std::size_t>(port)] = 0;
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
