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

std::optional<DecodeGate::Delivery> DecodeGate::Enter() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (callback_ == nullptr) return std::nullopt;
  // One call of a port's callback at a time: frames reach the caller in
  // order, and a callback that stops its own port knows no other call of it
  // is running.
  const std::thread::id self = std::this_thread::get_id();
  left_.wait(lock, [&] {
    return std::none_of(running_.begin(), running_.end(),
                        [&](const RunningCall& call) { return call.thread != self; });
  });
  if (callback_ == nullptr) return std::nullopt;
  running_.push_back(RunningCall{self, epoch_});
  ++decode_callback_depth;
  return Delivery{callback_, counter_++};
}

void DecodeGate::Leave() {
  {
    const std::lock_guard<std::mutex> guard(mutex_);
    // Calls nest on one thread only as a stack: the innermost leaves first.
    const auto self = std::find_if(running_.rbegin(), running_.rend(), [](const RunningCall& call) {
      return call.thread == std::this_thread::get_id();
    });
    if (self != running_.rend()) running_.erase(std::next(self).base());
    --decode_callback_depth;
  }
  left_.notify_all();
}

OvraDecodeCallback DecodeGate::callback() const {
  const std::lock_guard<std::mutex> guard(mutex_);
  return callback_;
}

void DecodeGate::Replace(OvraDecodeCallback replacement) {
  const std::lock_guard<std::mutex> guard(mutex_);
  callback_ = replacement;
  ++epoch_;
}

void DecodeGate::Clear() {
  const std::lock_guard<std::mutex> guard(mutex_);
  callback_ = nullptr;
  counter_ = 0;
  ++epoch_;
}

bool DecodeGate::RetiredCallRunningElsewhere() const {
  const std::thread::id self = std::this_thread::get_id();
  return std::any_of(running_.begin(), running_.end(), [&](const RunningCall& call) {
    return call.thread != self && call.epoch < epoch_;
  });
}

void DecodeGate::WaitForRetired() {
  if (InsideDecodeCallback()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  left_.wait(lock, [&] { return !RetiredCallRunningElsewhere(); });
}

}  // namespace qx
