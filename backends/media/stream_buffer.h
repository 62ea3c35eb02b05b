// The bounded buffer between a live stream's producer (the caller pushing
// blocks) and its consumer (the demuxer on the port's own thread).
//
// Push never blocks: a block that does not fit whole is refused and the
// buffer is left as it was, so the producer can offer it again later. A
// block larger than the whole buffer can never fit and is told apart.
//
// The capacity is a limit, not an allocation: memory is taken as bytes
// arrive (doubling up to the capacity), so a large buffer costs nothing
// until the stream needs it.
// Read blocks until bytes arrive, the input ends (the rest is drained first)
// or the buffer is aborted (nothing more is read).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_STREAM_BUFFER_H
#define QXPLAYSDK_BACKENDS_MEDIA_STREAM_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "backends/media/mutex.h"

namespace qx::media {

// The largest buffer a stream may ask for: 256 MiB.
inline constexpr size_t kMaxStreamBufferBytes = size_t{256} << 20;

enum class PushResult {
  kTaken,
  kFull,      // does not fit now; may be offered again
  kTooLarge,  // larger than the whole buffer: can never be taken
  kClosed,    // after EndInput / Abort, or no data
};

class StreamBuffer {
 public:
  // `capacity` is at most kMaxStreamBufferBytes (larger ones are cut to it).
  explicit StreamBuffer(size_t capacity);

  // Copies the whole block in, or refuses it.
  PushResult Offer(const uint8_t* data, size_t length);
  // Offer, true when the block was taken.
  bool Push(const uint8_t* data, size_t length) {
    return Offer(data, length) == PushResult::kTaken;
  }

  // Copies up to `max` bytes out. Blocks while the buffer is empty and the
  // input goes on; returns 0 only at the end of the input or after Abort.
  size_t Read(uint8_t* out, size_t max);

  // No more blocks will come: readers drain what is left, then see the end.
  void EndInput();
  // Readers stop at once; what is left is dropped.
  void Abort();
  // The reader reads what is left, then sees the end of the input (Read
  // answers 0, also when asked again) until EndDrain, so that the demuxer
  // gives up what it holds. Bytes pushed meanwhile are read first.
  void RequestDrain();
  void EndDrain();

  // Waits until every byte pushed so far has been read and the reader is
  // waiting for more (or the input has ended or been aborted): then
  // everything the reader could make of those bytes is done.
  void WaitUntilConsumed();

  // Whether a block of `length` bytes would be taken now.
  bool Fits(size_t length) const;

  size_t Capacity() const { return capacity_; }
  // Bytes of memory the buffer holds now (grows up to the capacity).
  size_t Allocated() const;
  bool Aborted() const;
  // Nothing more will be read: aborted, or ended and drained.
  bool Exhausted() const;
  size_t Size() const;
  // Bytes accepted by Push since the buffer was made.
  uint64_t TotalPushed() const;

 private:
  mutable Mutex mutex_;
  CondVar readable_;
  CondVar consumed_;
  int readers_waiting_ QX_GUARDED_BY(mutex_) = 0;
  void GrowFor(size_t needed) QX_REQUIRES(mutex_);

  const size_t capacity_;
  std::vector<uint8_t> storage_ QX_GUARDED_BY(mutex_);
  size_t head_ QX_GUARDED_BY(mutex_) = 0;  // index of the oldest byte
  size_t size_ QX_GUARDED_BY(mutex_) = 0;
  uint64_t total_pushed_ QX_GUARDED_BY(mutex_) = 0;
  bool ended_ QX_GUARDED_BY(mutex_) = false;
  bool aborted_ QX_GUARDED_BY(mutex_) = false;
  bool drain_ QX_GUARDED_BY(mutex_) = false;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_BUFFER_H
