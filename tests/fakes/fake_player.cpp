// Fake player library: records each call and answers its scripted result
// (default: 1, the player's success; getters answer 0).
#include "tests/fakes/recorder.h"

namespace {

int32_t Answer(const char* name, std::vector<fake::Arg> args, int64_t fallback = 1) {
  return static_cast<int32_t>(fake::Record(fake::Call{name, std::move(args)}, fallback));
}

}  // namespace

extern "C" {

int32_t QX_BACKEND_CALL player_open_file(int32_t port, const char* file_name) {
  return Answer("player_open_file", {fake::Int(port), fake::Text(file_name)});
}
int32_t QX_BACKEND_CALL player_close_file(int32_t port) {
  return Answer("player_close_file", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_open_stream(int32_t port, const void* initial_block,
                                           uint32_t initial_length, uint32_t buffer_size) {
  return Answer("player_open_stream", {fake::Int(port), fake::Pointer(initial_block),
                                       fake::Int(initial_length), fake::Int(buffer_size)});
}
int32_t QX_BACKEND_CALL player_input_data(int32_t port, const void* data, uint32_t length) {
  return Answer("player_input_data", {fake::Int(port), fake::Pointer(data), fake::Int(length)});
}
int32_t QX_BACKEND_CALL player_close_stream(int32_t port) {
  return Answer("player_close_stream", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_play(int32_t port, void* window) {
  return Answer("player_play", {fake::Int(port), fake::Pointer(window)});
}
int32_t QX_BACKEND_CALL player_stop(int32_t port) {
  return Answer("player_stop", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_pause(int32_t port, uint32_t pause) {
  return Answer("player_pause", {fake::Int(port), fake::Int(pause)});
}
int32_t QX_BACKEND_CALL player_faster(int32_t port) {
  return Answer("player_faster", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_slower(int32_t port) {
  return Answer("player_slower", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_step_forward(int32_t port) {
  return Answer("player_step_forward", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_step_back(int32_t port) {
  return Answer("player_step_back", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_set_position(int32_t port, float position) {
  return Answer("player_set_position", {fake::Int(port), fake::Real(position)});
}
float QX_BACKEND_CALL player_get_position(int32_t port) {
  fake::Record(fake::Call{"player_get_position", {fake::Int(port)}}, 0);
  return fake::ScriptedPosition();
}
uint32_t QX_BACKEND_CALL player_get_total_frames(int32_t port) {
  return static_cast<uint32_t>(
      fake::Record(fake::Call{"player_get_total_frames", {fake::Int(port)}}, 0));
}
uint32_t QX_BACKEND_CALL player_get_played_frames(int32_t port) {
  return static_cast<uint32_t>(
      fake::Record(fake::Call{"player_get_played_frames", {fake::Int(port)}}, 0));
}
int32_t QX_BACKEND_CALL player_set_current_frame(int32_t port, uint32_t frame) {
  return Answer("player_set_current_frame", {fake::Int(port), fake::Int(frame)});
}
int32_t QX_BACKEND_CALL player_capture_picture(int32_t port, const char* file_name) {
  return Answer("player_capture_picture", {fake::Int(port), fake::Text(file_name)});
}
int32_t QX_BACKEND_CALL player_set_colour(int32_t port, int32_t region, int32_t brightness,
                                          int32_t contrast, int32_t saturation, int32_t hue) {
  return Answer("player_set_colour", {fake::Int(port), fake::Int(region), fake::Int(brightness),
                                      fake::Int(contrast), fake::Int(saturation), fake::Int(hue)});
}
int32_t QX_BACKEND_CALL player_get_colour(int32_t port, int32_t region, int32_t* brightness,
                                          int32_t* contrast, int32_t* saturation, int32_t* hue) {
  int32_t result = Answer("player_get_colour",
                          {fake::Int(port), fake::Int(region), fake::Pointer(brightness),
                           fake::Pointer(contrast), fake::Pointer(saturation), fake::Pointer(hue)});
  auto values = fake::ScriptedColourValues();
  int32_t* targets[] = {brightness, contrast, saturation, hue};
  for (int i = 0; i < 4; ++i) {
    if (targets[i] != nullptr) {
      *targets[i] = values[static_cast<std::size_t>(i)];
    }
  }
  return result;
}
int32_t QX_BACKEND_CALL player_play_sound(int32_t port) {
  return Answer("player_play_sound", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_stop_sound(void) { return Answer("player_stop_sound", {}); }
int32_t QX_BACKEND_CALL player_set_volume(int32_t port, uint16_t volume) {
  return Answer("player_set_volume", {fake::Int(port), fake::Int(volume)});
}
uint16_t QX_BACKEND_CALL player_get_volume(int32_t port) {
  return static_cast<uint16_t>(fake::Record(fake::Call{"player_get_volume", {fake::Int(port)}}, 0));
}
int32_t QX_BACKEND_CALL player_set_draw_callback(int32_t port, PlayerDrawCallback callback,
                                                 uintptr_t user) {
  fake::RegisterDraw(port, {callback, user});
  return Answer("player_set_draw_callback",
                {fake::Int(port), fake::Pointer(reinterpret_cast<const void*>(callback)),
                 fake::Int(static_cast<int64_t>(user))});
}
int32_t QX_BACKEND_CALL player_set_file_end_callback(int32_t port, PlayerFileEndCallback callback,
                                                     uintptr_t user) {
  fake::RegisterFileEnd(port, {callback, user});
  return Answer("player_set_file_end_callback",
                {fake::Int(port), fake::Pointer(reinterpret_cast<const void*>(callback)),
                 fake::Int(static_cast<int64_t>(user))});
}
int32_t QX_BACKEND_CALL player_set_decode_callback(int32_t port, PlayerDecodeCallback callback,
                                                   uintptr_t user) {
  fake::RegisterDecode(port, {callback, user});
  return Answer("player_set_decode_callback",
                {fake::Int(port), fake::Pointer(reinterpret_cast<const void*>(callback)),
                 fake::Int(static_cast<int64_t>(user))});
}
int32_t QX_BACKEND_CALL player_select_decode_stream(int32_t port, int32_t stream) {
  return Answer("player_select_decode_stream", {fake::Int(port), fake::Int(stream)});
}
int32_t QX_BACKEND_CALL player_start_record(int32_t port, const char* file_name, int32_t mode) {
  return Answer("player_start_record", {fake::Int(port), fake::Text(file_name), fake::Int(mode)});
}
int32_t QX_BACKEND_CALL player_stop_record(int32_t port) {
  return Answer("player_stop_record", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL player_open_audio_capture(PlayerCaptureCallback callback,
                                                  int32_t bits_per_sample, int32_t sample_rate,
                                                  int32_t block_size, int32_t reserved,
                                                  uintptr_t user) {
  fake::RegisterCapture({callback, user});
  return Answer("player_open_audio_capture",
                {fake::Pointer(reinterpret_cast<const void*>(callback)), fake::Int(bits_per_sample),
                 fake::Int(sample_rate), fake::Int(block_size), fake::Int(reserved),
                 fake::Int(static_cast<int64_t>(user))});
}
int32_t QX_BACKEND_CALL player_input_audio(int32_t port, const void* data, uint32_t length) {
  return Answer("player_input_audio", {fake::Int(port), fake::Pointer(data), fake::Int(length)});
}
int32_t QX_BACKEND_CALL player_close_audio_capture(void) {
  return Answer("player_close_audio_capture", {});
}

}  // extern "C"
