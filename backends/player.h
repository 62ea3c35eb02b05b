// The player library `qxplay`: decoding, rendering, sound, snapshots and
// recording of native streams and files, voice capture and playback.
//
// Success is a return of exactly 1 unless the calling export says that any
// nonzero value counts or that the result is not examined. The number in
// brackets after each operation is its ordinal in qxplay.dll.
#ifndef QXPLAYSDK_BACKENDS_PLAYER_H
#define QXPLAYSDK_BACKENDS_PLAYER_H

#include <stdint.h>

#include "backend_api.h"

#ifdef __cplusplus
extern "C" {
#endif

// The player's description of a decoded frame, handed by pointer with each
// decode notification: five 32-bit words at offsets 0, 4, 8, 12 and 16.
typedef struct PlayerFrameInfo {
  uint32_t info_a;
  uint32_t info_b;
  uint32_t info_c;
  uint32_t info_d;
  uint32_t info_e;
} PlayerFrameInfo;

// Notifications the player library makes on its own threads.
typedef void(QX_BACKEND_CALL* PlayerDrawCallback)(int32_t port, uintptr_t value2, uintptr_t value3);
typedef void(QX_BACKEND_CALL* PlayerFileEndCallback)(int32_t port, uintptr_t value2);
typedef void(QX_BACKEND_CALL* PlayerDecodeCallback)(int32_t port, uintptr_t value2,
                                                    uintptr_t value3,
                                                    const PlayerFrameInfo* frame_info,
                                                    uintptr_t user, uintptr_t value6);
typedef void(QX_BACKEND_CALL* PlayerCaptureCallback)(const void* data, uint32_t length,
                                                     uintptr_t user);

// Sources.
QX_BACKEND_API int32_t QX_BACKEND_CALL player_open_file(int32_t port,
                                                        const char* file_name);  // [3]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_close_file(int32_t port);          // [4]
// player_open_stream and player_input_data answer this when an argument can
// never be accepted (a buffer size above the player's maximum, a block larger
// than the whole buffer), unlike 0 for a block that does not fit now and may
// be offered again.
#define QX_PLAYER_INVALID_ARGUMENT (-2)
QX_BACKEND_API int32_t QX_BACKEND_CALL player_open_stream(int32_t port, const void* initial_block,
                                                          uint32_t initial_length,
                                                          uint32_t buffer_size);  // [17]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_input_data(int32_t port, const void* data,
                                                         uint32_t length);  // [18]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_close_stream(int32_t port);   // [19]

// Play control.
QX_BACKEND_API int32_t QX_BACKEND_CALL player_play(int32_t port, void* window);     // [5]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_stop(int32_t port);                   // [6]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_pause(int32_t port, uint32_t pause);  // [7]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_faster(int32_t port);                 // [8]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_slower(int32_t port);                 // [9]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_step_forward(int32_t port);           // [10]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_step_back(int32_t port);              // [55]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_set_position(int32_t port,
                                                           float position);      // [11]
QX_BACKEND_API float QX_BACKEND_CALL player_get_position(int32_t port);          // [12]
QX_BACKEND_API uint32_t QX_BACKEND_CALL player_get_total_frames(int32_t port);   // [29]
QX_BACKEND_API uint32_t QX_BACKEND_CALL player_get_played_frames(int32_t port);  // [23]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_set_current_frame(int32_t port,
                                                                uint32_t frame);  // [57]

// Picture and sound.
QX_BACKEND_API int32_t QX_BACKEND_CALL player_capture_picture(int32_t port,
                                                              const char* file_name);  // [94]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_set_colour(int32_t port, int32_t region,
                                                         int32_t brightness, int32_t contrast,
                                                         int32_t saturation,
                                                         int32_t hue);  // [88]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_get_colour(int32_t port, int32_t region,
                                                         int32_t* brightness, int32_t* contrast,
                                                         int32_t* saturation,
                                                         int32_t* hue);  // [89]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_play_sound(int32_t port);  // [16]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_stop_sound(void);          // [15]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_set_volume(int32_t port,
                                                         uint16_t volume);  // [14]
QX_BACKEND_API uint16_t QX_BACKEND_CALL player_get_volume(int32_t port);    // [47]

// Notifications.
QX_BACKEND_API int32_t QX_BACKEND_CALL player_set_draw_callback(int32_t port,
                                                                PlayerDrawCallback callback,
                                                                uintptr_t user);  // [79]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_set_file_end_callback(int32_t port,
                                                                    PlayerFileEndCallback callback,
                                                                    uintptr_t user);  // [95]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_set_decode_callback(int32_t port,
                                                                  PlayerDecodeCallback callback,
                                                                  uintptr_t user);  // [109]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_select_decode_stream(int32_t port,
                                                                   int32_t stream);  // [69]

// Recording.
QX_BACKEND_API int32_t QX_BACKEND_CALL player_start_record(int32_t port, const char* file_name,
                                                           int32_t mode);  // [96]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_stop_record(int32_t port);   // [97]

// Voice capture and playback.
QX_BACKEND_API int32_t QX_BACKEND_CALL player_open_audio_capture(PlayerCaptureCallback callback,
                                                                 int32_t bits_per_sample,
                                                                 int32_t sample_rate,
                                                                 int32_t block_size,
                                                                 int32_t reserved,
                                                                 uintptr_t user);  // [102]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_input_audio(int32_t port, const void* data,
                                                          uint32_t length);  // [78]
QX_BACKEND_API int32_t QX_BACKEND_CALL player_close_audio_capture(void);     // [103]

#ifdef __cplusplus
}
#endif

#endif  // QXPLAYSDK_BACKENDS_PLAYER_H
