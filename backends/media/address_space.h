// How much room a host that limits its address space (RLIMIT_AS) has left.
//
// FFmpeg's threaded decoders do not survive an allocation that fails part
// way: a frame-threaded H.264 decoder whose picture buffer could not be
// allocated later asserts and aborts the whole process. Where the host has
// set a limit, the engine opens a decoder only when the room left clearly
// holds it and the port's own threads, and answers a failure otherwise.
// Without a limit (the usual case) nothing is checked.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_ADDRESS_SPACE_H
#define QXPLAYSDK_BACKENDS_MEDIA_ADDRESS_SPACE_H

#include <cstdint>
#include <optional>

namespace qx::media {

// Bytes left under the process's address-space limit; nullopt when it has
// none (or its use cannot be read, which is then not checked either).
std::optional<uint64_t> AddressSpaceLeft();

// Bytes of address space a new thread's stack takes (the process's default
// thread stack size, which follows the stack limit).
uint64_t ThreadStackBytes();

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_ADDRESS_SPACE_H
