// The decode state of one port and the gate its decode callback runs
// behind.
//
// A decode callback runs with no lock of the library held, so that the
// caller's code may call any export on any port from it. Calls of one port's
// callback never overlap. The gate still gives the guarantees Ovra_Stop and
// Ovra_SetDecodeCallback promise:
//  - once Replace() or Clear() has returned, no call of the retired callback
//    begins;
//  - WaitForRetired() waits until every call that began before on another
//    thread has returned, unless waiting would close a cycle of waits: a
//    thread running such a call is itself waiting, directly or through
//    other ports' callbacks, for the waiting thread (two ports' callbacks
//    stopping each other, or three in a ring). Then it returns at once; the
//    call it did not wait for runs to its end, and no other call of the
//    retired callback begins. A callback that stops its own port never
//    waits for itself.
//
// All gates share one lock and one record of the threads waiting in a gate
// and what for, so that looking for a cycle and starting to wait are one
// step: of two threads about to wait for each other, the second sees the
// first and does not wait.
#ifndef QXPLAYSDK_CORE_DECODE_GATE_H
#define QXPLAYSDK_CORE_DECODE_GATE_H

#include <array>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "core/mutex.h"
#include "core/thread_annotations.h"
#include "qxplaysdk.h"

namespace qx {

class DecodeGate {
 public:
  struct Delivery {
    OvraDecodeCallback callback = nullptr;
    uint32_t sequence = 0;
  };

  DecodeGate();
  DecodeGate(const DecodeGate&) = delete;
  DecodeGate& operator=(const DecodeGate&) = delete;

  // Called by the decode trampoline. When a callback is set, waits until no
  // call of it runs on another thread, takes the next frame number and marks
  // a call running on this thread; the caller must then call Leave() once
  // the callback has returned. Nothing (the frame is dropped, not counted)
  // when no callback is set, or when the wait for the running call would
  // close a cycle of waits (possible only when a callback's export delivers
  // a frame on the calling thread).
  std::optional<Delivery> Enter();
  void Leave();

  OvraDecodeCallback callback() const;
  // Replaces the callback, the frame numbering continues; the old callback
  // begins no more calls.
  void Replace(OvraDecodeCallback replacement);
  // No callback, numbering from 0 again.
  void Clear();
  // Waits as the header comment says, for calls that began before the last
  // Replace() or Clear(). False when it returned without waiting for such a
  // call because waiting would have closed a cycle.
  bool WaitForRetired();

 private:
  struct RunningCall {
    std::thread::id thread;
    uint64_t epoch = 0;
  };
  // What a thread blocked in a gate waits for: the calls of `gate` begun in
  // an epoch below `below_epoch` on threads other than its own.
  struct Wait {
    const DecodeGate* gate = nullptr;
    uint64_t below_epoch = 0;
  };
  // Shared by every gate, never destroyed: a backend thread may leave a
  // callback while the process exits.
  struct Shared {
    Shared() { waits.reserve(kReservedWaits); }
    Mutex mutex;
    // The threads blocked in a gate and what each waits for. Room for
    // kReservedWaits is made once, so that a wait allocates nothing (a
    // decode callback's frame path must not).
    std::vector<std::pair<std::thread::id, Wait>> waits QX_GUARDED_BY(mutex);
  };
  static constexpr size_t kReservedWaits = 256;
  // The longest chain of waiting threads the cycle check follows; a longer
  // one is not waited through.
  static constexpr size_t kMaxChain = 128;
  struct ThreadList {
    std::array<std::thread::id, kMaxChain> ids;
    size_t size = 0;
    bool overflowed = false;
    void Add(std::thread::id id) {
      if (size == ids.size()) {
        overflowed = true;
        return;
      }
      ids[size++] = id;
    }
  };
  static Shared& SharedState();

  // Whether a call begun below `below_epoch` runs on a thread other than
  // `except`; its threads appended to `threads` when given.
  bool CallsRunning(std::thread::id except, uint64_t below_epoch, ThreadList* threads) const
      QX_REQUIRES(shared_.mutex);
  // Whether the threads running such calls wait, through any chain of
  // gates, for the calling thread.
  bool WaitingWouldCloseCycle(uint64_t below_epoch) const QX_REQUIRES(shared_.mutex);
  // Waits while such calls run. False, without waiting, when that would
  // close a cycle (or the wait cannot be recorded: no memory).
  bool AwaitCalls(uint64_t below_epoch) QX_REQUIRES(shared_.mutex);

  Shared& shared_;
  CondVar left_;
  OvraDecodeCallback callback_ QX_GUARDED_BY(shared_.mutex) = nullptr;
  uint32_t counter_ QX_GUARDED_BY(shared_.mutex) = 0;
  // Bumped by every Replace() and Clear(): a call that began in an earlier
  // epoch runs a retired callback.
  uint64_t epoch_ QX_GUARDED_BY(shared_.mutex) = 0;
  std::vector<RunningCall> running_ QX_GUARDED_BY(shared_.mutex);
};

}  // namespace qx

#endif  // QXPLAYSDK_CORE_DECODE_GATE_H
