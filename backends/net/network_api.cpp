// The network library's operations on GStreamer's RTSP client and the media
// engine. Handles are positive and never reused; an unknown handle is
// harmless everywhere. Date-time records are read as UTC.
//
// Results: net_login returns the login handle, 0 on any failure (wrong
// credentials, unknown host, refused connection, no answer in time).
// Downloads and playbacks return their handle, 0 when they cannot start.
// net_get_download_pos: 0..100, or -1 for a failed download or an unknown
// handle (see Download). net_stop_download and net_stop_playback: 1 for a
// known handle, also a second time, 0 for an unknown one.
// net_playback_control: command 1 plays on at normal speed (1); any other
// command, or an unknown handle, gives 0.
#include <memory>
#include <string>

#include "backends/net/date_time.h"
#include "backends/net/download.h"
#include "backends/net/gst_runtime.h"
#include "backends/net/handle_registry.h"
#include "backends/net/login_check.h"
#include "backends/net/remote_playback.h"
#include "backends/net/rtsp_url.h"
#include "backends/network.h"
#include "core/log.h"

namespace {

using qx::net::Download;
using qx::net::HandleRegistry;
using qx::net::ReceiverOptions;
using qx::net::RemotePlayback;
using qx::net::UrlFields;
using qx::net::UrlKind;

// What a login keeps, in memory only, for as long as it lives.
struct Login {
  std::string host;
  uint16_t port = 0;
  std::string user;
  std::string password;
};

HandleRegistry<Login>& Logins() {
  static HandleRegistry<Login> logins;
  return logins;
}
HandleRegistry<Download>& Downloads() {
  static HandleRegistry<Download> downloads;
  return downloads;
}
HandleRegistry<RemotePlayback>& Playbacks() {
  static HandleRegistry<RemotePlayback> playbacks;
  return playbacks;
}

template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    qx::log::Error("net", qx::log::kNoPort, "out of memory");
    return failure;
  }
}

std::string Text(const char* text) { return text != nullptr ? text : ""; }

UrlFields FieldsOf(const Login& login) {
  UrlFields fields;
  fields.host = login.host;
  fields.port = login.port;
  return fields;
}

ReceiverOptions OptionsFor(const Login& login, std::string url) {
  ReceiverOptions options;
  options.url = std::move(url);
  options.user = login.user;
  options.password = login.password;
  options.timeout = qx::net::AnswerTimeout();
  return options;
}

// The by-name session of a login: nothing for an unknown login or a name
// that is no path on the recorder.
std::unique_ptr<ReceiverOptions> ByName(int32_t login_handle, const char* file_name) {
  std::shared_ptr<Login> login = Logins().Find(login_handle);
  if (!login) {
    qx::log::Warning("net", qx::log::kNoPort, "no login {}", login_handle);
    return nullptr;
  }
  if (file_name == nullptr) return nullptr;
  std::optional<std::string> name = qx::net::EncodeRecordingName(file_name);
  if (!name) {
    qx::log::Warning("net", qx::log::kNoPort, "\"{}\" is no recording name", file_name);
    return nullptr;
  }
  UrlFields fields = FieldsOf(*login);
  fields.name = *name;
  return std::make_unique<ReceiverOptions>(
      OptionsFor(*login, qx::net::ExpandUrl(qx::net::UrlTemplate(UrlKind::kByName), fields)));
}

std::unique_ptr<ReceiverOptions> ByTime(int32_t login_handle, int32_t channel,
                                        const NetDateTime* start, const NetDateTime* end) {
  std::shared_ptr<Login> login = Logins().Find(login_handle);
  if (!login) {
    qx::log::Warning("net", qx::log::kNoPort, "no login {}", login_handle);
    return nullptr;
  }
  std::optional<qx::net::TimeSpan> span = qx::net::SpanOf(start, end);
  if (!span) {
    qx::log::Warning("net", qx::log::kNoPort,
                     "the time span is no span of real instants (or ends before it starts)");
    return nullptr;
  }
  UrlFields fields = FieldsOf(*login);
  fields.channel = channel;
  fields.start = qx::net::ClockText(span->start);
  fields.end = qx::net::ClockText(span->end);
  auto options = std::make_unique<ReceiverOptions>(
      OptionsFor(*login, qx::net::ExpandUrl(qx::net::UrlTemplate(UrlKind::kByTime), fields)));
  options->span = span;
  return options;
}

int32_t StartDownload(std::unique_ptr<ReceiverOptions> options, const char* target) {
  if (!options || target == nullptr || !qx::net::EnsureGstreamer()) return 0;
  const int32_t handle = Downloads().Reserve();
  if (handle == 0) return 0;
  options->handle = handle;
  options->as_fast_as_sent = true;
  std::shared_ptr<Download> download = Download::Start(*options, target);
  if (!download) return 0;
  Downloads().Add(handle, std::move(download));
  return handle;
}

int32_t StartPlayback(std::unique_ptr<ReceiverOptions> options, void* window) {
  if (!options || !qx::net::EnsureGstreamer()) return 0;
  const int32_t handle = Playbacks().Reserve();
  if (handle == 0) return 0;
  options->handle = handle;
  std::unique_ptr<RemotePlayback> playback = RemotePlayback::Start(*options, window);
  if (!playback) return 0;
  Playbacks().Add(handle, std::shared_ptr<RemotePlayback>(std::move(playback)));
  return handle;
}

}  // namespace

extern "C" {

// GStreamer is started once and never torn down (it cannot start again), and
// every login, download and playback owns what it opened; so net_init and
// net_cleanup have nothing to count down to, and may come in any number and
// order without disturbing other logins.
int32_t QX_BACKEND_CALL net_init(void) {
  return Guarded<int32_t>(0, [] { return qx::net::EnsureGstreamer() ? 1 : 0; });
}

int32_t QX_BACKEND_CALL net_cleanup(void) { return 1; }

int32_t QX_BACKEND_CALL net_login(const char* address, uint16_t recorder_port,
                                  const char* user_name, const char* password,
                                  void* /*login_info*/) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    if (address == nullptr || *address == '\0' || !qx::net::EnsureGstreamer()) return 0;
    auto login = std::make_shared<Login>();
    login->host = address;
    login->port = recorder_port;
    login->user = Text(user_name);
    login->password = Text(password);
    const std::string url =
        qx::net::ExpandUrl(qx::net::UrlTemplate(UrlKind::kLogin), FieldsOf(*login));
    qx::net::LoginVerdict verdict =
        qx::net::CheckLogin(url, login->user, login->password, qx::net::AnswerTimeout());
    if (verdict != qx::net::LoginVerdict::kAccepted) {
      qx::log::Warning("net", qx::log::kNoPort, "login to {} {}", url,
                       qx::net::VerdictText(verdict));
      return 0;
    }
    const int32_t handle = Logins().Reserve();
    if (handle == 0) return 0;
    Logins().Add(handle, std::move(login));
    qx::log::Info("net", qx::log::kNoPort, "login {} to {}", handle, url);
    return handle;
  });
}

int32_t QX_BACKEND_CALL net_logout(int32_t login) {
  return Guarded<int32_t>(0, [&] { return Logins().Remove(login) ? 1 : 0; });
}

int32_t QX_BACKEND_CALL net_playback_by_name(int32_t login, const char* file_name, void* window) {
  return Guarded<int32_t>(0, [&] { return StartPlayback(ByName(login, file_name), window); });
}

int32_t QX_BACKEND_CALL net_playback_by_time(int32_t login, int32_t channel,
                                             const NetDateTime* start, const NetDateTime* end,
                                             void* window) {
  return Guarded<int32_t>(
      0, [&] { return StartPlayback(ByTime(login, channel, start, end), window); });
}

int32_t QX_BACKEND_CALL net_playback_control(int32_t playback, int32_t command, int32_t /*value*/,
                                             int32_t* /*out_value*/) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    constexpr int32_t kPlayNormal = 1;
    std::shared_ptr<RemotePlayback> found = Playbacks().Find(playback);
    if (!found || command != kPlayNormal) return 0;
    return found->Resume() ? 1 : 0;
  });
}

int32_t QX_BACKEND_CALL net_stop_playback(int32_t playback) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    std::shared_ptr<RemotePlayback> found = Playbacks().Find(playback);
    if (!found) return 0;
    found->Stop();
    return 1;
  });
}

int32_t QX_BACKEND_CALL net_download_by_name(int32_t login, const char* file_name,
                                             const char* target) {
  return Guarded<int32_t>(0, [&] { return StartDownload(ByName(login, file_name), target); });
}

int32_t QX_BACKEND_CALL net_download_by_time(int32_t login, int32_t channel,
                                             const NetDateTime* start, const NetDateTime* end,
                                             const char* target) {
  return Guarded<int32_t>(
      0, [&] { return StartDownload(ByTime(login, channel, start, end), target); });
}

int32_t QX_BACKEND_CALL net_stop_download(int32_t download) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    std::shared_ptr<Download> found = Downloads().Find(download);
    if (!found) return 0;
    found->Stop();
    return 1;
  });
}

int32_t QX_BACKEND_CALL net_get_download_pos(int32_t download) {
  return Guarded<int32_t>(-1, [&]() -> int32_t {
    std::shared_ptr<Download> found = Downloads().Find(download);
    return found ? found->Position() : -1;
  });
}

}  // extern "C"
