#include "core/section_lock.h"

namespace qx {

#if defined(_WIN32)

SectionLock::SectionLock() { InitializeCriticalSection(&section_); }
SectionLock::~SectionLock() { DeleteCriticalSection(&section_); }
void SectionLock::Lock() { EnterCriticalSection(&section_); }
void SectionLock::Unlock() { LeaveCriticalSection(&section_); }

#else

SectionLock::SectionLock() = default;
void SectionLock::Lock() { mutex_.lock(); }
void SectionLock::Unlock() { mutex_.unlock(); }

#endif

}  // namespace qx
