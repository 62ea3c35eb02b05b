// Snapshots and colour values of a local port. The snapshot always goes to
// the player library; the colour values go to the backend that serves the
// port (a file port: the player library; a stream port: its media type), and
// a port served by neither has no colour to set or read.
#include "backends/backend_verdicts.h"
#include "backends/gpp_player.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "playback/served_by.h"
#include "qxplaysdk.h"

using namespace qx;

namespace {

// The backends' colour calls take a region before the values; the whole
// picture is region 0.
constexpr int32_t kWholePicture = 0;

}  // namespace

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_CapPic(int32_t port, const char* file_name) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  if (file_name == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  return PlayerSucceeded(player_capture_picture(port, file_name)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_SetColor(int32_t port, int32_t brightness, int32_t contrast,
                                         int32_t saturation, int32_t hue) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  switch (ServingMediaType(port)) {
    case kMediaPlayer:
      return PlayerSucceeded(
                 player_set_colour(port, kWholePicture, brightness, contrast, saturation, hue))
                 ? OVRA_OK
                 : OVRA_PLAYSDK_ERROR;
    case kMedia3gpp:
      return GppSucceeded(
                 gpp_set_colour(port, kWholePicture, brightness, contrast, saturation, hue))
                 ? OVRA_OK
                 : OVRA_3GPPSDK_ERROR;
    default:
      return OVRA_PARAM_ERROR;
  }
}

OVRA_API int32_t OVRA_CALL Ovra_GetColor(int32_t port, int32_t* brightness, int32_t* contrast,
                                         int32_t* saturation, int32_t* hue) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  // The backend writes straight into the caller's variables.
  switch (ServingMediaType(port)) {
    case kMediaPlayer:
      return PlayerSucceeded(
                 player_get_colour(port, kWholePicture, brightness, contrast, saturation, hue))
                 ? OVRA_OK
                 : OVRA_PLAYSDK_ERROR;
    case kMedia3gpp:
      return GppSucceeded(
                 gpp_get_colour(port, kWholePicture, brightness, contrast, saturation, hue))
                 ? OVRA_OK
                 : OVRA_3GPPSDK_ERROR;
    default:
      // Refused like Ovra_SetColor, so the caller never takes its untouched
      // variables for colour values.
      return OVRA_PARAM_ERROR;
  }
}

}  // extern "C"
