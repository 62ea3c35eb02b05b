// Fake 3GPP play library: records each call and answers its scripted result
// (default: 0, success).
#include "tests/fakes/recorder.h"

namespace {

int32_t Answer(const char* name, std::vector<fake::Arg> args) {
  return static_cast<int32_t>(fake::Record(fake::Call{name, std::move(args)}, 0));
}

}  // namespace

extern "C" {

int32_t QX_BACKEND_CALL gpp_open_stream(int32_t port, const void* initial_block,
                                        uint32_t buffer_size) {
  return Answer("gpp_open_stream",
                {fake::Int(port), fake::Pointer(initial_block), fake::Int(buffer_size)});
}
int32_t QX_BACKEND_CALL gpp_close_stream(int32_t port) {
  return Answer("gpp_close_stream", {fake::Int(port)});
}
int32_t QX_BACKEND_CALL gpp_input_data(int32_t port, const void* data, uint32_t length) {
  return Answer("gpp_input_data", {fake::Int(port), fake::Pointer(data), fake::Int(length)});
}
int32_t QX_BACKEND_CALL gpp_play(int32_t port, void* window) {
  return Answer("gpp_play", {fake::Int(port), fake::Pointer(window)});
}
int32_t QX_BACKEND_CALL gpp_stop(int32_t port) { return Answer("gpp_stop", {fake::Int(port)}); }
int32_t QX_BACKEND_CALL gpp_set_colour(int32_t port, int32_t region, int32_t brightness,
                                       int32_t contrast, int32_t saturation, int32_t hue) {
  return Answer("gpp_set_colour", {fake::Int(port), fake::Int(region), fake::Int(brightness),
                                   fake::Int(contrast), fake::Int(saturation), fake::Int(hue)});
}
int32_t QX_BACKEND_CALL gpp_get_colour(int32_t port, int32_t region, int32_t* brightness,
                                       int32_t* contrast, int32_t* saturation, int32_t* hue) {
  int32_t result = Answer("gpp_get_colour",
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

}  // extern "C"
