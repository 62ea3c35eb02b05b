#include "core/decode_gate.h"

#include <algorithm>
#include <iterator>

namespace qx {
namespace {

// Depth of decode callbacks on this thread (one calling an export that
// ends up delivering a frame of another port nests).
thread_local int decode_callback_depth = 0;

}  // namespace

bool InsideDecodeCallback() { return decode_callback_depth > 0; }

bool DecodeGate::OtherThreadRunning() const {
  const std::thread::id self = std::this_thread::get_id();
  return std::any_of(running_.begin(), running_.end(),
                     [&](const RunningCall& call) { return call.thread != self; });
}

std::optional<DecodeGate::Delivery> DecodeGate::Enter() {
  MutexLock lock(&mutex_);
  if (callback_ == nullptr) return std::nullopt;
  // One call of a port's callback at a time: frames reach the caller in
  // order, and a callback that stops its own port knows no other call of it
  // is running.
  const std::thread::id self = std::this_thread::get_id();
  while (OtherThreadRunning()) left_.Wait(&mutex_);
  if (callback_ == nullptr) return std::nullopt;
  running_.push_back(RunningCall{self, epoch_});
  ++decode_callback_depth;
  return Delivery{callback_, counter_++};
}

void DecodeGate::Leave() {
  {
    MutexLock guard(&mutex_);
    // Calls nest on one thread only as a stack: the innermost leaves first.
    const auto self = std::find_if(running_.rbegin(), running_.rend(), [](const RunningCall& call) {
      return call.thread == std::this_thread::get_id();
    });
    if (self != running_.rend()) running_.erase(std::next(self).base());
    --decode_callback_depth;
  }
  left_.SignalAll();
}

OvraDecodeCallback DecodeGate::callback() const {
  MutexLock guard(&mutex_);
  return callback_;
}

void DecodeGate::Replace(OvraDecodeCallback replacement) {
  MutexLock guard(&mutex_);
  callback_ = replacement;
  ++epoch_;
}

void DecodeGate::Clear() {
  MutexLock guard(&mutex_);
  callback_ = nullptr;
  counter_ = 0;
  ++epoch_;
}

bool DecodeGate::RetiredCallRunningElsewhere() const {
  const std::thread::id self = std::this_thread::get_id();
  const uint64_t epoch = epoch_;  // read here, under the lock, not in the lambda
  return std::any_of(running_.begin(), running_.end(), [&](const RunningCall& call) {
    return call.thread != self && call.epoch < epoch;
  });
}

void DecodeGate::WaitForRetired() {
  if (InsideDecodeCallback()) return;
  MutexLock lock(&mutex_);
  while (RetiredCallRunningElsewhere()) left_.Wait(&mutex_);
}

}  // namespace qx
