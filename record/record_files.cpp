#include "record/record_files.h"

#include <atomic>

#include "core/kept_text.h"

namespace qx {

void StoreRecordFileName(int32_t port, const char* name) {
  // A callback may hand back the very name it was given, which points into
  // this field: the copy allows the overlap.
  std::array<char, kRecordFileNameSize>& field = PortRecordOf(port).record_file.name;
  CopyKeptText(field.data(), field.size(), name);
}

const char* RecordFileName(int32_t port) { return PortRecordOf(port).record_file.name.data(); }

void StoreRecordFileReadyCallback(int32_t port, OvraRecordFileReadyCallback callback,
                                  uintptr_t user) {
  PortRecord& record = PortRecordOf(port);
  record.record_file.user = user;
  record.record_file_ready.store(callback, std::memory_order_release);
}

void AnnounceRecordFile(int32_t port) {
  PortRecord& record = PortRecordOf(port);
  const OvraRecordFileReadyCallback callback =
      record.record_file_ready.load(std::memory_order_acquire);
  if (callback != nullptr) {
    callback(port, record.record_file.name.data(), record.record_file.user);
  }
}

}  // namespace qx
