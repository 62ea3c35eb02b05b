// What the stress tests read of their own process, and how far they go
// under the sanitizers.
#ifndef QXPLAYSDK_TESTS_MEDIA_STRESS_SUPPORT_H
#define QXPLAYSDK_TESTS_MEDIA_STRESS_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qxmedia_test {

// Entries of /proc/self/fd and /proc/self/task: the process's open file
// descriptors and threads.
int OpenDescriptorCount();
int ThreadCount();
// VmRSS of /proc/self/status, in bytes.
size_t ResidentBytes();

// Whether the program runs under AddressSanitizer or ThreadSanitizer, where
// every frame costs many times more and resident memory says little about
// the engine (freed blocks wait in a quarantine, shadow memory grows with
// every page touched).
bool UnderSanitizer();
// `normal`, or `sanitized` under a sanitizer: fewer rounds of the same kind.
int Scaled(int normal, int sanitized);

// Pushes bytes [from, to) into a live port through the library in blocks of
// `block` bytes, offering a block the full buffer refused again. Every
// answer must be OVRA_OK or the backend's refusal; false (with a test
// failure) on any other.
bool FeedThroughLibrary(int32_t port, const std::vector<uint8_t>& bytes, size_t from, size_t to,
                        size_t block = 4096);

// Counts decoded frames per port number (0..97), as a decode callback whose
// user data is unused.
void ResetFrameCounts();
int FramesOf(int32_t port);
void CountFrame(int32_t port);

}  // namespace qxmedia_test

#endif  // QXPLAYSDK_TESTS_MEDIA_STRESS_SUPPORT_H
