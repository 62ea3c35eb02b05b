// Handles of the network library (logins, downloads, playbacks): positive,
// unique for the life of the process, never reused.
#ifndef QXPLAYSDK_BACKENDS_NET_HANDLE_REGISTRY_H
#define QXPLAYSDK_BACKENDS_NET_HANDLE_REGISTRY_H

#include <cstdint>
#include <limits>
#include <map>
#include <memory>

#include "backends/net/net_mutex.h"

namespace qx::net {

template <typename Item>
class HandleRegistry {
 public:
  // The next handle; 0 once all positive 32-bit numbers have been used.
  int32_t Reserve() {
    MutexLock lock(mutex_);
    if (next_ <= 0) return 0;
    const int32_t handle = next_;
    next_ = handle == std::numeric_limits<int32_t>::max() ? 0 : handle + 1;
    return handle;
  }
  void Add(int32_t handle, std::shared_ptr<Item> item) {
    MutexLock lock(mutex_);
    items_[handle] = std::move(item);
  }
  std::shared_ptr<Item> Find(int32_t handle) const {
    MutexLock lock(mutex_);
    auto found = items_.find(handle);
    return found == items_.end() ? nullptr : found->second;
  }
  std::shared_ptr<Item> Remove(int32_t handle) {
    MutexLock lock(mutex_);
    auto found = items_.find(handle);
    if (found == items_.end()) return nullptr;
    std::shared_ptr<Item> item = std::move(found->second);
    items_.erase(found);
    return item;
  }

 private:
  mutable Mutex mutex_;
  int32_t next_ QX_GUARDED_BY(mutex_) = 1;
  std::map<int32_t, std::shared_ptr<Item>> items_ QX_GUARDED_BY(mutex_);
};

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_HANDLE_REGISTRY_H
