// GStreamer for the network library: initialised once, on first use, and
// never torn down (GStreamer cannot be initialised again in a process), and
// the library's own count of net_init / net_cleanup calls.
#ifndef QXPLAYSDK_BACKENDS_NET_GST_RUNTIME_H
#define QXPLAYSDK_BACKENDS_NET_GST_RUNTIME_H

#include <chrono>

namespace qx::net {

// True once GStreamer is ready; false when it cannot start (logged).
bool EnsureGstreamer();

// How long a recorder may take to answer: QXPLAYSDK_NET_TIMEOUT_MS, 5000 by
// default, read at each use.
std::chrono::milliseconds AnswerTimeout();

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_GST_RUNTIME_H
