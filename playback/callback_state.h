// The caller's notification functions and the per-port decode state.
//
// The draw function and the file-end callback are held once for the whole
// process: the last registration, made on whatever port, serves every port.
// They are single words read by the trampolines without a lock, so a
// notification racing a registration reaches the old or the new function.
//
// Each local port has a decode callback and a decode frame counter, written
// only while the port's lock is held. The decode trampoline reads the
// callback once without the lock, only to spare the lock when none is set.
#ifndef QXPLAYSDK_PLAYBACK_CALLBACK_STATE_H
#define QXPLAYSDK_PLAYBACK_CALLBACK_STATE_H

#include <cstdint>

#include "core/port_table.h"
#include "qxplaysdk.h"

namespace qx {

OvraDrawFun LoadDrawFunction();
void StoreDrawFunction(OvraDrawFun function);
OvraFileEndCallback LoadFileEndCallback();
void StoreFileEndCallback(OvraFileEndCallback callback);

// Decode callback and counter of a port 0..97. The counter accessors, the
// store and ClearDecodeState require the port's lock to be held.
OvraDecodeCallback LoadDecodeCallback(int32_t port);
void StoreDecodeCallback(int32_t port, OvraDecodeCallback callback) QX_REQUIRES(PortLock(port));
// Returns the counter and advances it by one, wrapping modulo 2^32.
uint32_t TakeDecodeSequence(int32_t port) QX_REQUIRES(PortLock(port));
// Ovra_Stop's reset: no callback, numbering from 0 again.
void ClearDecodeState(int32_t port) QX_REQUIRES(PortLock(port));

}  // namespace qx

#endif  // QXPLAYSDK_PLAYBACK_CALLBACK_STATE_H
