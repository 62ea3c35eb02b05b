// Ends the process with a message when a test has not finished within its
// bound: a deadlock fails the test instead of hanging it until ctest's limit.
#ifndef QXPLAYSDK_TESTS_MEDIA_DEADLOCK_WATCHDOG_H
#define QXPLAYSDK_TESTS_MEDIA_DEADLOCK_WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace qxmedia_test {

class DeadlockWatchdog {
 public:
  DeadlockWatchdog(const char* what, std::chrono::seconds bound)
      : thread_([this, what, bound] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!finished_.wait_for(lock, bound, [this] { return done_; })) {
            std::fprintf(stderr, "deadlock: %s did not finish within %llds\n", what,
                         static_cast<long long>(bound.count()));
            std::abort();
          }
        }) {}
  ~DeadlockWatchdog() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      done_ = true;
    }
    finished_.notify_all();
    thread_.join();
  }
  DeadlockWatchdog(const DeadlockWatchdog&) = delete;
  DeadlockWatchdog& operator=(const DeadlockWatchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace qxmedia_test

#endif  // QXPLAYSDK_TESTS_MEDIA_DEADLOCK_WATCHDOG_H
