// Stand-in 3GPP play library: every operation succeeds (returns 0).
#include "backends/gpp_player.h"

extern "C" {

int32_t QX_BACKEND_CALL gpp_open_stream(int32_t, const void*, uint32_t) { return 0; }
int32_t QX_BACKEND_CALL gpp_close_stream(int32_t) { return 0; }
int32_t QX_BACKEND_CALL gpp_input_data(int32_t, const void*, uint32_t) { return 0; }
int32_t QX_BACKEND_CALL gpp_play(int32_t, void*) { return 0; }
int32_t QX_BACKEND_CALL gpp_stop(int32_t) { return 0; }
int32_t QX_BACKEND_CALL gpp_set_colour(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
  return 0;
}
int32_t QX_BACKEND_CALL gpp_get_colour(int32_t, int32_t, int32_t*, int32_t*, int32_t*, int32_t*) {
  return 0;
}

}  // extern "C"
