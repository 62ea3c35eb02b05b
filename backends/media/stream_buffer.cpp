#include "backends/media/stream_buffer.h"

#include <algorithm>
#include <cstring>

namespace qx::media {

namespace {

// The first allocation of a buffer that receives bytes.
constexpr size_t kInitialAllocation = 64 * 1024;

}  // namespace

StreamBuffer::StreamBuffer(size_t capacity)
    : capacity_(std::clamp<size_t>(capacity, 1, kMaxStreamBufferBytes)) {}

void StreamBuffer::GrowFor(size_t needed) {
  if (needed <= storage_.size()) return;
  size_t grown = std::max(kInitialAllocation, storage_.size() * 2);
  while (grown < needed) grown *= 2;
  grown = std::min(grown, capacity_);
  // The bytes move to the front of the new storage, oldest first.
  std::vector<uint8_t> larger(grown);
  const size_t first = std::min(size_, storage_.size() - head_);
  if (size_ > 0) {
    std::memcpy(larger.data(), storage_.data() + head_, first);
    std::memcpy(larger.data() + first, storage_.data(), size_ - first);
  }
  storage_.swap(larger);
  head_ = 0;
}

PushResult StreamBuffer::Offer(const uint8_t* data, size_t length) {
  {
    MutexLock guard(&mutex_);
    if (ended_ || aborted_) return PushResult::kClosed;
    if (length == 0) return PushResult::kTaken;
    if (data == nullptr) return PushResult::kClosed;
    if (length > capacity_) return PushResult::kTooLarge;
    if (length > capacity_ - size_) return PushResult::kFull;
    GrowFor(size_ + length);
    size_t tail = (head_ + size_) % storage_.size();
    size_t first = std::min(length, storage_.size() - tail);
    std::memcpy(storage_.data() + tail, data, first);
    std::memcpy(storage_.data(), data + first, length - first);
    size_ += length;
    total_pushed_ += length;
  }
  readable_.SignalAll();
  return PushResult::kTaken;
}

size_t StreamBuffer::Read(uint8_t* out, size_t max) {
  MutexLock guard(&mutex_);
  if (size_ == 0 && !aborted_ && !ended_ && !drain_) {
    ++readers_waiting_;
    consumed_.SignalAll();
    while (!aborted_ && !ended_ && !drain_ && size_ == 0) readable_.Wait(&mutex_);
    --readers_waiting_;
  }
  if (aborted_ || size_ == 0) return 0;
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
  while (!(aborted_ || ended_ || (size_ == 0 && readers_waiting_ > 0))) consumed_.Wait(&mutex_);
}

void StreamBuffer::EndInput() {
  {
    MutexLock guard(&mutex_);
    ended_ = true;
  }
  readable_.SignalAll();
  consumed_.SignalAll();
}

void StreamBuffer::RequestDrain() {
  {
    MutexLock guard(&mutex_);
    drain_ = true;
  }
  readable_.SignalAll();
}

void StreamBuffer::EndDrain() {
  MutexLock guard(&mutex_);
  drain_ = false;
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
  return !ended_ && !aborted_ && length <= capacity_ - size_;
}

size_t StreamBuffer::Allocated() const {
  MutexLock guard(&mutex_);
  return storage_.size();
}

bool StreamBuffer::Exhausted() const {
  MutexLock guard(&mutex_);
  return aborted_ || (ended_ && size_ == 0);
}

bool StreamBuffer::Aborted() const {
  MutexLock guard(&mutex_);
  return aborted_;
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
