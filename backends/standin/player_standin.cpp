// Stand-in player library: answers every operation with success under its
// own convention and does nothing. Getters answer zero.
#include "backends/player.h"

// What player_open_file answers. A build can make a refusing stand-in with
// it, to show which player library a process really loaded.
#ifndef QX_STANDIN_OPEN_FILE_RESULT
#define QX_STANDIN_OPEN_FILE_RESULT 1
#endif

extern "C" {

int32_t QX_BACKEND_CALL player_open_file(int32_t, const char*) {
  return QX_STANDIN_OPEN_FILE_RESULT;
}
int32_t QX_BACKEND_CALL player_close_file(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_open_stream(int32_t, const void*, uint32_t, uint32_t) { return 1; }
int32_t QX_BACKEND_CALL player_input_data(int32_t, const void*, uint32_t) { return 1; }
int32_t QX_BACKEND_CALL player_close_stream(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_play(int32_t, void*) { return 1; }
int32_t QX_BACKEND_CALL player_stop(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_pause(int32_t, uint32_t) { return 1; }
int32_t QX_BACKEND_CALL player_faster(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_slower(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_step_forward(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_step_back(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_set_position(int32_t, float) { return 1; }
float QX_BACKEND_CALL player_get_position(int32_t) { return 0.0F; }
uint32_t QX_BACKEND_CALL player_get_total_frames(int32_t) { return 0; }
uint32_t QX_BACKEND_CALL player_get_played_frames(int32_t) { return 0; }
int32_t QX_BACKEND_CALL player_set_current_frame(int32_t, uint32_t) { return 1; }
int32_t QX_BACKEND_CALL player_capture_picture(int32_t, const char*) { return 1; }
int32_t QX_BACKEND_CALL player_set_colour(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
  return 1;
}
int32_t QX_BACKEND_CALL player_get_colour(int32_t, int32_t, int32_t*, int32_t*, int32_t*,
                                          int32_t*) {
  return 1;
}
int32_t QX_BACKEND_CALL player_play_sound(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_stop_sound(void) { return 1; }
int32_t QX_BACKEND_CALL player_set_volume(int32_t, uint16_t) { return 1; }
uint16_t QX_BACKEND_CALL player_get_volume(int32_t) { return 0; }
int32_t QX_BACKEND_CALL player_set_draw_callback(int32_t, PlayerDrawCallback, uintptr_t) {
  return 1;
}
int32_t QX_BACKEND_CALL player_set_file_end_callback(int32_t, PlayerFileEndCallback, uintptr_t) {
  return 1;
}
int32_t QX_BACKEND_CALL player_set_decode_callback(int32_t, PlayerDecodeCallback, uintptr_t) {
  return 1;
}
int32_t QX_BACKEND_CALL player_select_decode_stream(int32_t, int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_start_record(int32_t, const char*, int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_stop_record(int32_t) { return 1; }
int32_t QX_BACKEND_CALL player_open_audio_capture(PlayerCaptureCallback, int32_t, int32_t, int32_t,
                                                  int32_t, uintptr_t) {
  return 1;
}
int32_t QX_BACKEND_CALL player_input_audio(int32_t, const void*, uint32_t) { return 1; }
int32_t QX_BACKEND_CALL player_close_audio_capture(void) { return 1; }

}  // extern "C"
