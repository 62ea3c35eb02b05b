#include "record/record_files.h"

#include <array>
#include <atomic>
#include <cstring>

#include "core/port_table.h"

namespace qx {
namespace {

struct RecordFileEntry {
  std::array<char, kRecordFileNameSize> name{};
  uintptr_t user = 0;
};

std::array<RecordFileEntry, kPortCount> entries{};
std::array<std::atomic<OvraRecordFileReadyCallback>, kPortCount> callbacks{};

RecordFileEntry& EntryOf(int32_t port) { return entries[static_cast<std::size_t>(port)]; }

}  // namespace

void StoreRecordFileName(int32_t port, const char* name) {
  std::array<char, kRecordFileNameSize>& field = EntryOf(port).name;
  // Reads the caller's string no further than its terminator or the last
  // character the field keeps (memchr stops at the first match).
  const void* terminator = std::memchr(name, '\0', kRecordFileNameSize - 1);
  const std::size_t length =
      terminator != nullptr ? static_cast<std::size_t>(static_cast<const char*>(terminator) - name)
                            : kRecordFileNameSize - 1;
  // Moved, not copied: a callback may hand back the very name it was given,
  // which points into this field.
  std::memmove(field.data(), name, length);
  std::memset(field.data() + length, 0, kRecordFileNameSize - length);
}

const char* RecordFileName(int32_t port) { return EntryOf(port).name.data(); }

void StoreRecordFileReadyCallback(int32_t port, OvraRecordFileReadyCallback callback,
                                  uintptr_t user) {
  EntryOf(port).user = user;
  callbacks[static_cast<std::size_t>(port)].store(callback, std::memory_order_release);
}

void AnnounceRecordFile(int32_t port) {
  const OvraRecordFileReadyCallback callback =
      callbacks[static_cast<std::size_t>(port)].load(std::memory_order_acquire);
  if (callback != nullptr) {
    const RecordFileEntry& entry = EntryOf(port);
    callback(port, entry.name.data(), entry.user);
  }
}

void ResetRecordState() {
  for (int32_t port = 0; port < kPortCount; ++port) {
    EntryOf(port) = RecordFileEntry{};
    callbacks[static_cast<std::size_t>(port)].store(nullptr, std::memory_order_release);
  }
}

}  // namespace qx
