// The ports a backend library has open, by port number.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PORT_REGISTRY_H
#define QXPLAYSDK_BACKENDS_MEDIA_PORT_REGISTRY_H

#include <cstdint>
#include <exception>
#include <map>
#include <memory>

#include "backends/media/mutex.h"

#include "backends/media/library_logs.h"

namespace qx::media {

template <typename Port>
class PortRegistry {
 public:
  // False when the number is already in use.
  bool Add(int32_t number, std::shared_ptr<Port> port) {
    MutexLock guard(&mutex_);
    return ports_.emplace(number, std::move(port)).second;
  }
  std::shared_ptr<Port> Find(int32_t number) const {
    MutexLock guard(&mutex_);
    auto found = ports_.find(number);
    return found == ports_.end() ? nullptr : found->second;
  }
  std::shared_ptr<Port> Remove(int32_t number) {
    MutexLock guard(&mutex_);
    auto found = ports_.find(number);
    if (found == ports_.end()) return nullptr;
    std::shared_ptr<Port> port = std::move(found->second);
    ports_.erase(found);
    return port;
  }
  bool Contains(int32_t number) const { return Find(number) != nullptr; }
  // Registers a port that was just opened. Another thread may have opened
  // the same number in the meantime: the newcomer is then closed again (its
  // thread ended) and false returned. Also false for a port that did not
  // open.
  bool AddOpened(int32_t number, const std::shared_ptr<Port>& port) {
    if (!port) return false;
    if (Add(number, port)) return true;
    port->Close();
    return false;
  }

 private:
  mutable Mutex mutex_;
  std::map<int32_t, std::shared_ptr<Port>> ports_ QX_GUARDED_BY(mutex_);
};

// Runs a C operation's body; an exception (memory exhausted) becomes the
// operation's failure value instead of crossing the C boundary. Every
// operation enters the engine here, so this is also where FFmpeg's and SDL's
// messages are first routed to the logger.
template <typename Result, typename Body>
Result Guarded(Result failure, Body&& body) noexcept {
  try {
    ForwardLibraryLogs();
    return body();
  } catch (const std::exception& error) {
    LogEscapedException(error.what());
    return failure;
  } catch (...) {
    LogEscapedException("unknown exception");
    return failure;
  }
}

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PORT_REGISTRY_H
