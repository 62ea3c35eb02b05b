// For tests only: point the logger somewhere else than the environment says.
#ifndef QXPLAYSDK_CORE_LOG_TESTING_H
#define QXPLAYSDK_CORE_LOG_TESTING_H

#include <string>

#include "core/log.h"

namespace qx::log {

// Replaces the configuration read from the environment: lines of `level`
// and more severe are appended to `path` (an empty path: standard error).
void ConfigureForTesting(Level level, const std::string& path);

}  // namespace qx::log

#endif  // QXPLAYSDK_CORE_LOG_TESTING_H
