// A re-entrant lock and its scoped guard.
//
// On Windows a SectionLock owns a critical section; elsewhere a recursive
// mutex. The thread that holds it may enter it again and leaves it as often
// as it entered. Code takes a SectionLock only through a SectionGuard, so the
// lock is left on every path out of the scope, exceptions included.
#ifndef QXPLAYSDK_CORE_SECTION_LOCK_H
#define QXPLAYSDK_CORE_SECTION_LOCK_H

#include "core/thread_annotations.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <mutex>
#endif

namespace qx {

class QX_CAPABILITY("mutex") SectionLock {
 public:
  SectionLock();
#if defined(_WIN32)
  ~SectionLock();
#else
  ~SectionLock() = default;
#endif
  SectionLock(const SectionLock&) = delete;
  SectionLock& operator=(const SectionLock&) = delete;

  void Lock() QX_ACQUIRE();
  void Unlock() QX_RELEASE();

 private:
#if defined(_WIN32)
  CRITICAL_SECTION section_;
#else
  std::recursive_mutex mutex_;
#endif
};

class QX_SCOPED_CAPABILITY SectionGuard {
 public:
  explicit SectionGuard(SectionLock* lock) QX_ACQUIRE(lock) : lock_(lock) { lock_->Lock(); }
  ~SectionGuard() QX_RELEASE() { lock_->Unlock(); }
  SectionGuard(const SectionGuard&) = delete;
  SectionGuard& operator=(const SectionGuard&) = delete;

 private:
  SectionLock* lock_;
};

}  // namespace qx

#endif  // QXPLAYSDK_CORE_SECTION_LOCK_H
