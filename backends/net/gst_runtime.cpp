#include "backends/net/gst_runtime.h"

#include <gst/gst.h>

#include <cstdlib>
#include <mutex>

#include "core/log.h"

namespace qx::net {

namespace {

// GStreamer's libraries and elements warn through GLib (a depayloader's
// "Sticky event misordering", a property that does not exist), which would
// print onto the host program's standard error. Their messages go through
// the project's logger instead. GLib's fatal errors still end the process.
constexpr const char* kGstreamerLogDomains[] = {
    "GStreamer",     "GStreamer-Base", "GStreamer-RTSP", "GStreamer-RTP",
    "GStreamer-SDP", "GStreamer-App",  "GStreamer-Net",  "GStreamer-Codecparsers"};

void OnGlibMessage(const gchar* domain, GLogLevelFlags flags, const gchar* message, gpointer) {
  const qx::log::Level level = (flags & G_LOG_LEVEL_CRITICAL) != 0  ? qx::log::Level::kError
                               : (flags & G_LOG_LEVEL_WARNING) != 0 ? qx::log::Level::kWarning
                               : (flags & G_LOG_LEVEL_DEBUG) != 0   ? qx::log::Level::kDebug
                                                                    : qx::log::Level::kInfo;
  if (message != nullptr)
    qx::log::Say(level, "gstreamer", qx::log::kNoPort, "{}: {}", domain, message);
}

void ForwardGlibMessages() {
  constexpr auto kLevels =
      static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                  G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
  for (const char* domain : kGstreamerLogDomains)
    g_log_set_handler(domain, kLevels, &OnGlibMessage, nullptr);
}

}  // namespace

bool EnsureGstreamer() {
  static const bool ready = [] {
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
      qx::log::Error("net", qx::log::kNoPort, "GStreamer cannot start: {}",
                     error != nullptr ? error->message : "unknown reason");
      g_clear_error(&error);
      return false;
    }
    ForwardGlibMessages();
    return true;
  }();
  return ready;
}

std::chrono::milliseconds AnswerTimeout() {
  constexpr long kDefaultMs = 5000;
  // The library never writes the environment, so reading it is safe here.
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  const char* text = std::getenv("QXPLAYSDK_NET_TIMEOUT_MS");
  long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
  return std::chrono::milliseconds(value > 0 ? value : kDefaultMs);
}

}  // namespace qx::net
