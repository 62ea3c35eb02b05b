// The finished recordings a port announces (Ovra_SetRecordFileCallback),
// collected in order for a test to check.
#ifndef QXPLAYSDK_TESTS_MEDIA_ANNOUNCED_FILES_H
#define QXPLAYSDK_TESTS_MEDIA_ANNOUNCED_FILES_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "include/qxplaysdk.h"

namespace qxmedia_test {

struct Announced {
  std::mutex mutex;
  std::vector<std::string> files;
};

// The announcement callback; its user data is an Announced.
inline void OVRA_CALLBACK Heard(int32_t /*port*/, const char* file_name, uintptr_t user) {
  auto* announced = reinterpret_cast<Announced*>(user);
  std::lock_guard<std::mutex> guard(announced->mutex);
  announced->files.emplace_back(file_name);
}

}  // namespace qxmedia_test

#endif  // QXPLAYSDK_TESTS_MEDIA_ANNOUNCED_FILES_H
