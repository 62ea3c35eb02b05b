// The decode state of one port and the gate its decode callback runs
// behind.
//
// A decode callback runs with no lock of the library held, so that the
// caller's code may call any export on any port from it (two ports whose
// callbacks act on each other must not deadlock). Calls of one port's
// callback never overlap. The gate still gives the guarantees Ovra_Stop and
// Ovra_SetDecodeCallback promise:
//  - once Retire() has returned, no call of the retired callback begins;
//  - WaitForRetired() waits until every call that began before Retire() on
//    another thread has returned, unless the waiting thread is itself inside
//    a decode callback (of any port): waiting there could wait for a callback
//    that waits for this one. A callback calling Ovra_Stop on its own port is
//    the common case of that rule.
#ifndef QXPLAYSDK_CORE_DECODE_GATE_H
#define QXPLAYSDK_CORE_DECODE_GATE_H

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

  // Called by the decode trampoline. When a callback is set, takes the next
  // frame number and marks a call running on this thread; the caller must
  // then call Leave() once the callback has returned.
  std::optional<Delivery> Enter();
  void Leave();

  OvraDecodeCallback callback() const;
  // Replaces the callback, the frame numbering continues; the old callback
  // begins no more calls.
  void Replace(OvraDecodeCallback replacement);
  // No callback, numbering from 0 again.
  void Clear();
  // Waits as the header comment says, for calls that began before the last
  // Replace() or Clear().
  void WaitForRetired();

 private:
  struct RunningCall {
    std::thread::id thread;
    uint64_t epoch = 0;
  };
  bool RetiredCallRunningElsewhere() const QX_REQUIRES(mutex_);
  bool OtherThreadRunning() const QX_REQUIRES(mutex_);

  mutable Mutex mutex_;
  CondVar left_;
  OvraDecodeCallback callback_ QX_GUARDED_BY(mutex_) = nullptr;
  uint32_t counter_ QX_GUARDED_BY(mutex_) = 0;
  // Bumped by every Replace() and Clear(): a call that began in an earlier
  // epoch runs a retired callback.
  uint64_t epoch_ QX_GUARDED_BY(mutex_) = 0;
  std::vector<RunningCall> running_ QX_GUARDED_BY(mutex_);
};

// Whether the calling thread is inside a decode callback of any port.
bool InsideDecodeCallback();

}  // namespace qx

#endif  // QXPLAYSDK_CORE_DECODE_GATE_H
