#include "backends/media/stream_buffer.h"

#include <algorithm>
#include <cstring>

namespace qx::media {

StreamBuffer::StreamBuffer(size_t capacity) : storage_(std::max<size_t>(capacity, 1)) {}

bool StreamBuffer::Push(const uint8_t* data, size_t length) {
  {
    MutexLock guard(&mutex_);
    if (ended_ || aborted_) return false;
    if (length == 0) return true;
    if (data == nullptr || length > storage_.size() - size_) return false;
    size_t tail = (head_ + size_) % storage_.size();
    size_t first = std::min(length, storage_.size() - tail);
    std::memcpy(storage_.data() + tail, data, first);
    std::memcpy(storage_.data(), data + first, length - first);
    size_ += length;
    total_pushed_ += length;
  }
  readable_.SignalAll();
  return true;
}

size_t StreamBuffer::Read(uint8_t* out, size_t max) {
  MutexLock guard(&mutex_);
  if (size_ == 0 && !aborted_ && !ended_) {
    ++readers_waiting_;
    consumed_.SignalAll();
    while (!aborted_ && !ended_ && size_ == 0) readable_.Wait(&mutex_);
    --readers_waiting_;
  }
  if (aborted_) return 0;
  size_t count = std::min(max, size_);
  size_t first = std::min(count, storage_.size() - head_);
  std::memcpy(out, storage_.data() + head_, first);
  std::memcpy(out + first, storage_.data(), count - first);
  head_ = (head_ + count) % storage_.size();
  size_ -= count;
  return count;
}

void StreamBuffer::WaitUntilConsumed() {
  MutexLock guard(&mutex_);
  while (!aborted_ && !ended_ && !(size_ == 0 && readers_waiting_ > 0)) consumed_.Wait(&mutex_);
}

void StreamBuffer::EndInput() {
  {
    MutexLock guard(&mutex_);
    ended_ = true;
  }
  readable_.SignalAll();
  consumed_.SignalAll();
}

void StreamBuffer::Abort() {
  {
    MutexLock guard(&mutex_);
    aborted_ = true;
  }
  readable_.SignalAll();
  consumed_.SignalAll();
}

bool StreamBuffer::Fits(size_t length) const {
  MutexLock guard(&mutex_);
  return !ended_ && !aborted_ && length <= storage_.size() - size_;
}

size_t StreamBuffer::Size() const {
  MutexLock guard(&mutex_);
  return size_;
}

uint64_t StreamBuffer::TotalPushed() const {
  MutexLock guard(&mutex_);
  return total_pushed_;
}

}  // namespace qx::media
