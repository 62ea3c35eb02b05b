#include "backends/media/file_recording.h"

#include "core/log.h"

namespace qx::media {

bool FileRecording::Start(const std::string& path) {
  std::unique_ptr<StreamRecorder> recorder =
      StreamRecorder::Create(port_, path, RecordContainer::kMpegTs);
  if (!recorder) return false;
  MutexLock control(&control_mutex_);
  MutexLock guard(&mutex_);
  Held held = std::move(held_);
  held_ = Held{};
  holding_ = false;
  if (stopped_at_) {
    // Soon after the stop: carry the stopped file on.
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
  // What played since the stop goes in as it would have, had the stop and
  // the start come at once.
  for (const PacketPtr& packet : held.packets) {
    WriteLocked(held.input->context(), held.video, held.audio, *packet);
  }
  return true;
}

bool FileRecording::Stop() {
  MutexLock control(&control_mutex_);
  std::unique_ptr<StreamRecorder> current;
  std::unique_ptr<StreamRecorder> next;
  {
    MutexLock guard(&mutex_);
    closing_.Finish();
    current = std::move(current_);
    next = std::move(next_);
    if (!current) return false;
    // The port plays on while the files are finished: what it plays from
    // here on belongs to the next file, should a start come soon.
    holding_ = true;
    held_ = Held{};
    held_.since = std::chrono::steady_clock::now();
  }
  auto checkpoint = std::make_unique<RecordCheckpoint>();
  const bool resumable = !next && current->Checkpoint(checkpoint.get());
  bool whole = current->Finish();
  if (next) {
    // No key frame came after the switch: every picture is in the earlier
    // file and the last one holds nothing.
    qx::log::Warning("record", port_, "no key frame came after the last switch");
    whole = next->Finish() && whole;
  }
  MutexLock guard(&mutex_);
  if (!holding_) return whole;  // the port let go of the stop meanwhile
  if (whole && resumable) {
    stopped_at_ = std::move(checkpoint);
  } else {
    LetGoOfStopLocked("the stopped file cannot be carried on");
  }
  return whole;
}

void FileRecording::Write(const AVFormatContext& input, int video, int audio,
                          const AVPacket& packet) {
  MutexLock guard(&mutex_);
  if (holding_) {
    HoldLocked(input, video, audio, packet);
    return;
  }
  WriteLocked(input, video, audio, packet);
}

void FileRecording::WriteLocked(const AVFormatContext& input, int video, int audio,
                                const AVPacket& packet) {
  bool whole = true;  // a file finished at a switch has been announced already
  if (closing_.Take(input, video, audio, packet, &whole)) {
    if (current_) current_->NoteSound(packet);
    return;
  }
  const bool key = (packet.flags & AV_PKT_FLAG_KEY) != 0 && packet.stream_index == video;
  if (next_ && key) {
    closing_.Leave(port_, std::move(current_), input, packet);
    current_ = std::move(next_);
  }
  if (current_) current_->Write(input, video, audio, packet);
}

void FileRecording::HoldLocked(const AVFormatContext& input, int video, int audio,
                               const AVPacket& packet) {
  if (std::chrono::steady_clock::now() - held_.since > kHoldAfterStop) {
    LetGoOfStopLocked("no start came soon after it");
    return;
  }
  if (held_.bytes + static_cast<size_t>(packet.size) > kMaxHeldBytes) {
    LetGoOfStopLocked("too much played after it");
    return;
  }
  if (!held_.input) {
    held_.input = InputStreamsCopy::Make(port_, input);
    held_.video = video;
    held_.audio = audio;
    if (!held_.input) {
      LetGoOfStopLocked("its streams could not be copied");
      return;
    }
  }
  PacketPtr copy = MakePacket();
  if (av_packet_ref(copy.get(), &packet) < 0) {
    LetGoOfStopLocked("a packet could not be kept");
    return;
  }
  held_.bytes += static_cast<size_t>(packet.size);
  held_.packets.push_back(std::move(copy));
}

void FileRecording::LetGoOfStopLocked(const char* why) {
  qx::log::Info("record", port_, "the last stop is final: {}", why);
  holding_ = false;
  stopped_at_.reset();
  held_ = Held{};
}

}  // namespace qx::media
