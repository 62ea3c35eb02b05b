// Opening local ports for the playback tests, through the library's own
// open exports with the fake backends accepting.
#ifndef QXPLAYSDK_TESTS_PLAYBACK_OPEN_PORTS_H
#define QXPLAYSDK_TESTS_PLAYBACK_OPEN_PORTS_H

#include <gtest/gtest.h>

#include <cstdint>

#include "qxplaysdk.h"

namespace qxtest {

// A taken port in file mode (media type as its number last held it).
inline int32_t OpenFilePort() {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenFile(&port, "clip.mp4"), 0);
  return port;
}

// A taken port in stream mode with media type 0 or 1.
inline int32_t OpenStreamPort(int32_t media_type) {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenStream(&port, nullptr, 0, 4096, media_type), 0);
  return port;
}

// Port numbers that no local-port export accepts: remote slots, 98, the
// voice port and numbers outside the table.
inline constexpr int32_t kNonLocalPorts[] = {INT32_MIN, -1, 0, 32, 98, 99, 100, INT32_MAX};

}  // namespace qxtest

#endif  // QXPLAYSDK_TESTS_PLAYBACK_OPEN_PORTS_H
