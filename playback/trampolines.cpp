#include "playback/trampolines.h"

#include <cstring>
#include <optional>

#include "core/port_table.h"
#include "playback/callback_state.h"

namespace qx {
namespace {

// The record handed to the caller: zeroed first, so that nothing of the
// stack leaks through a field this build does not fill.
DecodeFrameInfo BuildFrameInfo(const PlayerFrameInfo* frame_info, uint32_t sequence,
                               uintptr_t value2, uintptr_t value3) {
  DecodeFrameInfo info;
  std::memset(&info, 0, sizeof info);
  info.marker = 1;
  info.sequence = sequence;
  info.extra_a = value2;
  info.extra_b = value3;
  // The player always describes its frame; should it ever pass none, the
  // frame still goes out, with its description words left at zero.
  if (frame_info != nullptr) {
    info.info_c = frame_info->info_c;
    info.info_e = frame_info->info_e;
    info.info_a = frame_info->info_a;
    info.info_b = frame_info->info_b;
  }
  return info;
}

}  // namespace

// Each trampoline returns into the player library, which knows nothing of
// C++ exceptions: whatever a caller's function throws ends here.

void QX_BACKEND_CALL DrawTrampoline(int32_t port, uintptr_t value2, uintptr_t value3) {
  try {
    // One read: a registration racing this notification gives the old or
    // the new function, never a null one.
    if (OvraDrawFun draw = LoadDrawFunction(); draw != nullptr) {
      draw(port, value2, value3);
    }
  } catch (...) {
  }
}

void QX_BACKEND_CALL FileEndTrampoline(int32_t port, uintptr_t value2) {
  try {
    if (OvraFileEndCallback file_end = LoadFileEndCallback(); file_end != nullptr) {
      file_end(port, value2);
    }
  } catch (...) {
  }
}

void QX_BACKEND_CALL DecodeTrampoline(int32_t port, uintptr_t value2, uintptr_t value3,
                                      const PlayerFrameInfo* frame_info, uintptr_t user,
                                      uintptr_t /*value6*/) {
  // The port indexes the per-port state: a number outside the table is
  // dropped before anything is read.
  if (!IsTablePort(port)) {
    return;
  }
  // No lock of the library is held while the caller's function runs: it
  // may call any export on any port. The gate makes Ovra_Stop and
  // Ovra_SetDecodeCallback of this port wait for the call all the same.
  DecodeGate& gate = DecodeGateOf(port);
  std::optional<DecodeGate::Delivery> delivery;
  try {
    delivery = gate.Enter();
  } catch (...) {
    return;  // no memory to note the call: the frame is dropped
  }
  if (!delivery) {
    return;  // no callback set: the frame is not counted
  }
  try {
    const DecodeFrameInfo info = BuildFrameInfo(frame_info, delivery->sequence, value2, value3);
    delivery->callback(port, &info, user);
  } catch (...) {
  }
  gate.Leave();
}

}  // namespace qx
