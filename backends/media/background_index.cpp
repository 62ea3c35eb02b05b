#include "backends/media/background_index.h"

#include <chrono>
#include <exception>
#include <thread>
#include <utility>

#include "backends/media/guarded_thread.h"
#include "core/log.h"

namespace qx::media {

void IndexGate::Open() {
  MutexLock guard(&mutex_);
  open_ = true;
  opened_.SignalAll();
}

bool IndexGate::WaitOpen(const std::atomic<bool>& stopping) {
  // Looks at `stopping` now and then: whoever stops a build does not know
  // the gate.
  constexpr std::chrono::milliseconds kRecheck{10};
  MutexLock guard(&mutex_);
  while (!open_) {
    if (stopping.load(std::memory_order_relaxed)) return false;
    opened_.WaitUntil(&mutex_, std::chrono::steady_clock::now() + kRecheck);
  }
  return true;
}

BackgroundIndex::BackgroundIndex(FrameIndex whole)
    : index_(std::make_unique<FrameIndex>(std::move(whole))) {
  ready_.store(index_.get(), std::memory_order_release);
  MutexLock guard(&mutex_);
  finished_ = true;
}

std::unique_ptr<BackgroundIndex> BackgroundIndex::Start(std::unique_ptr<MediaInput> input,
                                                        int32_t port,
                                                        std::shared_ptr<IndexGate> gate) {
  auto builder = std::make_unique<FrameIndexBuilder>(*input);
  // The first video packet is read before the open returns: a file without
  // one cannot be played at all.
  PacketPtr packet = MakePacket();
  bool found_video = false;
  while (!found_video && input->Read(packet.get()) >= 0) {
    found_video = builder->Add(*packet);
    av_packet_unref(packet.get());
  }
  if (!found_video) {
    log::Warning("media", port, "the file holds no video frame");
    return nullptr;
  }
  std::unique_ptr<BackgroundIndex> index(new BackgroundIndex());
  try {
    std::thread([self = index.get(), input = std::move(input), builder = std::move(builder), port,
                 gate = std::move(gate)]() mutable {
      self->Build(std::move(input), std::move(builder), port, gate);
    }).detach();
  } catch (const std::exception& error) {
    // No thread will ever say it finished: nothing to wait for.
    log::Warning("media", port, "cannot start the frame index thread: {}", error.what());
    index->Finish(nullptr);
    return nullptr;
  }
  return index;
}

BackgroundIndex::~BackgroundIndex() { Stop(); }

void BackgroundIndex::Build(std::unique_ptr<MediaInput> input,
                            std::unique_ptr<FrameIndexBuilder> builder, int32_t port,
                            const std::shared_ptr<IndexGate>& gate) {
  std::unique_ptr<FrameIndex> index;
  const bool ran = RunGuarded("frame index", port, [&] {
    if (gate && !gate->WaitOpen(stopping_)) return;
    PacketPtr packet = MakePacket();
    while (!stopping_.load(std::memory_order_relaxed) && input->Read(packet.get()) >= 0) {
      builder->Add(*packet);
      av_packet_unref(packet.get());
    }
    if (stopping_.load(std::memory_order_relaxed)) return;
    index = std::make_unique<FrameIndex>(builder->Finish());
  });
  if (ran && index) {
    log::Debug("media", port, "frame index built: {} frames, {} bytes", index->frame_count(),
               index->MemoryBytes());
  }
  Finish(std::move(index));
}

void BackgroundIndex::Finish(std::unique_ptr<FrameIndex> index) {
  if (index) {
    index_ = std::move(index);
    ready_.store(index_.get(), std::memory_order_release);
  }
  MutexLock guard(&mutex_);
  finished_ = true;
  finished_changed_.SignalAll();
}

const FrameIndex* BackgroundIndex::Wait() const {
  if (const FrameIndex* index = Ready()) return index;
  MutexLock guard(&mutex_);
  while (!finished_) finished_changed_.Wait(&mutex_);
  return Ready();
}

void BackgroundIndex::Stop() {
  stopping_.store(true, std::memory_order_relaxed);
  MutexLock guard(&mutex_);
  while (!finished_) finished_changed_.Wait(&mutex_);
}

}  // namespace qx::media
