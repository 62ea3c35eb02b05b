// The engine takes the library's annotated lock and condition variable
// (core/mutex.h) under its own namespace.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_MUTEX_H
#define QXPLAYSDK_BACKENDS_MEDIA_MUTEX_H

#include "core/mutex.h"

namespace qx::media {

using qx::CondVar;
using qx::Mutex;
using qx::MutexLock;

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MUTEX_H
