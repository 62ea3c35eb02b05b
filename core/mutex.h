// A plain (not re-entrant) lock and condition variable for the library and
// the media engine: thin wrappers over the standard ones that carry clang's
// capability attributes, so that the clang build
// checks which lock guards which member (GUARDED_BY) and which functions
// expect a lock held (REQUIRES).
//
// A Mutex is not re-entrant. It is taken through a MutexLock, which holds it
// for its scope and may let go of it and take it again inside that scope
// (around a call that must not run under the lock).
#ifndef QXPLAYSDK_CORE_MUTEX_H
#define QXPLAYSDK_CORE_MUTEX_H

#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/thread_annotations.h"

namespace qx {

class QX_CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() QX_ACQUIRE() {
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  void Unlock() QX_RELEASE() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
  // Tells the analysis that the calling thread holds the lock, and checks it
  // in builds with assertions.
  void AssertHeld() const QX_ASSERT_CAPABILITY(this) {
    assert(owner_.load(std::memory_order_relaxed) == std::this_thread::get_id());
  }

 private:
  friend class CondVar;
  std::mutex mutex_;
  // The holder, for AssertHeld; written only by the holder itself.
  std::atomic<std::thread::id> owner_{};
};

class QX_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) QX_ACQUIRE(mutex) : mutex_(mutex) { mutex_->Lock(); }
  ~MutexLock() QX_RELEASE() {
    if (held_) mutex_->Unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  // Lets go of the lock for a while, and takes it again; the destructor
  // releases it only when it is held.
  void Release() QX_RELEASE() {
    mutex_->Unlock();
    held_ = false;
  }
  void Reacquire() QX_ACQUIRE() {
    mutex_->Lock();
    held_ = true;
  }

 private:
  Mutex* mutex_;
  bool held_ = true;
};

// Waits on a condition that a Mutex guards. Every wait names that mutex and
// requires it held; it is released while waiting and held again on return.
// Waits may wake without a notification, so callers wait in a loop over
// their condition.
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  void Wait(Mutex* mutex) QX_REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    mutex->owner_.store(std::thread::id(), std::memory_order_relaxed);
    condition_.wait(lock);
    mutex->owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    lock.release();
  }
  // False when `deadline` passed before a notification came.
  template <typename Clock, typename Duration>
  bool WaitUntil(Mutex* mutex, const std::chrono::time_point<Clock, Duration>& deadline)
      QX_REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex->mutex_, std::adopt_lock);
    mutex->owner_.store(std::thread::id(), std::memory_order_relaxed);
    const bool notified = condition_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    mutex->owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    lock.release();
    return notified;
  }
  template <typename Rep, typename Period>
  bool WaitFor(Mutex* mutex, const std::chrono::duration<Rep, Period>& limit) QX_REQUIRES(mutex) {
    return WaitUntil(mutex, std::chrono::steady_clock::now() + limit);
  }
  void Signal() { condition_.notify_one(); }
  void SignalAll() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
};

}  // namespace qx

#endif  // QXPLAYSDK_CORE_MUTEX_H
