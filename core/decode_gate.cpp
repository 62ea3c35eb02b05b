#include "core/decode_gate.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <new>

#include "core/log.h"

namespace qx {
namespace {

// Enter() waits for a call on another thread whatever its epoch.
constexpr uint64_t kAnyEpoch = std::numeric_limits<uint64_t>::max();

}  // namespace

DecodeGate::Shared& DecodeGate::SharedState() {
  static Shared* const shared = new Shared;
  return *shared;
}

DecodeGate::DecodeGate() : shared_(SharedState()) {
  // Room for a port's calls on two threads (and a nested one) made up front:
  // a call allocates nothing.
  MutexLock guard(&shared_.mutex);
  running_.reserve(4);
}

bool DecodeGate::CallsRunning(std::thread::id except, uint64_t below_epoch,
                              ThreadList* threads) const {
  bool any = false;
  for (const RunningCall& call : running_) {
    if (call.thread == except || call.epoch >= below_epoch) continue;
    any = true;
    if (threads == nullptr) break;
    threads->Add(call.thread);
  }
  return any;
}

bool DecodeGate::WaitingWouldCloseCycle(uint64_t below_epoch) const {
  // Follows the waits from the threads this one would wait for: each thread
  // waits in at most one gate at a time, for the threads running calls
  // there. Reaching this thread again closes a cycle.
  // Fixed-size lists on the stack: the check runs on the frame path of two
  // threads delivering to one port, which allocates nothing.
  const std::thread::id self = std::this_thread::get_id();
  ThreadList frontier;
  ThreadList seen;
  CallsRunning(self, below_epoch, &frontier);
  while (frontier.size > 0) {
    const std::thread::id thread = frontier.ids[--frontier.size];
    if (thread == self) return true;
    const auto seen_end = seen.ids.begin() + static_cast<std::ptrdiff_t>(seen.size);
    if (std::find(seen.ids.begin(), seen_end, thread) != seen_end) continue;
    seen.Add(thread);
    const auto wait = std::find_if(shared_.waits.begin(), shared_.waits.end(),
                                   [&](const auto& entry) { return entry.first == thread; });
    if (wait == shared_.waits.end()) continue;
    const DecodeGate& gate = *wait->second.gate;
    gate.shared_.mutex.AssertHeld();  // the one lock all gates share
    gate.CallsRunning(thread, wait->second.below_epoch, &frontier);
  }
  // A chain longer than the lists hold may close a cycle unseen: such a
  // wait is not made.
  return frontier.overflowed || seen.overflowed;
}

bool DecodeGate::AwaitCalls(uint64_t below_epoch) {
  const std::thread::id self = std::this_thread::get_id();
  if (!CallsRunning(self, below_epoch, nullptr)) return true;
  try {
    if (WaitingWouldCloseCycle(below_epoch)) {
      log::Debug("playback", log::kNoPort,
                 "a running decode callback is not waited for: its thread waits for this one");
      return false;
    }
    // Recorded before waiting, under the same lock as the check: a thread
    // that would wait for this one from now on sees the cycle.
    shared_.waits.emplace_back(self, Wait{this, below_epoch});
  } catch (const std::bad_alloc&) {
    log::Warning("playback", log::kNoPort,
                 "no memory to record a wait for a decode callback: it is not waited for");
    return false;
  }
  // A call that begins meanwhile is of a later epoch, except for Enter(),
  // where another thread let in first is waited for as well; either way a
  // thread that starts waiting later checks for a cycle through this wait.
  while (CallsRunning(self, below_epoch, nullptr)) left_.Wait(&shared_.mutex);
  const auto mine = std::find_if(shared_.waits.begin(), shared_.waits.end(),
                                 [&](const auto& entry) { return entry.first == self; });
  if (mine != shared_.waits.end()) {
    *mine = shared_.waits.back();
    shared_.waits.pop_back();
  }
  return true;
}

std::optional<DecodeGate::Delivery> DecodeGate::Enter() {
  MutexLock lock(&shared_.mutex);
  if (callback_ == nullptr) return std::nullopt;
  // One call of a port's callback at a time: frames reach the caller in
  // order, and a callback that stops its own port knows no other call of it
  // is running.
  if (!AwaitCalls(kAnyEpoch)) return std::nullopt;
  if (callback_ == nullptr) return std::nullopt;
  running_.push_back(RunningCall{std::this_thread::get_id(), epoch_});
  return Delivery{callback_, counter_++};
}

void DecodeGate::Leave() {
  {
    MutexLock guard(&shared_.mutex);
    // Calls nest on one thread only as a stack: the innermost leaves first.
    const std::thread::id self = std::this_thread::get_id();
    const auto call =
        std::find_if(running_.rbegin(), running_.rend(),
                     [&](const RunningCall& running) { return running.thread == self; });
    if (call != running_.rend()) running_.erase(std::next(call).base());
  }
  left_.SignalAll();
}

OvraDecodeCallback DecodeGate::callback() const {
  MutexLock guard(&shared_.mutex);
  return callback_;
}

void DecodeGate::Replace(OvraDecodeCallback replacement) {
  MutexLock guard(&shared_.mutex);
  callback_ = replacement;
  ++epoch_;
}

void DecodeGate::Clear() {
  MutexLock guard(&shared_.mutex);
  callback_ = nullptr;
  counter_ = 0;
  ++epoch_;
}

bool DecodeGate::WaitForRetired() {
  MutexLock lock(&shared_.mutex);
  // The calls retired so far; a later Replace() or Clear() has its own
  // caller to wait.
  return AwaitCalls(epoch_);
}

}  // namespace qx
