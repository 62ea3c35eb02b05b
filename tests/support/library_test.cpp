#include "tests/support/library_test.h"

#include "core/port_table.h"
#include "playback/callback_state.h"
#include "remote/remote_slots.h"

namespace qxtest {

void ResetLibrary() {
  fake::Reset();
  qx::ResetPortTableState();
  qx::ResetCallbackState();
  qx::ResetRemoteSlotState();
}

}  // namespace qxtest
