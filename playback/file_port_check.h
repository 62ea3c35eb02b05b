// The check of the exports that only a file port accepts and that look at the
// file mode before the slot state: a free port, whose source mode is none,
// is reported as not being a file.
#ifndef QXPLAYSDK_PLAYBACK_FILE_PORT_CHECK_H
#define QXPLAYSDK_PLAYBACK_FILE_PORT_CHECK_H

#include <cstdint>

#include "core/port_table.h"
#include "qxplaysdk.h"

namespace qx {

// Range (-2), then file mode (-7), then slot state (-2); 0 when all pass.
inline int32_t CheckFileModeBeforeSlotState(int32_t port) {
  if (!IsLocalPort(port)) {
    return OVRA_PARAM_ERROR;
  }
  const PortWords words = ReadPortWords(port);
  if (words.source_mode != kSourceFile) {
    return OVRA_NEED_FILE_MODE;
  }
  if (words.slot_state == kSlotFree) {
    return OVRA_PARAM_ERROR;
  }
  return OVRA_OK;
}

}  // namespace qx

#endif  // QXPLAYSDK_PLAYBACK_FILE_PORT_CHECK_H
