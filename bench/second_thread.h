// Makes the process multi-threaded before anything is measured.
//
// The C library takes its mutexes without atomic instructions for as long as
// a process has only ever run one thread. A client of this library always
// runs several (its own threads and the player library's), so a lock round
// trip measured in a process that never started a thread would look about
// twice as cheap as it is in real use. Once one thread has been started the
// process counts as multi-threaded for good, even after that thread ends.
#ifndef QXPLAYSDK_BENCH_SECOND_THREAD_H
#define QXPLAYSDK_BENCH_SECOND_THREAD_H

#include <thread>

namespace qxbench {

inline void StartAndJoinSecondThread() {
  std::thread([] {}).join();
}

}  // namespace qxbench

#endif  // QXPLAYSDK_BENCH_SECOND_THREAD_H
