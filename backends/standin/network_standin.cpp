// Stand-in network library: logins, playbacks and downloads succeed with
// handle 1; the download position is 0.
#include "backends/network.h"

extern "C" {

int32_t QX_BACKEND_CALL net_init(void) { return 1; }
int32_t QX_BACKEND_CALL net_cleanup(void) { return 1; }
int32_t QX_BACKEND_CALL net_login(const char*, uint16_t, const char*, const char*, void*) {
  return 1;
}
int32_t QX_BACKEND_CALL net_logout(int32_t) { return 1; }
int32_t QX_BACKEND_CALL net_playback_by_name(int32_t, const char*, void*) { return 1; }
int32_t QX_BACKEND_CALL net_playback_by_time(int32_t, int32_t, const NetDateTime*,
                                             const NetDateTime*, void*) {
  return 1;
}
int32_t QX_BACKEND_CALL net_playback_control(int32_t, int32_t, int32_t, int32_t*) { return 1; }
int32_t QX_BACKEND_CALL net_stop_playback(int32_t) { return 1; }
int32_t QX_BACKEND_CALL net_download_by_name(int32_t, const char*, const char*) { return 1; }
int32_t QX_BACKEND_CALL net_download_by_time(int32_t, int32_t, const NetDateTime*,
                                             const NetDateTime*, const char*) {
  return 1;
}
int32_t QX_BACKEND_CALL net_stop_download(int32_t) { return 1; }
int32_t QX_BACKEND_CALL net_get_download_pos(int32_t) { return 0; }

}  // extern "C"
