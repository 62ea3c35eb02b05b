#include "backends/media/stream_source.h"

#include <cmath>
#include <utility>

#include "backends/media/picture_rotation.h"
#include "core/log.h"

namespace qx::media {

StreamSource::StreamSource(int32_t port, size_t buffer_size, Presenter& presenter,
                           std::shared_ptr<AudioSource> audio)
    : port_(port),
      presenter_(presenter),
      audio_(audio),
      buffer_(std::make_shared<StreamBuffer>(buffer_size)),
      sound_(port, std::move(audio)) {}

std::unique_ptr<StreamSource> StreamSource::Open(int32_t port, const uint8_t* initial_block,
                                                 size_t initial_length, size_t buffer_size,
                                                 Presenter& presenter,
                                                 std::shared_ptr<AudioSource> audio) {
  if (buffer_size == 0 || buffer_size > kMaxStreamBufferBytes) {
    log::Warning("media", port, "a stream buffer of {} bytes lies outside 1..{}", buffer_size,
                 kMaxStreamBufferBytes);
    return nullptr;
  }
  std::unique_ptr<StreamSource> source(
      new StreamSource(port, buffer_size, presenter, std::move(audio)));
  if (initial_block != nullptr && initial_length > 0) {
    if (!source->buffer_->Push(initial_block, initial_length)) {
      log::Warning("media", port, "the initial block of {} bytes is larger than the buffer ({})",
                   initial_length, buffer_size);
      return nullptr;
    }
    MutexLock guard(&source->push_mutex_);
    source->stream_head_.Feed(initial_block, initial_length);
  }
  return source;
}

// ---------------------------------------------------------------------------
// Caller's threads.

PushResult StreamSource::InputData(const uint8_t* data, size_t length) {
  if (length > buffer_->Capacity()) {
    log::Warning("media", port_, "a block of {} bytes can never fit the stream buffer of {}",
                 length, buffer_->Capacity());
    return PushResult::kTooLarge;
  }
  MutexLock push_guard(&push_mutex_);
  std::shared_ptr<StreamRemuxer> remuxer;
  std::unique_ptr<RecordResumption> final_stop;
  {
    MutexLock guard(&record_mutex_);
    remuxer = remuxer_;
    // A block after a stop: the stop was no half of a switch.
    final_stop = std::move(resumption_);
  }
  // A block goes to both or to neither, so that offering a refused block
  // again never doubles it in either.
  if (remuxer && !remuxer->Fits(length)) return PushResult::kFull;
  const PushResult result = buffer_->Offer(data, length);
  if (result != PushResult::kTaken) return result;
  stream_head_.Feed(data, length);
  if (remuxer) remuxer->Input(data, length);
  return result;
}

void StreamSource::Drain() {
  if (presenter_.quitting() || !presenter_.playing()) return;
  uint64_t drain = 0;
  {
    MutexLock guard(&drain_mutex_);
    if (finished_ || aborted_) return;
    drain = ++drains_requested_;
    presenter_.SetUnpaced(true);
    buffer_->RequestDrain();
  }
  {
    MutexLock guard(&drain_mutex_);
    while (!(aborted_ || finished_ || drains_done_ >= drain)) drain_changed_.Wait(&drain_mutex_);
  }
  presenter_.SetUnpaced(false);
}

void StreamSource::Abort() {
  {
    MutexLock guard(&drain_mutex_);
    aborted_ = true;
  }
  drain_changed_.SignalAll();
  buffer_->Abort();
}

bool StreamSource::StartRecord(const std::string& file_name) {
  std::shared_ptr<StreamRemuxer> remuxer;
  {
    MutexLock guard(&record_mutex_);
    remuxer = remuxer_;
  }
  // A start on a recording port hands over to the new file at the next key
  // frame; when the new file cannot be made the old one goes on.
  if (remuxer) return remuxer->SwitchFile(file_name);
  // The recording takes every block pushed after this point.
  MutexLock push_guard(&push_mutex_);
  std::unique_ptr<RecordResumption> resumption;
  {
    MutexLock guard(&record_mutex_);
    resumption = std::move(resumption_);
  }
  // A start right after a stop, with nothing pushed between, is a switch:
  // the stopped file goes on up to the key frame where the new one begins.
  if (resumption) remuxer = ResumeRecordingLocked(std::move(*resumption), file_name);
  // A streamed MP4 joined in its media data is read from its head on.
  if (!remuxer) {
    remuxer =
        StreamRemuxer::Start(port_, file_name, RecordContainer::kMpegTs, LeadInForJoiningLocked());
  }
  if (!remuxer) return false;
  MutexLock guard(&record_mutex_);
  remuxer_ = remuxer;
  return true;
}

std::shared_ptr<StreamRemuxer> StreamSource::ResumeRecordingLocked(RecordResumption resumption,
                                                                   const std::string& file_name) {
  if (!resumption.needs_head) {
    // Bytes kept from the stream's start hold its head already.
    StreamLeadIn head = resumption.base > 0 ? stream_head_.TagHead() : StreamLeadIn{};
    return StreamRemuxer::Resume(port_, std::move(resumption), file_name, std::move(head));
  }
  // A streamed MP4 or Matroska is read again from the kept bytes through the head the
  // port kept, the stream's offsets unchanged.
  const auto base = static_cast<uint64_t>(resumption.base);
  if (base + resumption.bytes.size() != stream_head_.total()) return nullptr;
  std::optional<StreamLeadIn> lead_in =
      base == 0 ? std::optional<StreamLeadIn>(StreamLeadIn{}) : stream_head_.LeadInAt(base);
  if (!lead_in) {
    log::Info("media", port_,
              "the stopped recording cannot be carried on without the stream's head");
    return nullptr;
  }
  return StreamRemuxer::Resume(port_, std::move(resumption), file_name, std::move(*lead_in));
}

StreamLeadIn StreamSource::LeadInForJoining() {
  MutexLock guard(&push_mutex_);
  return LeadInForJoiningLocked();
}

StreamLeadIn StreamSource::LeadInForJoiningLocked() {
  return stream_head_.LeadInAt(stream_head_.total()).value_or(StreamLeadIn{});
}

bool StreamSource::StopRecord() {
  std::shared_ptr<StreamRemuxer> remuxer;
  {
    MutexLock guard(&record_mutex_);
    remuxer = std::move(remuxer_);
  }
  // Everything pushed so far goes into the file before the stop returns.
  if (!remuxer) return false;
  const bool whole = remuxer->Stop();
  std::unique_ptr<RecordResumption> resumption = remuxer->TakeResumption();
  MutexLock guard(&record_mutex_);
  resumption_ = std::move(resumption);
  return whole;
}

// ---------------------------------------------------------------------------
// The port's thread.

void StreamSource::Run() {
  // Each round opens the input on the bytes that come next: at the start,
  // after bytes that were not recognised (bounded by FFmpeg's 1 MiB probe),
  // and after an access unit too large to hold was dropped.
  while (!buffer_->Exhausted()) {
    input_ = MediaInput::OpenStream(buffer_, port_);
    if (!input_) {
      CompleteDrains();  // nothing was recognised, so nothing to present
      continue;          // probe the next bytes
    }
    const bool again = ReadStream();
    // The new input has streams of its own: decoding restarts at its first
    // key frame.
    video_decoder_.reset();
    undecodable_ = false;
    sound_.Reset();
    decoding_ = false;
    input_.reset();
    CompleteDrains();
    if (!again) break;
  }
  {
    MutexLock guard(&drain_mutex_);
    finished_ = true;
  }
  drain_changed_.SignalAll();
  // The stream ended or failed: wait to be closed.
  presenter_.WaitForQuit();
}

void StreamSource::CompleteDrains() {
  buffer_->EndDrain();
  {
    MutexLock guard(&drain_mutex_);
    drains_done_ = drains_requested_;
  }
  drain_changed_.SignalAll();
}

bool StreamSource::ReadStream() {
  PacketPtr packet = MakePacket();
  while (true) {
    const int read = input_->Read(packet.get());
    if (read < 0) {
      // The end of what was pushed (a drain), a unit too large, or bytes the
      // demuxer cannot go on from: what is complete is shown, and the input
      // is opened again on the bytes that follow, unless there are none.
      Decode(nullptr);
      return !buffer_->Exhausted();
    }
    if (presenter_.quitting()) return false;
    if (packet->stream_index == input_->audio_stream()) {
      PlayAudio(*packet);
    } else if (packet->stream_index == input_->video_stream()) {
      if (!presenter_.playing()) {
        decoding_ = false;
      } else if (decoding_ || (packet->flags & AV_PKT_FLAG_KEY) != 0) {
        if (!decoding_) {
          // Decoding (re)starts at a key frame.
          if (video_decoder_) {
            video_decoder_->Flush();
          } else if (!undecodable_) {
            OpenDecoder();
          }
          decoding_ = video_decoder_ != nullptr;
        }
        Decode(packet.get());
      }
    }
    av_packet_unref(packet.get());
  }
}

void StreamSource::OpenDecoder() {
  DecoderOptions decoder_options;
  // A live port is one of many on a wall: its decoder gets one worker beside
  // the port's own thread, so a port costs two threads however many cores
  // the machine has.
  decoder_options.threads = kLiveDecodeThreads;
  decoder_options.low_latency = true;
  const AVStream& video = *input_->stream(input_->video_stream());
  video_decoder_ = StreamDecoder::Open(video, decoder_options);
  if (!video_decoder_) {
    undecodable_ = true;
    log::Warning("media", port_, "no decoder for the stream's video ({}): it is not shown",
                 avcodec_get_name(video.codecpar->codec_id));
  }
  upright_turn_ = UprightTurn(video, port_);
  double rate = input_->ContainerFrameRate();
  if (rate <= 0.0 && video_decoder_) {
    const AVRational decoder_rate = video_decoder_->context().framerate;
    if (decoder_rate.num > 0 && decoder_rate.den > 0) rate = av_q2d(decoder_rate);
  }
  if (rate > 0.0 && rate < 1000.0) frame_rate_ = rate;
}

void StreamSource::Decode(const AVPacket* packet) {
  // A null packet lets the decoder give up the pictures it holds.
  if (!decoding_ || !video_decoder_ || video_decoder_->Send(packet) < 0) return;
  while (video_decoder_->Receive(decoded_.get()) == 0) {
    std::optional<DecodedFrame> frame = Label(*decoded_);
    av_frame_unref(decoded_.get());
    if (frame && presenter_.WaitUntilDue(frame->timestamp_ms)) {
      presenter_.Present(std::move(*frame), frame_rate_);
    }
  }
}

std::optional<DecodedFrame> StreamSource::Label(const AVFrame& frame) {
  DecodedFrame out;
  out.picture = UprightYuv420(converter_, frame, upright_turn_);
  if (!out.picture) return std::nullopt;
  out.key = IsKeyFrame(frame);
  out.number = next_number_;
  const int64_t pts = frame.best_effort_timestamp;
  if (pts != AV_NOPTS_VALUE) {
    if (first_pts_ == AV_NOPTS_VALUE) first_pts_ = pts;
    out.timestamp_ms =
        ToMilliseconds(pts - first_pts_, input_->stream(input_->video_stream())->time_base);
  } else {
    out.timestamp_ms = std::llround(out.number * 1000.0 / frame_rate_);
  }
  next_number_ = out.number + 1;
  return out;
}

void StreamSource::PlayAudio(const AVPacket& packet) {
  if (!audio_->audible() || !presenter_.PlaysAtNormalSpeed()) return;
  sound_.Play(packet, *input_->stream(packet.stream_index), *input_->stream(input_->video_stream()),
              first_pts_);
}

}  // namespace qx::media
