#include "playback/callback_state.h"

#include <atomic>

#include "core/port_record.h"

namespace qx {

OvraDrawFun LoadDrawFunction() { return Process().draw_function.load(std::memory_order_acquire); }
void StoreDrawFunction(OvraDrawFun function) {
  Process().draw_function.store(function, std::memory_order_release);
}

OvraFileEndCallback LoadFileEndCallback() {
  return Process().file_end_callback.load(std::memory_order_acquire);
}
void StoreFileEndCallback(OvraFileEndCallback callback) {
  Process().file_end_callback.store(callback, std::memory_order_release);
}

DecodeGate& DecodeGateOf(int32_t port) { return PortRecordOf(port).decode_gate; }

OvraDecodeCallback LoadDecodeCallback(int32_t port) { return DecodeGateOf(port).callback(); }

}  // namespace qx
