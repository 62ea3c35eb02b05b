// The voice talk channel on the fixed voice port 99: far-end audio played
// through the player library, local capture handed to the caller.
//
// The voice port lies outside the port table and takes no lock; the caller
// serialises opening and closing the channel.
#include "backends/backend_verdicts.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "qxplaysdk.h"
#include "talk/capture_trampoline.h"
#include "talk/voice_state.h"

using namespace qx;

// Every voice operation of the player library reports success as any
// nonzero value (PlayerAccepted).
namespace {

// The player library's stream buffer for far-end audio, in bytes.
constexpr uint32_t kVoiceStreamBufferSize = 614400;

// The capture format the far end expects: 8-bit samples at 8000 Hz, taken
// in blocks of 1024 bytes.
constexpr int32_t kCaptureBitsPerSample = 8;
constexpr int32_t kCaptureSampleRate = 8000;
constexpr int32_t kCaptureBlockSize = 1024;
constexpr int32_t kCaptureReserved = 0;

}  // namespace

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_InitAudio(int32_t* port) {
  if (port == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  // The caller has its port before the player library is asked, also when
  // an opening step then fails.
  *port = kVoicePort;
  // A refused step leaves the earlier ones in place and the channel's state
  // as it was; opening again repeats every step.
  if (!PlayerAccepted(player_open_stream(kVoicePort, nullptr, 0, kVoiceStreamBufferSize))) {
    return OVRA_PLAYSDK_ERROR;
  }
  if (!PlayerAccepted(player_play_sound(kVoicePort))) {
    return OVRA_PLAYSDK_ERROR;
  }
  if (!PlayerAccepted(player_play(kVoicePort, nullptr))) {
    return OVRA_PLAYSDK_ERROR;
  }
  SetVoiceInitialised(true);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_SetAudioInCallback(int32_t port, OvraAudioInCallback callback,
                                                   uintptr_t user) {
  if (port != kVoicePort || callback == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (!IsVoiceInitialised()) {
    return OVRA_AUDIO_NOT_INITIALISED;
  }
  // Stored first: the player library may deliver the first block before
  // the open returns. It stays stored when the open is refused.
  StoreAudioInCallback(callback);
  if (!PlayerAccepted(player_open_audio_capture(CaptureTrampoline, kCaptureBitsPerSample,
                                                kCaptureSampleRate, kCaptureBlockSize,
                                                kCaptureReserved, user))) {
    return OVRA_PLAYSDK_ERROR;
  }
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_InputAudioData(int32_t port, const void* data, uint32_t length) {
  if (port != kVoicePort) {
    return OVRA_PARAM_ERROR;
  }
  if (!IsVoiceInitialised()) {
    return OVRA_AUDIO_NOT_INITIALISED;
  }
  if (data == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  // The audio's format is the player library's and the far end's concern.
  return PlayerAccepted(player_input_audio(kVoicePort, data, length)) ? OVRA_OK
                                                                      : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_CloseAudio(int32_t port) {
  if (port != kVoicePort) {
    return OVRA_PARAM_ERROR;
  }
  if (!IsVoiceInitialised()) {
    return OVRA_AUDIO_NOT_INITIALISED;
  }
  // A refused step ends the close there and the channel stays open, so that
  // the caller can close again. The capture is closed whether or not it was
  // ever opened.
  if (!PlayerAccepted(player_stop(kVoicePort))) {
    return OVRA_PLAYSDK_ERROR;
  }
  if (!PlayerAccepted(player_close_stream(kVoicePort))) {
    return OVRA_PLAYSDK_ERROR;
  }
  if (!PlayerAccepted(player_close_audio_capture())) {
    return OVRA_PLAYSDK_ERROR;
  }
  SetVoiceInitialised(false);
  return OVRA_OK;
}

}  // extern "C"
