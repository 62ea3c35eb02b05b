#include "backends/net/gst_runtime.h"

#include <gst/gst.h>

#include <cstdlib>
#include <mutex>

#include "core/log.h"

namespace qx::net {

bool EnsureGstreamer() {
  static const bool ready = [] {
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
      qx::log::Error("net", qx::log::kNoPort, "GStreamer cannot start: {}",
                     error != nullptr ? error->message : "unknown reason");
      g_clear_error(&error);
      return false;
    }
    return true;
  }();
  return ready;
}

std::chrono::milliseconds AnswerTimeout() {
  constexpr long kDefaultMs = 5000;
  const char* text = std::getenv("QXPLAYSDK_NET_TIMEOUT_MS");
  long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
  return std::chrono::milliseconds(value > 0 ? value : kDefaultMs);
}

}  // namespace qx::net
