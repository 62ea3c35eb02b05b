#include "record/record_files.h"

#include <array>
#include <atomic>

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
  // Built aside first: a callback may hand back the very name it was given,
  // which points into this field.
  std::array<char, kRecordFileNameSize> copy{};
  // Stops at the terminator or at the last character the field keeps, so
  // a caller's string of any length is read no further than needed.
  for (std::size_t i = 0; i + 1 < kRecordFileNameSize && name[i] != '\0'; ++i) {
    copy[i] = name[i];
  }
  EntryOf(port).name = copy;
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
