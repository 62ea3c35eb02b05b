#include "backends/media/file_recording.h"

#include "core/log.h"

namespace qx::media {

bool FileRecording::Start(const std::string& path) {
  std::unique_ptr<StreamRecorder> recorder =
      StreamRecorder::Create(port_, path, RecordContainer::kMpegTs);
  if (!recorder) return false;
  MutexLock guard(&mutex_);
  if (stopped_at_) {
    // Nothing played since the stop: carry the stopped file on.
    std::unique_ptr<StreamRecorder> reopened =
        StreamRecorder::Reopen(port_, *stopped_at_, /*catch_up=*/false);
    stopped_at_.reset();
    if (reopened) current_ = std::move(reopened);
  }
  if (current_) {
    if (next_) next_->Finish();  // switched again before a key frame: holds nothing
    next_ = std::move(recorder);
  } else {
    current_ = std::move(recorder);
  }
  return true;
}

bool FileRecording::Stop() {
  std::unique_ptr<StreamRecorder> current;
  std::unique_ptr<StreamRecorder> next;
  {
    MutexLock guard(&mutex_);
    current = std::move(current_);
    next = std::move(next_);
  }
  if (!current) return false;
  auto checkpoint = std::make_unique<RecordCheckpoint>();
  const bool resumable = !next && current->Checkpoint(checkpoint.get());
  bool whole = current->Finish();
  if (next) {
    // No key frame came after the switch: every picture is in the earlier
    // file and the last one holds nothing.
    qx::log::Warning("record", port_, "no key frame came after the last switch");
    whole = next->Finish() && whole;
  }
  if (whole && resumable) {
    MutexLock guard(&mutex_);
    stopped_at_ = std::move(checkpoint);
  }
  return whole;
}

void FileRecording::Write(const AVFormatContext& input, int video, int audio,
                          const AVPacket& packet) {
  MutexLock guard(&mutex_);
  stopped_at_.reset();  // a packet after a stop: that stop was final
  const bool key = (packet.flags & AV_PKT_FLAG_KEY) != 0 && packet.stream_index == video;
  if (next_ && key) {
    if (current_) current_->Finish();
    current_ = std::move(next_);
  }
  if (current_) current_->Write(input, video, audio, packet);
}

}  // namespace qx::media
