// The voice channel's process-wide words: whether the channel is open and the
// caller's audio-in callback.
//
// Both are single words read and written without a lock: the exports run on
// the caller's threads and the capture trampoline on the player library's
// capture thread, so a read racing a write sees the old or the new value.
#ifndef QXPLAYSDK_TALK_VOICE_STATE_H
#define QXPLAYSDK_TALK_VOICE_STATE_H

#include "qxplaysdk.h"

namespace qx {

// True from a successful Ovra_InitAudio to a successful Ovra_CloseAudio.
bool IsVoiceInitialised();
void SetVoiceInitialised(bool initialised);

// The function that receives captured voice frames. Once set it stays set:
// closing the channel does not clear it.
OvraAudioInCallback LoadAudioInCallback();
void StoreAudioInCallback(OvraAudioInCallback callback);

}  // namespace qx

#endif  // QXPLAYSDK_TALK_VOICE_STATE_H
