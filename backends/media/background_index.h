// A file's frame index, built on a thread of its own while the file plays.
//
// Reading a day-long recording to its end takes minutes; its first picture
// need not wait for that. The index of an MPEG-TS/PS, Matroska, AVI or raw
// stream is built by reading every packet on the index's thread, through an
// input of its own; an MP4/MOV's comes whole from its sample table. Calls
// that need the whole index (the frame count, a jump, the position) wait for
// it; playing from the start needs none of it.
//
// Threading: Ready and Wait from any thread; once an index is returned it
// never changes and lives as long as this object. Stop (also the
// destructor) ends the build and waits until its thread has let go of this
// object. The thread is detached: a program that exits with a file still
// open leaves no thread to be joined, and the thread touches nothing of
// this object once it has said it finished.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_BACKGROUND_INDEX_H
#define QXPLAYSDK_BACKENDS_MEDIA_BACKGROUND_INDEX_H

#include <atomic>
#include <cstdint>
#include <memory>

#include "backends/media/frame_index.h"
#include "backends/media/media_input.h"
#include "backends/media/mutex.h"

namespace qx::media {

// Holds the builds it is given to back until it opens: tests use it to look
// at a port whose index is not built yet.
class IndexGate {
 public:
  void Open();
  // True once the gate is open; false when `stopping` became true first.
  bool WaitOpen(const std::atomic<bool>& stopping);

 private:
  Mutex mutex_;
  CondVar opened_;
  bool open_ QX_GUARDED_BY(mutex_) = false;
};

class BackgroundIndex {
 public:
  // An index that is whole already.
  explicit BackgroundIndex(FrameIndex whole);
  // Starts indexing `input` (freshly opened, not read yet): its packets up
  // to the first video packet are read here, the rest on the index's
  // thread, once `gate` (if any) opens. Null, with the reason logged for
  // `port`, when the file holds no video packet.
  static std::unique_ptr<BackgroundIndex> Start(std::unique_ptr<MediaInput> input, int32_t port,
                                                std::shared_ptr<IndexGate> gate = nullptr);
  ~BackgroundIndex();
  BackgroundIndex(const BackgroundIndex&) = delete;
  BackgroundIndex& operator=(const BackgroundIndex&) = delete;

  // The whole index, or null while it is being built (or was stopped).
  const FrameIndex* Ready() const { return ready_.load(std::memory_order_acquire); }
  // The whole index once it is built; null when the build was stopped or
  // failed first.
  const FrameIndex* Wait() const;
  // Ends the build, if still running, and waits for its thread to let go
  // of this object; waiters get null.
  void Stop();

 private:
  BackgroundIndex() = default;
  void Build(std::unique_ptr<MediaInput> input, std::unique_ptr<FrameIndexBuilder> builder,
             int32_t port, const std::shared_ptr<IndexGate>& gate);
  void Finish(std::unique_ptr<FrameIndex> index);

  // Written once, by the index's thread, before ready_ points at it.
  std::unique_ptr<FrameIndex> index_;
  std::atomic<const FrameIndex*> ready_{nullptr};
  std::atomic<bool> stopping_{false};

  mutable Mutex mutex_;
  mutable CondVar finished_changed_;
  // Built, failed or stopped: the thread's last touch of this object.
  bool finished_ QX_GUARDED_BY(mutex_) = false;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_BACKGROUND_INDEX_H
