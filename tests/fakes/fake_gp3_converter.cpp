// Fake 3GP converter: records each call and answers its scripted result
// (default: 0, success).
#include "tests/fakes/recorder.h"

namespace {

int32_t Answer(const char* name, std::vector<fake::Arg> args) {
  return static_cast<int32_t>(fake::Record(fake::Call{name, std::move(args)}, 0));
}

}  // namespace

extern "C" {

int32_t QX_BACKEND_CALL conv_start(int32_t port, const char* file_name) {
  return Answer("conv_start", {fake::Int(port), fake::Text(file_name)});
}
int32_t QX_BACKEND_CALL conv_input_data(int32_t port, const void* data, uint32_t length) {
  return Answer("conv_input_data", {fake::Int(port), fake::Pointer(data), fake::Int(length)});
}
int32_t QX_BACKEND_CALL conv_switch_file(int32_t port, const char* new_file_name) {
  return Answer("conv_switch_file", {fake::Int(port), fake::Text(new_file_name)});
}
int32_t QX_BACKEND_CALL conv_stop(int32_t port) { return Answer("conv_stop", {fake::Int(port)}); }

}  // extern "C"
