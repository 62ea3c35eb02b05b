#include "backends/media/stream_remuxer.h"

#include "backends/media/guarded_thread.h"
#include "backends/media/media_input.h"
#include "core/log.h"

namespace qx::media {

std::unique_ptr<StreamRemuxer> StreamRemuxer::Start(int32_t port, const std::string& path,
                                                    RecordContainer container,
                                                    StreamLeadIn lead_in) {
  std::unique_ptr<StreamRemuxer> converter(new StreamRemuxer());
  converter->container_ = container;
  {
    // The pushed blocks follow the lead-in in the stream the thread reads.
    MutexLock guard(&converter->kept_mutex_);
    converter->kept_base_ = static_cast<int64_t>(lead_in.length());
  }
  converter->lead_in_ = std::move(lead_in);
  converter->port_ = port;
  {
    // No other thread sees the remuxer yet; the lock keeps the rule simple.
    MutexLock guard(&converter->recorder_mutex_);
    converter->recorder_ = StreamRecorder::Create(port, path, container);
    if (!converter->recorder_) return nullptr;
  }
  converter->buffer_ = std::make_shared<StreamBuffer>(kBufferSize);
  converter->StartThread();
  return converter;
}

std::unique_ptr<StreamRemuxer> StreamRemuxer::Resume(int32_t port, RecordResumption resumption,
                                                     const std::string& path,
                                                     StreamLeadIn lead_in) {
  std::unique_ptr<StreamRemuxer> remuxer(new StreamRemuxer());
  remuxer->container_ = RecordContainer::kMpegTs;
  remuxer->port_ = port;
  remuxer->lead_in_ = std::move(lead_in);
  remuxer->known_format_ = resumption.format;
  remuxer->parameter_sets_ = std::move(resumption.parameter_sets);
  // Kept bytes of a raw H.264/H.265 stream get its sets in front.
  const AVCodecID raw_video = resumption.format == "h264"   ? AV_CODEC_ID_H264
                              : resumption.format == "hevc" ? AV_CODEC_ID_HEVC
                                                            : AV_CODEC_ID_NONE;
  if (raw_video != AV_CODEC_ID_NONE &&
      !ParameterSetMemory::LeadsWithSets(raw_video, resumption.bytes.data(),
                                         resumption.bytes.size())) {
    std::vector<uint8_t> bytes = remuxer->parameter_sets_.AnnexB();
    bytes.insert(bytes.end(), resumption.bytes.begin(), resumption.bytes.end());
    resumption.bytes = std::move(bytes);
  }
  {
    // No other thread sees the remuxer yet; the locks keep the rule simple.
    MutexLock guard(&remuxer->recorder_mutex_);
    remuxer->next_ = StreamRecorder::Create(port, path, RecordContainer::kMpegTs);
    if (!remuxer->next_) return nullptr;
    remuxer->recorder_ = StreamRecorder::Reopen(port, resumption.checkpoint);
    if (!remuxer->recorder_) return nullptr;
  }
  remuxer->buffer_ = std::make_shared<StreamBuffer>(kBufferSize + resumption.bytes.size());
  if (!remuxer->buffer_->Push(resumption.bytes.data(), resumption.bytes.size())) return nullptr;
  {
    MutexLock guard(&remuxer->kept_mutex_);
    remuxer->kept_ = std::move(resumption.bytes);
    remuxer->kept_base_ = static_cast<int64_t>(remuxer->lead_in_.length());
  }
  remuxer->StartThread();
  return remuxer;
}

void StreamRemuxer::StartThread() {
  thread_ = std::thread([this] {
    if (RunGuarded("converter thread", port_, [this] { Run(); })) return;
    // A failed converter refuses further blocks, a switch or stop waiting
    // for it goes on, and the stop reports the recording incomplete.
    {
      MutexLock guard(&recorder_mutex_);
      all_ok_ = false;
    }
    buffer_->Abort();
  });
}

bool StreamRemuxer::Input(const uint8_t* data, size_t length) {
  if (!buffer_->Push(data, length)) return false;
  MutexLock guard(&kept_mutex_);
  if (kept_.size() + length > kMaxKeptBytes) {
    kept_base_ += static_cast<int64_t>(kept_.size());
    kept_.clear();
    kept_complete_ = false;
  }
  kept_.insert(kept_.end(), data, data + length);
  return true;
}

void StreamRemuxer::KeyFrameAt(int64_t position) {
  MutexLock guard(&kept_mutex_);
  if (last_key_ >= kept_base_ && last_key_ - kept_base_ <= static_cast<int64_t>(kept_.size())) {
    kept_.erase(kept_.begin(), kept_.begin() + (last_key_ - kept_base_));
    kept_base_ = last_key_;
    kept_complete_ = true;
  } else if (last_key_ >= 0) {
    kept_complete_ = false;
  }
  last_key_ = position;
}

StreamRemuxer::~StreamRemuxer() { Stop(); }

void StreamRemuxer::FinishCurrent() {
  if (!recorder_) return;
  if (!recorder_->Finish()) all_ok_ = false;
  recorder_.reset();
}

void StreamRemuxer::Run() {
  // Packets before this byte of the stream were never pushed to the
  // recording: the lead-in's zeros stand in for them.
  const int64_t first_pushed =
      lead_in_.stands_in() ? static_cast<int64_t>(lead_in_.length()) : int64_t{0};
  std::unique_ptr<MediaInput> input =
      MediaInput::OpenStream(buffer_, port_, std::move(lead_in_), known_format_);
  if (!input) {
    // Not a stream the recorder reads: refuse further blocks, and let a
    // stop waiting for the reader go on.
    qx::log::Error("record", port_, "the pushed bytes are no stream the recorder can read");
    buffer_->Abort();
    return;
  }
  // Containers whose samples are read whole (MP4, Matroska, FLV): one cut
  // short is the last, its bytes not all pushed before the stop.
  bool whole_samples = false;
  {
    const std::string format = input->context()->iformat->name;
    const bool elementary =
        format == "mpegts" || format == "mpeg" || format == "h264" || format == "hevc";
    whole_samples = !elementary;
    // FLV is read again from a key frame's tag after its head (see
    // FlvStreamHead).
    const bool joinable = elementary || format == "flv";
    MutexLock guard(&kept_mutex_);
    joinable_ = joinable;
    // FFmpeg's FLV reader steps back over a metadata tag it cannot parse
    // whole, within the bytes its probe read: FLV is probed again.
    format_ = elementary ? format : std::string();
  }
  PacketPtr packet = MakePacket();
  while (input->Read(packet.get()) >= 0) {
    if (packet->pos >= 0 && packet->pos < first_pushed) {
      av_packet_unref(packet.get());
      continue;
    }
    if (whole_samples && (packet->flags & AV_PKT_FLAG_CORRUPT) != 0) {
      qx::log::Info("record", port_, "a sample cut short by the stop is left out");
      av_packet_unref(packet.get());
      continue;
    }
    const int video = input->video_stream();
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0 && packet->stream_index == video;
    if (key && packet->pos >= 0) KeyFrameAt(packet->pos);
    if (packet->stream_index == video) {
      const AVCodecID codec = input->context()->streams[video]->codecpar->codec_id;
      parameter_sets_.Observe(codec, *packet);
      if (key) {
        if (PacketPtr completed = parameter_sets_.Completed(codec, *packet)) {
          av_packet_unref(packet.get());
          av_packet_move_ref(packet.get(), completed.get());
        }
      }
    }
    {
      MutexLock guard(&recorder_mutex_);
      bool closed_whole = true;
      const bool late_sound =
          closing_.Take(*input->context(), video, input->audio_stream(), *packet, &closed_whole);
      if (!closed_whole) all_ok_ = false;
      if (packet->stream_index != video) {
        // A file not begun learns the sound's format from sound that goes
        // into another file.
        if (late_sound && recorder_) recorder_->NoteSound(*packet);
        if (next_) next_->NoteSound(*packet);
      }
      if (late_sound ||
          (recorder_ && recorder_->AlreadyWritten(*input->context(), *packet, video))) {
        av_packet_unref(packet.get());
        continue;
      }
      if (next_ && key && !(recorder_ && recorder_->catching_up())) {
        if (!closing_.Leave(port_, std::move(recorder_), *input->context(), *packet)) {
          all_ok_ = false;
        }
        recorder_ = std::move(next_);
      }
      if (recorder_) {
        recorder_->Write(*input->context(), input->video_stream(), input->audio_stream(), *packet);
      }
    }
    av_packet_unref(packet.get());
  }
  buffer_->Abort();
}

bool StreamRemuxer::SwitchFile(const std::string& path) {
  std::unique_ptr<StreamRecorder> next = StreamRecorder::Create(port_, path, container_);
  if (!next) return false;
  // The pictures pushed before the switch belong to the current file: the
  // handover waits for the first key frame after them.
  buffer_->WaitUntilConsumed();
  MutexLock guard(&recorder_mutex_);
  if (next_) {
    // Switched again before a key frame came: the file never begun holds
    // nothing and is dropped.
    next_->Finish();
  }
  next_ = std::move(next);
  return true;
}

bool StreamRemuxer::Stop() {
  MutexLock stop_guard(&stop_mutex_);
  if (stopped_) return stop_result_;
  stopped_ = true;
  RecordCheckpoint checkpoint;
  bool resumable = false;
  if (buffer_ && thread_.joinable() && container_ == RecordContainer::kMpegTs) {
    // Where the file stands before the stream's end drains its last
    // pictures: a start that follows at once carries it on from there.
    buffer_->WaitUntilConsumed();
    MutexLock guard(&recorder_mutex_);
    resumable =
        !next_ && recorder_ && !recorder_->catching_up() && recorder_->Checkpoint(&checkpoint);
  }
  if (buffer_) buffer_->EndInput();
  if (thread_.joinable()) thread_.join();
  if (resumable) {
    MutexLock guard(&kept_mutex_);
    if (kept_complete_) {
      resumption_ = std::make_unique<RecordResumption>();
      resumption_->checkpoint = std::move(checkpoint);
      resumption_->bytes = std::move(kept_);
      resumption_->base = kept_base_;
      resumption_->needs_head = !joinable_;
      resumption_->parameter_sets = parameter_sets_;  // the thread has ended
      resumption_->format = format_;
    }
  }
  MutexLock guard(&recorder_mutex_);
  if (!closing_.Finish()) all_ok_ = false;
  FinishCurrent();
  if (next_) {
    // No key frame came after the last switch: every picture is in the
    // earlier file, and the last one holds nothing.
    qx::log::Warning("record", port_, "no key frame came after the last switch");
    recorder_ = std::move(next_);
    FinishCurrent();
  }
  stop_result_ = all_ok_;
  if (!stop_result_) resumption_.reset();
  return stop_result_;
}

std::unique_ptr<RecordResumption> StreamRemuxer::TakeResumption() {
  MutexLock guard(&stop_mutex_);
  return std::move(resumption_);
}

}  // namespace qx::media
