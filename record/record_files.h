// Per-port recording bookkeeping beside the port table: the record file
// entry (the name of the file being recorded and the user data registered
// with the record-file-ready callback) and the callback itself.
//
// None of it is guarded by a lock; the caller serialises the recording
// exports of one port. The callback pointer is a single indivisible word, so
// a registration racing an announcement reaches the old or the new function.
// Closing a port leaves all of it in place for the next owner of the number.
#ifndef QXPLAYSDK_RECORD_RECORD_FILES_H
#define QXPLAYSDK_RECORD_RECORD_FILES_H

#include <cstddef>
#include <cstdint>

#include "core/port_record.h"
#include "qxplaysdk.h"

namespace qx {

// The record file name field is kRecordFileNameSize wide, terminator
// included. A longer name is cut to kRecordFileNameSize - 1 characters, so
// the field always ends with a NUL and the name handed to the callback is
// always terminated.

// Clears the port's record file name field and copies `name` into it (cut as
// above). `name` must not be null.
void StoreRecordFileName(int32_t port, const char* name);
// The port's record file name, NUL-terminated, living in the entry itself.
const char* RecordFileName(int32_t port);

// Stores the port's user data, then its callback (null turns announcements
// off).
void StoreRecordFileReadyCallback(int32_t port, OvraRecordFileReadyCallback callback,
                                  uintptr_t user);

// Reads the port's callback once and, when one is set, calls it on this
// thread with (port, the name in the entry, the user data). No lock is held
// while it runs, so it may call the recording exports again.
void AnnounceRecordFile(int32_t port);

}  // namespace qx

#endif  // QXPLAYSDK_RECORD_RECORD_FILES_H
