#include "tests/support/reset_library.h"

#include "core/port_table.h"
#include "playback/callback_state.h"
#include "playback/issued_speed_steps.h"
#include "record/record_files.h"
#include "remote/remote_slots.h"
#include "talk/voice_state.h"
#include "tests/fakes/fake_backends.h"

namespace qxtest {

void ResetLibrary() {
  fake::Reset();
  qx::ResetPortTableState();
  qx::ResetCallbackState();
  qx::ResetIssuedSpeedSteps();
  qx::ResetRecordState();
  qx::ResetVoiceState();
  qx::ResetRemoteSlotState();
}

}  // namespace qxtest
