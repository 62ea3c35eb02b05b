// Fake network library: records each call (with copies of the login buffer
// and the date-time records) and answers its scripted result. Defaults:
// login handle 1, playback and download handle 1, clean-up and stops 1,
// download position 0.
#include "tests/fakes/recorder.h"

namespace {

int32_t Answer(const char* name, std::vector<fake::Arg> args, int64_t fallback) {
  return static_cast<int32_t>(fake::Record(fake::Call{name, std::move(args)}, fallback));
}

}  // namespace

extern "C" {

int32_t QX_BACKEND_CALL net_init(void) { return Answer("net_init", {}, 1); }
int32_t QX_BACKEND_CALL net_cleanup(void) { return Answer("net_cleanup", {}, 1); }
int32_t QX_BACKEND_CALL net_login(const char* address, uint16_t recorder_port,
                                  const char* user_name, const char* password, void* login_info) {
  return Answer("net_login",
                {fake::Text(address), fake::Int(recorder_port), fake::Text(user_name),
                 fake::Text(password), fake::Record(login_info, NET_LOGIN_INFO_SIZE)},
                1);
}
int32_t QX_BACKEND_CALL net_logout(int32_t login) {
  return Answer("net_logout", {fake::Int(login)}, 1);
}
int32_t QX_BACKEND_CALL net_playback_by_name(int32_t login, const char* file_name, void* window) {
  return Answer("net_playback_by_name",
                {fake::Int(login), fake::Text(file_name), fake::Pointer(window)}, 1);
}
int32_t QX_BACKEND_CALL net_playback_by_time(int32_t login, int32_t channel,
                                             const NetDateTime* start, const NetDateTime* end,
                                             void* window) {
  return Answer("net_playback_by_time",
                {fake::Int(login), fake::Int(channel), fake::Record(start, sizeof(NetDateTime)),
                 fake::Record(end, sizeof(NetDateTime)), fake::Pointer(window)},
                1);
}
int32_t QX_BACKEND_CALL net_playback_control(int32_t playback, int32_t command, int32_t value,
                                             int32_t* out_value) {
  return Answer("net_playback_control",
                {fake::Int(playback), fake::Int(command), fake::Int(value),
                 fake::Record(out_value, sizeof(int32_t))},
                1);
}
int32_t QX_BACKEND_CALL net_stop_playback(int32_t playback) {
  return Answer("net_stop_playback", {fake::Int(playback)}, 1);
}
int32_t QX_BACKEND_CALL net_download_by_name(int32_t login, const char* file_name,
                                             const char* target) {
  return Answer("net_download_by_name",
                {fake::Int(login), fake::Text(file_name), fake::Text(target)}, 1);
}
int32_t QX_BACKEND_CALL net_download_by_time(int32_t login, int32_t channel,
                                             const NetDateTime* start, const NetDateTime* end,
                                             const char* target) {
  return Answer("net_download_by_time",
                {fake::Int(login), fake::Int(channel), fake::Record(start, sizeof(NetDateTime)),
                 fake::Record(end, sizeof(NetDateTime)), fake::Text(target)},
                1);
}
int32_t QX_BACKEND_CALL net_stop_download(int32_t download) {
  return Answer("net_stop_download", {fake::Int(download)}, 1);
}
int32_t QX_BACKEND_CALL net_get_download_pos(int32_t download) {
  return Answer("net_get_download_pos", {fake::Int(download)}, 0);
}

}  // extern "C"
