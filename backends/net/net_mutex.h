// A mutex and its scoped guard that clang's thread-safety analysis knows,
// so every field of the network library says which lock guards it.
#ifndef QXPLAYSDK_BACKENDS_NET_NET_MUTEX_H
#define QXPLAYSDK_BACKENDS_NET_NET_MUTEX_H

#include <condition_variable>
#include <mutex>

#include "core/thread_annotations.h"

namespace qx::net {

class QX_CAPABILITY("mutex") Mutex {
 public:
  void lock() QX_ACQUIRE() { mutex_.lock(); }
  void unlock() QX_RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

class QX_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) QX_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() QX_RELEASE() { mutex_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  Mutex& mutex() { return mutex_; }

 private:
  Mutex& mutex_;
};

// Waits take the Mutex itself (std::condition_variable_any unlocks and
// relocks it around the wait).
using Condition = std::condition_variable_any;

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_NET_MUTEX_H
