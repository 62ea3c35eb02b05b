#include "backends/media/file_source.h"

#include <cmath>
#include <utility>

#include "backends/media/picture_rotation.h"
#include "backends/media/stream_recorder.h"
#include "backends/media/timeline_unwrap.h"
#include "core/log.h"

namespace qx::media {

namespace {

// Sound read ahead of the picture about to wait for it: more than the
// device takes at a time, so it never runs dry between two pictures.
constexpr int64_t kSoundReadAheadMs = 500;
// The most video packets held while reading the sound ahead: a file whose
// sound lies further behind its pictures plays with breaks in its sound
// rather than holding ever more pictures.
constexpr size_t kMaxHeldPackets = 250;

}  // namespace

FileSource::FileSource(int32_t port, std::string path, Presenter& presenter,
                       std::shared_ptr<AudioSource> audio)
    : port_(port),
      path_(std::move(path)),
      presenter_(presenter),
      audio_(audio),
      sound_(port, std::move(audio)) {}

std::unique_ptr<FileSource> FileSource::Open(int32_t port, const std::string& path,
                                             int decode_threads,
                                             const std::shared_ptr<IndexGate>& index_gate,
                                             Presenter& presenter,
                                             std::shared_ptr<AudioSource> audio) {
  if (path.empty()) {
    log::Warning("media", port, "cannot open a file without a name");
    return nullptr;
  }
  std::unique_ptr<MediaInput> for_index = MediaInput::OpenFile(path, port);
  if (!for_index) return nullptr;
  std::unique_ptr<FileSource> source(new FileSource(port, path, presenter, std::move(audio)));
  // An MP4/MOV is indexed from its own sample table; anything else by
  // reading its packets, on the index's own thread while the file plays.
  std::optional<FrameIndex> from_container = FrameIndex::FromContainer(*for_index, path);
  if (from_container) {
    if (from_container->frame_count() == 0) {
      log::Warning("media", port, "\"{}\" holds no video frame", path);
      return nullptr;
    }
    source->index_ = std::make_unique<BackgroundIndex>(std::move(*from_container));
  } else {
    if (FrameIndex::HasSampleTable(*for_index)) {
      // Its first packets were read to check the table: read all from the start.
      for_index = MediaInput::OpenFile(path, port);
      if (!for_index) return nullptr;
    }
    source->index_ = BackgroundIndex::Start(std::move(for_index), port, index_gate);
    if (!source->index_) return nullptr;
  }
  source->input_ = MediaInput::OpenFile(path, port);
  if (!source->input_) return nullptr;
  const double rate = source->input_->ContainerFrameRate();
  if (rate > 0.0) source->frame_rate_ = rate;
  DecoderOptions decoder_options;
  decoder_options.threads = decode_threads;
  const AVStream& video = *source->input_->stream(source->input_->video_stream());
  source->provisional_numbers_ = ProvisionalNumbers(video.time_base);
  source->upright_turn_ = UprightTurn(video, port);
  source->video_decoder_ = StreamDecoder::Open(video, decoder_options);
  if (!source->video_decoder_) {
    log::Warning("media", port, "\"{}\": its video ({}) cannot be decoded", path,
                 avcodec_get_name(video.codecpar->codec_id));
    return nullptr;
  }
  return source;
}

void FileSource::Run() {
  while (true) {
    bool quit = false;
    std::optional<Command> command = presenter_.WaitForWork(&quit);
    if (quit) break;
    if (command) {
      bool ok = false;
      try {
        ok = Execute(*command);
      } catch (...) {
        // The caller waiting for it learns of the failure; the port fails.
        if (command->done) command->done->set_value(false);
        throw;
      }
      if (command->done) command->done->set_value(ok);
      continue;
    }
    Advance();
  }
  presenter_.FailCommands();
}

bool FileSource::Execute(const Command& command) {
  const Presenter::CommandContext context = presenter_.BeginCommand(command.kind);
  switch (command.kind) {
    case CommandKind::kStart:
      return !context.rewind || SeekToFrame(0, false);
    case CommandKind::kSeek:
      return SeekToFrame(static_cast<uint32_t>(command.value), context.playing);
    case CommandKind::kStep:
      if (!context.playing) return false;
      if (command.value < 0) {
        if (context.current <= 0) return false;
        const auto previous = static_cast<uint32_t>(context.current - 1);
        return StepBackWithoutIndex(previous) || SeekToFrame(previous, true);
      }
      if (!pending_) pending_ = DecodeNext(false);
      if (!pending_) {
        presenter_.ReachEnd();
        return false;
      }
      presenter_.Present(std::move(*pending_), frame_rate_);
      pending_.reset();
      return true;
  }
  return false;
}

void FileSource::Advance() {
  if (!pending_) {
    pending_ = DecodeNext(false);
    if (!pending_) {
      presenter_.ReachEnd();
      return;
    }
  }
  ReadSoundAhead();
  if (!presenter_.WaitUntilDue(pending_->timestamp_ms)) return;
  presenter_.Present(std::move(*pending_), frame_rate_);
  pending_.reset();
}

int FileSource::ReadPacket(AVPacket* packet, bool* recorded) {
  *recorded = false;
  if (!held_.empty()) {
    av_packet_move_ref(packet, held_.front().packet.get());
    *recorded = held_.front().recorded;
    held_.pop_front();
    return 0;
  }
  if (held_input_ended_) return AVERROR_EOF;
  return input_->Read(packet);
}

void FileSource::ReadSoundAhead() {
  // While the sound plays it is the clock: a picture waits until the sound
  // of its moment is played. A container may carry the sound well behind
  // its pictures (an MPEG-TS muxer holds up to a second of it back), so
  // the sound of that moment may not have been read yet when the picture
  // starts waiting: the device would run dry and the sound break up.
  if (!audio_->audible() || input_->audio_stream() < 0) return;
  if (!presenter_.PlaysAtNormalSpeed()) return;
  PacketPtr packet = MakePacket();
  while (!held_input_ended_ && held_.size() < kMaxHeldPackets &&
         static_cast<int64_t>(audio_->Queued()) * 1000 / kOutputRate < kSoundReadAheadMs) {
    if (input_->Read(packet.get()) < 0) {
      held_input_ended_ = true;
      break;
    }
    if (packet->stream_index == input_->video_stream()) {
      // Recorded as read, so that the recording keeps the file's order.
      Record(*packet);
      held_.push_back({std::move(packet), true});
      packet = MakePacket();
    } else {
      if (IsSound(*input_->context(), packet->stream_index)) Record(*packet);
      if (packet->stream_index == input_->audio_stream()) PlayAudio(*packet);
      av_packet_unref(packet.get());
    }
  }
}

void FileSource::ForgetHeldPackets() {
  held_.clear();
  held_input_ended_ = false;
}

std::optional<DecodedFrame> FileSource::DecodeNext(bool seeking) {
  PacketPtr packet = MakePacket();
  while (true) {
    const int received = video_decoder_->Receive(decoded_.get());
    if (received == 0) {
      std::optional<DecodedFrame> frame = Label(*decoded_);
      av_frame_unref(decoded_.get());
      if (frame) return frame;
      continue;
    }
    if (received != AVERROR(EAGAIN)) return std::nullopt;
    if (input_ended_) {
      if (drained_) return std::nullopt;
      drained_ = true;
      video_decoder_->Send(nullptr);
      continue;
    }
    bool recorded = false;
    if (ReadPacket(packet.get(), &recorded) < 0) {
      input_ended_ = true;
      continue;
    }
    if (packet->stream_index == input_->video_stream()) {
      if (!seeking && !recorded) Record(*packet);
      // Pictures come back from the decoder tagged with their packet's
      // decode index: the index maps it to the frame number when the file
      // has no timestamps, and the packet's own time is kept by tag.
      if (packet->pts == AV_NOPTS_VALUE) untimed_packet_read_ = true;
      const FrameIndex* index = index_->Ready();
      pts_of_tag_[next_decode_index_ % kTagsKept] =
          index == nullptr ? NoteProvisionalPacket(*packet) : packet->pts;
      picture_time_read_ = index == nullptr ? pts_of_tag_[next_decode_index_ % kTagsKept]
                                            : index->MovedTimeOfPacket(next_decode_index_);
      packet->pts = next_decode_index_;
      ++next_decode_index_;
      video_decoder_->Send(packet.get());
    } else if (!seeking) {
      // Every sound stream is recorded; the one the port plays is heard.
      if (IsSound(*input_->context(), packet->stream_index)) Record(*packet);
      if (packet->stream_index == input_->audio_stream()) PlayAudio(*packet);
    }
    av_packet_unref(packet.get());
  }
}

std::optional<DecodedFrame> FileSource::Label(const AVFrame& frame) {
  DecodedFrame out;
  out.picture = UprightYuv420(converter_, frame, upright_turn_);
  if (!out.picture) return std::nullopt;
  out.key = IsKeyFrame(frame);
  const int64_t tag = frame.pts;
  const int64_t pts =
      tag != AV_NOPTS_VALUE ? pts_of_tag_[static_cast<uint64_t>(tag) % kTagsKept] : tag;
  if (const FrameIndex* index = index_->Ready()) {
    const std::optional<uint32_t> number = index->numbered_by_decode_index()
                                               ? index->FrameNumberOfDecodedPacket(tag)
                                               : index->FrameNumberOfTimestamp(pts);
    out.number = number.value_or(next_number_);
    out.timestamp_ms = index->TimestampMs(out.number, frame_rate_);
  } else {
    // Only a file played from its start gets here. Without timestamps its
    // pictures are counted: they come in presentation order.
    out.number = provisional_numbers_.NumberOf(pts).value_or(next_number_);
    for (auto key = played_keys_.rbegin(); key != played_keys_.rend(); ++key) {
      if (key->decode_index == tag) {
        key->number = out.number;
        break;
      }
      if (key->decode_index < tag) break;
    }
    if (provisional_origin_ == AV_NOPTS_VALUE) provisional_origin_ = pts;
    const AVRational time_base = input_->stream(input_->video_stream())->time_base;
    // As the index will: by timestamp only when every packet has one.
    out.timestamp_ms =
        !untimed_packet_read_ && pts != AV_NOPTS_VALUE && provisional_origin_ != AV_NOPTS_VALUE
            ? ToMilliseconds(pts - provisional_origin_, time_base)
            : std::llround(out.number * 1000.0 / frame_rate_);
  }
  next_number_ = out.number + 1;
  return out;
}

bool FileSource::SeekToFrame(uint32_t frame, bool present) {
  // Frame 0 is where the file starts: it needs no index.
  const FrameIndex* index = frame == 0 ? index_->Ready() : index_->Wait();
  if (index != nullptr && frame >= index->frame_count()) return false;
  if (index == nullptr && frame != 0) return false;
  const uint32_t key = index != nullptr ? index->KeyPacketFor(frame) : 0;
  pending_.reset();
  if (!(index != nullptr ? Reposition(*index, key) : Rewind())) return false;
  RestartDecodingAt(key, index != nullptr ? index->FrameNumberOfPacket(key) : 0);
  provisional_numbers_.Restart();
  played_keys_.clear();
  recent_positions_.clear();
  return DecodeTo(frame, present);
}

bool FileSource::StepBackWithoutIndex(uint32_t frame) {
  // Numbers counted without timestamps cannot be taken up again part way.
  if (index_->Ready() != nullptr || untimed_packet_read_) return false;
  // As the index chooses: the key frame shown last before the frame.
  const PlayedKey* chosen = nullptr;
  for (const PlayedKey& key : played_keys_) {
    if (key.number && *key.number <= frame &&
        (chosen == nullptr || *key.number > *chosen->number)) {
      chosen = &key;
    }
  }
  if (chosen == nullptr) return false;
  const PlayedKey key = *chosen;
  pending_.reset();
  if (!ReadAgainFrom(key)) return false;
  RestartDecodingAt(key.decode_index, *key.number);
  provisional_numbers_ = key.numbers;
  return DecodeTo(frame, true);
}

bool FileSource::ReadAgainFrom(const PlayedKey& key) {
  ForgetHeldPackets();
  bool sought = false;
  if (input_->PrefersByteSeek() && key.seek_position >= 0) {
    sought = input_->SeekToByte(key.seek_position);
  } else if (key.dts != AV_NOPTS_VALUE) {
    sought = input_->SeekToTimestamp(key.dts);
  } else if (key.pts != AV_NOPTS_VALUE) {
    sought = input_->SeekToTimestamp(key.pts);
  }
  if (!sought) {
    log::Debug("media", port_,
               "\"{}\": cannot seek back to the key frame played; the step back waits for the "
               "frame index",
               path_);
    return false;
  }
  // The key packet is found by its offset, or, read without one, by its
  // decode time (as the index finds packets); a piece the demuxer cut and
  // gave the key frame's time is no key packet.
  constexpr uint32_t kMostPacketsRead = 4096;
  PacketPtr packet = MakePacket();
  for (uint32_t read = 0; read < kMostPacketsRead && input_->Read(packet.get()) >= 0; ++read) {
    if (packet->stream_index == input_->video_stream()) {
      const bool same = key.position >= 0 ? packet->pos == key.position
                                          : packet->pos < 0 && key.dts != AV_NOPTS_VALUE &&
                                                packet->dts == key.dts;
      if (same && (packet->flags & AV_PKT_FLAG_KEY) != 0) {
        held_.push_back({std::move(packet), false});
        return true;
      }
      if (same) break;
    }
    av_packet_unref(packet.get());
  }
  log::Debug("media", port_,
             "\"{}\": the key frame played was not found again; the step back waits for the "
             "frame index",
             path_);
  return false;
}

void FileSource::RestartDecodingAt(uint32_t key, uint32_t number) {
  video_decoder_->Flush();
  sound_.Flush();
  audio_->Clear();
  input_ended_ = false;
  drained_ = false;
  next_number_ = number;
  next_decode_index_ = key;
  picture_time_read_ = AV_NOPTS_VALUE;
  presenter_.ClearEnd();
}

bool FileSource::DecodeTo(uint32_t frame, bool present) {
  while (std::optional<DecodedFrame> decoded = DecodeNext(true)) {
    if (decoded->number < frame) continue;
    const bool exact = decoded->number == frame;
    if (present) {
      presenter_.RestartClock();
      presenter_.Present(std::move(*decoded), frame_rate_);
    } else {
      presenter_.ShowWithoutNotifying(*decoded);
      pending_ = std::move(decoded);
    }
    return exact;
  }
  return false;
}

int64_t FileSource::NoteProvisionalPacket(const AVPacket& packet) {
  // Read again after a step back, a key packet is known already.
  const bool new_key =
      (packet.flags & AV_PKT_FLAG_KEY) != 0 &&
      (played_keys_.empty() || next_decode_index_ > played_keys_.back().decode_index);
  if (new_key) {
    PlayedKey key;
    key.decode_index = next_decode_index_;
    key.position = packet.pos;
    key.seek_position = packet.pos;
    // As the index seeks: from the nearest picture before with an offset
    // before the key's own.
    for (auto earlier = recent_positions_.rbegin(); earlier != recent_positions_.rend();
         ++earlier) {
      if (packet.pos < 0 || *earlier < packet.pos) {
        key.seek_position = *earlier;
        break;
      }
    }
    key.dts = packet.dts;
    key.pts = packet.pts;
    key.numbers = provisional_numbers_;
    played_keys_.push_back(std::move(key));
    if (played_keys_.size() > kPlayedKeysKept) played_keys_.pop_front();
  }
  if (packet.pos >= 0) {
    recent_positions_.push_back(packet.pos);
    if (recent_positions_.size() > kRecentPositionsKept) recent_positions_.pop_front();
  }
  return provisional_numbers_.PacketRead(packet.dts, packet.pts,
                                         (packet.flags & AV_PKT_FLAG_KEY) != 0);
}

bool FileSource::Rewind() {
  ForgetHeldPackets();
  input_ = MediaInput::OpenFile(path_, port_);
  return input_ != nullptr;
}

bool FileSource::Reposition(const FrameIndex& index, uint32_t key_packet) {
  const IndexedPacket target = index.packet(key_packet);
  ForgetHeldPackets();
  bool sought = false;
  const int64_t seek_position = index.SeekPositionFor(key_packet);
  if (input_->PrefersByteSeek() && seek_position >= 0) {
    sought = input_->SeekToByte(seek_position);
  } else if (target.dts != AV_NOPTS_VALUE) {
    sought = input_->SeekToTimestamp(target.dts);
  } else if (target.pts != AV_NOPTS_VALUE) {
    sought = input_->SeekToTimestamp(target.pts);
  }
  if (sought && LandOn(index, key_packet)) return true;

  // The container could not be repositioned exactly: read it again from the
  // start and count packets, which always finds the key frame.
  ForgetHeldPackets();
  input_ = MediaInput::OpenFile(path_, port_);
  if (!input_) return false;
  PacketPtr packet = MakePacket();
  uint32_t count = 0;
  while (input_->Read(packet.get()) >= 0) {
    if (packet->stream_index == input_->video_stream()) {
      if (count == key_packet) {
        held_.push_back({std::move(packet), false});
        return true;
      }
      ++count;
    }
    av_packet_unref(packet.get());
  }
  return false;
}

bool FileSource::LandOn(const FrameIndex& index, uint32_t key_packet) {
  PacketPtr packet = MakePacket();
  while (input_->Read(packet.get()) >= 0) {
    if (packet->stream_index != input_->video_stream()) {
      av_packet_unref(packet.get());
      continue;
    }
    const std::optional<uint32_t> at = index.DecodeIndexOf(*packet);
    if (!at) {
      // A piece the demuxer cut before it found its way after the seek.
      av_packet_unref(packet.get());
      continue;
    }
    if (*at > key_packet) return false;
    // A piece taken for the key frame by its guessed time is no key frame.
    if (*at == key_packet && (packet->flags & AV_PKT_FLAG_KEY) == 0 &&
        index.packet(key_packet).key) {
      return false;
    }
    if (*at == key_packet) {
      held_.push_back({std::move(packet), false});
      return true;
    }
    av_packet_unref(packet.get());
  }
  return false;
}

void FileSource::Record(const AVPacket& packet) {
  recording_.Write(*input_->context(), input_->video_stream(), input_->audio_stream(), packet);
}

void FileSource::PlayAudio(const AVPacket& packet) {
  if (!audio_->audible() || !presenter_.PlaysAtNormalSpeed()) return;
  const AVStream& audio = *input_->stream(packet.stream_index);
  const AVStream& video = *input_->stream(input_->video_stream());
  // Where the file's clock goes back, the pictures' times are moved to one
  // timeline; the sound's are moved alike, so that it stays the clock.
  const FrameIndex* index = index_->Ready();
  const std::vector<int64_t>& shifts =
      index != nullptr ? index->part_shifts() : provisional_numbers_.part_shifts();
  if (shifts.size() > 1 && packet.pts != AV_NOPTS_VALUE && picture_time_read_ != AV_NOPTS_VALUE) {
    const int64_t shift = NearestPartShift(
        shifts, av_rescale_q(packet.pts, audio.time_base, video.time_base), picture_time_read_);
    PacketPtr moved = MakePacket();
    if (shift != 0 && moved && av_packet_ref(moved.get(), &packet) >= 0) {
      const int64_t by = av_rescale_q(shift, video.time_base, audio.time_base);
      moved->pts += by;
      if (moved->dts != AV_NOPTS_VALUE) moved->dts += by;
      sound_.Play(*moved, audio, video, TimelineOrigin());
      return;
    }
  }
  sound_.Play(packet, audio, video, TimelineOrigin());
}

int64_t FileSource::TimelineOrigin() const {
  const AVStream& video = *input_->stream(input_->video_stream());
  int64_t origin = AV_NOPTS_VALUE;
  if (const FrameIndex* index = index_->Ready()) {
    origin = index->numbered_by_timestamp() ? index->FirstTimestamp() : video.start_time;
  } else {
    origin = provisional_origin_ != AV_NOPTS_VALUE ? provisional_origin_ : video.start_time;
  }
  return origin != AV_NOPTS_VALUE ? origin : 0;
}

}  // namespace qx::media
