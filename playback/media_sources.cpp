// Media sources: opening and closing files and live streams on local ports,
// and feeding stream data.
#include "backends/backend_verdicts.h"
#include "backends/gpp_player.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "playback/issued_speed_steps.h"
#include "qxplaysdk.h"
#include "record/conversion_feed.h"

using namespace qx;

namespace {

// A close of the other kind than the port's source (Ovra_CloseFile on a
// stream, Ovra_CloseStream on a file) is refused by the backend; the port
// is freed all the same, so the backend must give up the number too, or the
// number's next open would find it still held there.
void ReleaseStreamTheBackendHolds(int32_t port) {
  if (GetSourceMode(port) != kSourceStream) {
    return;
  }
  switch (GetMediaType(port)) {
    case kMediaPlayer:
      player_close_stream(port);
      break;
    case kMedia3gpp:
      gpp_close_stream(port);
      break;
    default:
      break;
  }
}

void ReleaseFileTheBackendHolds(int32_t port) {
  if (GetSourceMode(port) == kSourceFile) {
    player_close_file(port);
  }
}

}  // namespace

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_OpenFile(int32_t* port, const char* file_name) {
  if (file_name == nullptr || port == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  int32_t taken = 0;
  if (TakeLocalPort(&taken) != 0) {
    return OVRA_NO_UNUSED_PORT;
  }
  // The caller holds the number from here on, also when the open fails, and
  // gives it back with Ovra_CloseFile.
  *port = taken;
  // A new source plays at normal speed: no speed step is pending.
  ClearIssuedSpeedSteps(taken);
  if (!PlayerSucceeded(player_open_file(taken, file_name))) {
    return OVRA_PLAYSDK_ERROR;
  }
  SetSourceMode(taken, kSourceFile);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_CloseFile(int32_t port) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  const bool closed = PlayerSucceeded(player_close_file(port));
  if (closed) {
    SetSourceMode(port, kSourceNone);
  } else {
    ReleaseStreamTheBackendHolds(port);
  }
  // Released last, so that no other open receives the number while the
  // backend still holds it.
  ReleaseLocalPort(port);
  return closed ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_OpenStream(int32_t* port, const void* initial_block,
                                           uint32_t initial_length, uint32_t buffer_size,
                                           int32_t media_type) {
  if (port == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  int32_t taken = 0;
  if (TakeLocalPort(&taken) != 0) {
    return OVRA_NO_UNUSED_PORT;
  }
  *port = taken;
  ClearIssuedSpeedSteps(taken);
  // A buffer size the backend can never take is the caller's argument error,
  // not a backend failure.
  if (media_type == kMediaPlayer) {
    const int32_t result = player_open_stream(taken, initial_block, initial_length, buffer_size);
    SetMediaType(taken, kMediaPlayer);
    if (result == QX_PLAYER_INVALID_ARGUMENT) {
      return OVRA_PARAM_ERROR;
    }
    if (!PlayerSucceeded(result)) {
      return OVRA_PLAYSDK_ERROR;
    }
  } else if (media_type == kMedia3gpp) {
    const int32_t result = gpp_open_stream(taken, initial_block, buffer_size);
    SetMediaType(taken, kMedia3gpp);
    if (result == QX_GPP_INVALID_ARGUMENT) {
      return OVRA_PARAM_ERROR;
    }
    if (!GppSucceeded(result)) {
      return OVRA_3GPPSDK_ERROR;
    }
  } else {
    return OVRA_PARAM_ERROR;
  }
  SetSourceMode(taken, kSourceStream);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_CloseStream(int32_t port) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  int32_t result = OVRA_OK;
  switch (GetMediaType(port)) {
    case kMediaPlayer:
      result = PlayerSucceeded(player_close_stream(port)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
      break;
    case kMedia3gpp:
      result = GppSucceeded(gpp_close_stream(port)) ? OVRA_OK : OVRA_3GPPSDK_ERROR;
      break;
    default:
      return OVRA_PARAM_ERROR;
  }
  if (result != OVRA_OK) {
    ReleaseFileTheBackendHolds(port);
  }
  SetSourceMode(port, kSourceNone);
  ReleaseLocalPort(port);
  return result;
}

OVRA_API int32_t OVRA_CALL Ovra_InputData(int32_t port, const void* data, uint32_t length) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  // A block larger than the whole stream buffer can never be taken and is
  // an argument error (-2); a block that does not fit now is the backend's
  // refusal (-3, -5) and may be offered again.
  switch (GetMediaType(port)) {
    case kMediaPlayer: {
      const int32_t result = player_input_data(port, data, length);
      if (result == QX_PLAYER_INVALID_ARGUMENT) {
        return OVRA_PARAM_ERROR;
      }
      return PlayerSucceeded(result) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
    }
    case kMedia3gpp: {
      const int32_t result = gpp_input_data(port, data, length);
      // A running 3GPP recording gets the block whatever the play library
      // said; the caller still learns only the play library's verdict.
      FeedConversion(port, data, length);
      if (result == QX_GPP_INVALID_ARGUMENT) {
        return OVRA_PARAM_ERROR;
      }
      return GppSucceeded(result) ? OVRA_OK : OVRA_3GPPSDK_ERROR;
    }
    default:
      return OVRA_PARAM_ERROR;
  }
}

}  // extern "C"
