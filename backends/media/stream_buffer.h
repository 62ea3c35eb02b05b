// The bounded buffer between a live stream's producer (the caller pushing
// blocks) and its consumer (the demuxer on the port's own thread).
//
// Push never blocks: a block that does not fit whole is refused and the
// buffer is left as it was, so the producer can offer it again later.
// Read blocks until bytes arrive, the input ends (the rest is drained first)
// or the buffer is aborted (nothing more is read).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_STREAM_BUFFER_H
#define QXPLAYSDK_BACKENDS_MEDIA_STREAM_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "backends/media/mutex.h"

namespace qx::media {

class StreamBuffer {
 public:
  explicit StreamBuffer(size_t capacity);
  StreamBuffer(const StreamBuffer&) = delete;
  StreamBuffer& operator=(const StreamBuffer&) = delete;

  // Copies the whole block in, or refuses it (false) when it does not fit,
  // when it is larger than the buffer, or after EndInput / Abort.
  bool Push(const uint8_t* data, size_t length);

  // Copies up to `max` bytes out. Blocks while the buffer is empty and the
  // input goes on; returns 0 only at the end of the input or after Abort.
  size_t Read(uint8_t* out, size_t max);

  // No more blocks will come: readers drain what is left, then see the end.
  void EndInput();
  // Readers stop at once; what is left is dropped.
  void Abort();

  // Waits until every byte pushed so far has been read and the reader is
  // waiting for more (or the input has ended or been aborted): then
  // everything the reader could make of those bytes is done.
  void WaitUntilConsumed();

  // Whether a block of `length` bytes would be taken now.
  bool Fits(size_t length) const;

  size_t Capacity() const { return storage_.size(); }
  size_t Size() const;
  // Bytes accepted by Push since the buffer was made.
  uint64_t TotalPushed() const;

 private:
  mutable Mutex mutex_;
  CondVar readable_;
  CondVar consumed_;
  int readers_waiting_ QX_GUARDED_BY(mutex_) = 0;
  // Its size is fixed at construction; only the bytes are guarded.
  std::vector<uint8_t> storage_;
  size_t head_ QX_GUARDED_BY(mutex_) = 0;  // index of the oldest byte
  size_t size_ QX_GUARDED_BY(mutex_) = 0;
  uint64_t total_pushed_ QX_GUARDED_BY(mutex_) = 0;
  bool ended_ QX_GUARDED_BY(mutex_) = false;
  bool aborted_ QX_GUARDED_BY(mutex_) = false;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_BUFFER_H
