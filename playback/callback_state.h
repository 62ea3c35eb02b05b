// The caller's notification functions and the per-port decode state.
//
// The draw function and the file-end callback are held once for the whole
// process: the last registration, made on whatever port, serves every port.
// They are single words read by the trampolines without a lock, so a
// notification racing a registration reaches the old or the new function.
//
// Each port has a decode callback and a decode frame counter, kept by its
// decode gate (core/decode_gate.h) in the port's record of the table.
#ifndef QXPLAYSDK_PLAYBACK_CALLBACK_STATE_H
#define QXPLAYSDK_PLAYBACK_CALLBACK_STATE_H

#include <cstdint>

#include "core/decode_gate.h"
#include "qxplaysdk.h"

namespace qx {

OvraDrawFun LoadDrawFunction();
void StoreDrawFunction(OvraDrawFun function);
OvraFileEndCallback LoadFileEndCallback();
void StoreFileEndCallback(OvraFileEndCallback callback);

// The decode gate of a port 0..97.
DecodeGate& DecodeGateOf(int32_t port);
OvraDecodeCallback LoadDecodeCallback(int32_t port);

}  // namespace qx

#endif  // QXPLAYSDK_PLAYBACK_CALLBACK_STATE_H
