#include "playback/trampolines.h"

#include <cstring>

#include "core/port_table.h"
#include "playback/callback_state.h"

namespace qx {

void QX_BACKEND_CALL DrawTrampoline(int32_t port, uintptr_t value2, uintptr_t value3) {
  // One read: a registration racing this notification gives the old or the
  // new function, never a null one.
  if (OvraDrawFun draw = LoadDrawFunction(); draw != nullptr) {
    draw(port, value2, value3);
  }
}

void QX_BACKEND_CALL FileEndTrampoline(int32_t port, uintptr_t value2) {
  if (OvraFileEndCallback file_end = LoadFileEndCallback(); file_end != nullptr) {
    file_end(port, value2);
  }
}

void QX_BACKEND_CALL DecodeTrampoline(int32_t port, uintptr_t value2, uintptr_t value3,
                                      const PlayerFrameInfo* frame_info, uintptr_t user,
                                      uintptr_t /*value6*/) {
  if (!IsTablePort(port)) {
    return;
  }
  // Spares the lock while no callback is set; the read under the lock
  // decides.
  if (LoadDecodeCallback(port) == nullptr) {
    return;
  }
  // Held while the caller's function runs, so that Ovra_Stop of the port
  // waits for it and never returns while the old callback still runs.
  SectionGuard guard(&PortLock(port));
  const OvraDecodeCallback callback = LoadDecodeCallback(port);
  if (callback == nullptr) {
    return;
  }
  DecodeFrameInfo info;
  std::memset(&info, 0, sizeof info);
  info.marker = 1;
  info.info_c = frame_info->info_c;
  info.info_e = frame_info->info_e;
  info.sequence = TakeDecodeSequence(port);
  info.info_a = frame_info->info_a;
  info.info_b = frame_info->info_b;
  info.extra_a = value2;
  info.extra_b = value3;
  callback(port, &info, user);
}

}  // namespace qx
