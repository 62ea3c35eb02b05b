// Runs the body of an engine thread (or of SDL's audio callback) so that no
// exception leaves it: one escaping a thread ends the whole process, while
// the usual one, std::bad_alloc once memory runs out, concerns one port or
// one device only. The caller fails what the thread serves when the body
// threw.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_GUARDED_THREAD_H
#define QXPLAYSDK_BACKENDS_MEDIA_GUARDED_THREAD_H

#include <cstdint>
#include <exception>
#include <string_view>

#include "core/log.h"

namespace qx::media {

// False when `body` threw; why is logged as an error of `port` (or
// log::kNoPort) naming `what` stopped.
template <typename Body>
bool RunGuarded(std::string_view what, int32_t port, Body&& body) noexcept {
  try {
    body();
    return true;
  } catch (const std::exception& failure) {
    log::Error("media", port, "{} failed and stopped: {}", what, failure.what());
  } catch (...) {
    log::Error("media", port, "{} failed and stopped: unknown exception", what);
  }
  return false;
}

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_GUARDED_THREAD_H
