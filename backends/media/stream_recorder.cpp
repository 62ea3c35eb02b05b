#include "backends/media/stream_recorder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "backends/media/local_file.h"
#include "backends/media/record_formats.h"
#include "core/log.h"

namespace qx::media {

namespace {

// Frames by which an MPEG-PS picture's decode time may miss the one after
// the picture before it and still be taken for the reader's mistake.
constexpr int64_t kSlipFrames = 8;

// A stream whose timestamps go forward by more than this between two
// packets has restarted or lost its clock: the file goes on without a gap.
constexpr int64_t kLeapUs = 10 * AV_TIME_BASE;
// A step back longer than this is a restarted clock; a shorter one is a
// reader's guess to be smoothed over.
constexpr int64_t kRestartUs = AV_TIME_BASE;

// The decode time of the first of `held` pictures (of stream `video`, in
// decode order), from the first that has one, counting back one picture's
// duration per picture before it. When none has one, from their
// presentation times: decoded one `step` apart, the pictures go before the
// first one shown by as many pictures as the most that are decoded before
// any picture and shown after it (the stream's reorder delay), or by the
// delay its header gives (`known_delay`), which later groups may reach.
std::optional<int64_t> FirstDecodeTime(const std::vector<PacketPtr>& held, int video, int64_t step,
                                       int known_delay) {
  std::vector<int64_t> shown;
  int64_t before = 0;
  for (const PacketPtr& packet : held) {
    if (packet->stream_index != video) continue;
    if (packet->dts != AV_NOPTS_VALUE) return packet->dts - before;
    before += packet->duration > 0 ? packet->duration : step;
    if (packet->pts != AV_NOPTS_VALUE) shown.push_back(packet->pts);
  }
  if (shown.empty()) return std::nullopt;
  int64_t delay = known_delay;
  for (size_t i = 0; i < shown.size(); ++i) {
    const auto later_shown = std::count_if(shown.begin(), shown.begin() + static_cast<ptrdiff_t>(i),
                                           [&](int64_t pts) { return pts > shown[i]; });
    delay = std::max<int64_t>(delay, later_shown);
  }
  return *std::min_element(shown.begin(), shown.end()) - delay * step;
}

// Matroska carries presentation times only; FFmpeg's reader works decode
// times out from the stream's reorder delay, which its H.265 parser does not
// tell: a live stream's reader, which does not analyse the stream ahead,
// then gives each picture its presentation time as its decode time, out of
// order with B-pictures.
bool ReaderMakesUpDecodeTimes(const AVFormatContext& input, int video) {
  const AVCodecParameters& codec = *input.streams[video]->codecpar;
  return input.iformat != nullptr && std::strncmp(input.iformat->name, "matroska", 8) == 0 &&
         codec.codec_id == AV_CODEC_ID_HEVC && codec.video_delay == 0;
}

}  // namespace

void StreamRecorder::OutputContextDeleter::operator()(AVFormatContext* context) const {
  if (context->pb != nullptr) avio_closep(&context->pb);
  avformat_free_context(context);
}

std::unique_ptr<StreamRecorder> StreamRecorder::Create(int32_t port, const std::string& path,
                                                       RecordContainer container) {
  std::unique_ptr<StreamRecorder> recorder(new StreamRecorder());
  recorder->container_ = container;
  recorder->port_ = port;
  recorder->path_ = path;
  if (!recorder->OpenFile(container == RecordContainer::kMpegTs ? "mpegts" : "3gp", true)) {
    return nullptr;
  }
  return recorder;
}

bool StreamRecorder::OpenFileForWriting(bool truncate) {
  // The name is a local path whatever it looks like: "cam1:0930.ts" is a
  // file in the working folder, not a protocol "cam1".
  AVDictionary* options = LocalFileOnlyOptions();
  if (!truncate) av_dict_set(&options, "truncate", "0", 0);
  const int result =
      avio_open2(&output_->pb, LocalFileUrl(path_).c_str(), AVIO_FLAG_WRITE, nullptr, &options);
  av_dict_free(&options);
  if (result < 0) {
    qx::log::Error("record", port_, "cannot create \"{}\": {}", path_, ErrorText(result));
    return false;
  }
  return true;
}

bool StreamRecorder::OpenFile(const char* format, bool truncate) {
  AVFormatContext* output = nullptr;
  int result = avformat_alloc_output_context2(&output, nullptr, format, path_.c_str());
  if (result < 0) {
    qx::log::Error("record", port_, "cannot make a {} muxer for \"{}\": {}", format, path_,
                   ErrorText(result));
    return false;
  }
  output_.reset(output);
  if (!OpenFileForWriting(truncate)) return false;
  // An MPEG-TS recording reaches the disk packet by packet, so that a crash
  // loses at most the packet being written.
  if (container_ == RecordContainer::kMpegTs) output->flush_packets = 1;
  return true;
}

StreamRecorder::~StreamRecorder() { Finish(); }

void StreamRecorder::Fail(const char* what, int code) {
  // The first failure says why; the packets after it fail the same way.
  if (!failed_) {
    qx::log::Error("record", port_, "{} \"{}\" failed: {}", what, path_, ErrorText(code));
  }
  failed_ = true;
}

std::vector<int> SoundStreams(const AVFormatContext& input, int audio) {
  std::vector<int> sounds;
  if (audio >= 0) sounds.push_back(audio);
  for (unsigned index = 0; index < input.nb_streams; ++index) {
    if (static_cast<int>(index) != audio && IsSound(input, static_cast<int>(index))) {
      sounds.push_back(static_cast<int>(index));
    }
  }
  return sounds;
}

bool IsSound(const AVFormatContext& input, int index) {
  return index >= 0 && static_cast<unsigned>(index) < input.nb_streams &&
         input.streams[index]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

bool StreamRecorder::ChooseContainer(const AVFormatContext& input, int video, int audio) {
  if (container_ != RecordContainer::kMpegTs) return true;
  const AVCodecParameters* picture = input.streams[video]->codecpar;
  bool sound_fits = true;
  for (const int index : SoundStreams(input, audio)) {
    const AVCodecParameters& sound = *input.streams[index]->codecpar;
    if (SoundFormatKnown(sound) &&
        !SoundFitsContainer(RecordContainer::kMpegTs, RecordedSoundOf(sound).codec)) {
      sound_fits = false;
    }
  }
  if (VideoFitsMpegTs(picture->codec_id) && sound_fits) return true;
  // MPEG-TS cannot carry these codecs as they are: Matroska carries them
  // all, unchanged, in the same file.
  AVFormatContext* output = nullptr;
  const int result = avformat_alloc_output_context2(&output, nullptr, "matroska", path_.c_str());
  if (result < 0) {
    Fail("making a Matroska muxer for", result);
    return false;
  }
  output->pb = output_->pb;
  output_->pb = nullptr;
  output_.reset(output);
  container_ = RecordContainer::kMatroska;
  qx::log::Info("record", port_, "\"{}\" is written as Matroska: its codecs do not fit MPEG-TS",
                path_);
  return true;
}

bool StreamRecorder::Begin(const AVFormatContext& input, int video, int audio,
                           const AVPacket& key) {
  for (const auto& [index, early] : early_sound_) {
    if (!SoundFormatKnown(*input.streams[index]->codecpar) &&
        !FillSoundFormat(input.streams[index]->codecpar, *early)) {
      qx::log::Warning("record", port_,
                       "the format of sound stream {} cannot be read from its first packet", index);
    }
  }
  if (!ChooseContainer(input, video, audio)) return false;
  std::vector<int> indexes{video};
  for (const int sound : SoundStreams(input, audio)) indexes.push_back(sound);
  for (const int index : indexes) {
    if (index < 0) continue;
    const AVStream* source = input.streams[index];
    const RecordedSound sound = RecordedSoundOf(*source->codecpar);
    // Audio whose parameters are not known yet (a live stream's first
    // packets), or that no container here carries, would make the muxer
    // refuse the file: it is left out, and the pictures are recorded.
    if (index != video &&
        (!SoundFitsContainer(container_, sound.codec) || !SoundFormatKnown(*source->codecpar))) {
      qx::log::Warning("record", port_, "the sound ({}) cannot go into \"{}\" and is left out",
                       avcodec_get_name(source->codecpar->codec_id), path_);
      continue;
    }
    AVStream* stream = avformat_new_stream(output_.get(), nullptr);
    if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, source->codecpar) < 0) {
      return false;
    }
    stream->codecpar->codec_tag = 0;
    if (index != video && sound.codec != source->codecpar->codec_id) {
      stream->codecpar->codec_id = sound.codec;
      stream->codecpar->bits_per_coded_sample = av_get_bits_per_sample(sound.codec);
      stream->codecpar->block_align =
          stream->codecpar->ch_layout.nb_channels * stream->codecpar->bits_per_coded_sample / 8;
    }
    if (index == video && (stream->codecpar->width <= 0 || stream->codecpar->height <= 0) &&
        !FillPictureSize(stream->codecpar, key)) {
      qx::log::Error("record", port_, "the picture size of the {} video is unknown",
                     avcodec_get_name(stream->codecpar->codec_id));
      return false;
    }
    if (index == video && ReaderMakesUpDecodeTimes(input, video) &&
        !FillReorderDelay(stream->codecpar, key)) {
      qx::log::Warning("record", port_, "the reorder delay of the {} video is unknown",
                       avcodec_get_name(stream->codecpar->codec_id));
    }
    if (index == video && container_ == RecordContainer::kMatroska &&
        stream->codecpar->extradata_size == 0 && !FillVideoSetup(stream->codecpar, key)) {
      qx::log::Warning("record", port_, "the {} video's setup is not in its first key frame",
                       avcodec_get_name(stream->codecpar->codec_id));
    }
    if (stream->codecpar->codec_id == AV_CODEC_ID_AAC && stream->codecpar->frame_size == 0) {
      stream->codecpar->frame_size = 1024;  // AAC's frame; a live stream's reader leaves it unset
    }
    stream->time_base = source->time_base;
    OutputStream entry;
    entry.input_index = index;
    entry.input_id = source->id;
    entry.stream = stream;
    entry.input_time_base = source->time_base;
    if (index != video) entry.dropped_header_bytes = sound.dropped_header_bytes;
    AVRational rate =
        source->avg_frame_rate.num > 0 ? source->avg_frame_rate : source->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    entry.frame_duration = av_rescale_q(1, av_inv_q(rate), source->time_base);
    if (entry.frame_duration <= 0) entry.frame_duration = 1;
    streams_.push_back(entry);
  }
  if (streams_.empty()) {
    qx::log::Error("record", port_, "no stream of the source can go into \"{}\"", path_);
    return false;
  }
  return WriteHeader(false);
}

bool StreamRecorder::WriteHeader(bool continued) {
  AVDictionary* options = nullptr;
  if (container_ == RecordContainer::kMpegTs) {
    // A file carried on marks its new packets as a discontinuity, so that
    // readers accept the restarted continuity counters.
    av_dict_set(&options, "mpegts_flags",
                continued ? "resend_headers+initial_discontinuity" : "resend_headers", 0);
  }
  const int result = avformat_write_header(output_.get(), &options);
  av_dict_free(&options);
  if (result < 0) {
    Fail("writing the header of", result);
    return false;
  }
  if (!continued) header_size_ = avio_tell(output_->pb);
  for (OutputStream& entry : streams_) {
    // The muxer may have chosen its own time base.
    entry.stream = output_->streams[entry.stream->index];
  }
  return true;
}

void StreamRecorder::Write(const AVFormatContext& input, int video, int audio,
                           const AVPacket& given) {
  if (finished_ || (given.stream_index != video && !IsSound(input, given.stream_index))) return;
  PacketPtr untimed;
  if (given.stream_index == video && given.dts != AV_NOPTS_VALUE &&
      ReaderMakesUpDecodeTimes(input, video)) {
    // Counted from the presentation times instead (see WriteOrHold).
    untimed = RefPacket(given);
    if (!untimed) {
      Fail("copying a packet into", AVERROR(ENOMEM));
      return;
    }
    untimed->dts = AV_NOPTS_VALUE;
  }
  const AVPacket& packet = untimed ? *untimed : given;
  if (started_) {
    WriteOrHold(video, packet);
    return;
  }
  if (packet.stream_index != video) NoteSound(packet);
  const bool key = (packet.flags & AV_PKT_FLAG_KEY) != 0 && packet.stream_index == video;
  if (waiting_.empty() && !key) return;
  PacketPtr copy = MakePacket();
  if (copy == nullptr || av_packet_ref(copy.get(), &packet) < 0) return;
  waiting_.push_back(std::move(copy));
  // A live stream's sound format is known from its first packet only: the
  // file waits for it (a little) so that the sound is not left out.
  bool sound_unknown = false;
  for (const int sound : SoundStreams(input, audio)) {
    if (!SoundFormatKnown(*input.streams[sound]->codecpar) && early_sound_.count(sound) == 0) {
      sound_unknown = true;
    }
  }
  sound_unknown = sound_unknown && waiting_.size() < kMaxWaitingPackets;
  if (sound_unknown) return;
  std::vector<PacketPtr> waiting = std::move(waiting_);
  waiting_.clear();
  const AVPacket& first_key = *waiting.front();
  if (!Begin(input, video, audio, first_key)) {
    finished_ = true;
    return;
  }
  started_ = true;
  // MPEG-PS leaves some pictures untimed: every picture goes through the
  // order of the pictures' headers, which the timed ones set against.
  if (input.iformat != nullptr && std::strcmp(input.iformat->name, "mpeg") == 0 && video >= 0) {
    const AVCodecParameters& codec = *input.streams[video]->codecpar;
    picture_order_ = PictureOrder::For(codec.codec_id, codec.video_delay, /*headers_first=*/true);
  }
  const int64_t first = first_key.dts != AV_NOPTS_VALUE ? first_key.dts : first_key.pts;
  start_us_ = first == AV_NOPTS_VALUE
                  ? 0
                  : av_rescale_q(first, input.streams[video]->time_base, kMicroseconds);
  video_index_ = video;
  // A first key picture without a decode time waits for a picture that has
  // one: a Matroska reader's (presentation times only), or an MPEG-PS
  // picture that begins inside another's PES packet (no times at all), whose
  // file would otherwise start its clock at 0 and jump to the stream's own
  // times at its next timed picture.
  awaiting_decode_time_ = first_key.dts == AV_NOPTS_VALUE &&
                          (first_key.pts != AV_NOPTS_VALUE || picture_order_ != nullptr);
  for (const PacketPtr& queued : waiting) WriteOrHold(video, *queued);
}

void StreamRecorder::NoteSound(const AVPacket& packet) {
  if (started_ || early_sound_.count(packet.stream_index) != 0) return;
  // Kept to learn the sound's format from, should the reader not know it.
  PacketPtr early = RefPacket(packet);
  if (early) early_sound_.emplace(packet.stream_index, std::move(early));
}

void StreamRecorder::WriteOrHold(int video, const AVPacket& packet) {
  if (!awaiting_decode_time_) {
    WritePacket(video, packet);
    return;
  }
  PacketPtr copy = MakePacket();
  if (copy == nullptr || av_packet_ref(copy.get(), &packet) < 0) {
    Fail("copying a packet into", AVERROR(ENOMEM));
    return;
  }
  held_.push_back(std::move(copy));
  if (packet.stream_index != video) return;
  ++held_pictures_;
  if (packet.dts != AV_NOPTS_VALUE || held_pictures_ > kMostPicturesWithoutDecodeTime) {
    ReleaseHeld(video);
  }
}

void StreamRecorder::ReleaseHeld(int video) {
  awaiting_decode_time_ = false;
  OutputStream* entry = nullptr;
  for (OutputStream& candidate : streams_) {
    if (candidate.input_index == video) entry = &candidate;
  }
  if (entry != nullptr) {
    const std::optional<int64_t> first =
        FirstDecodeTime(held_, video, entry->frame_duration, entry->stream->codecpar->video_delay);
    if (first) {
      entry->next_dts = *first;
      decode_time_counted_back_ = true;
      start_us_ = av_rescale_q(*first, entry->input_time_base, kMicroseconds);
    }
  }
  std::vector<PacketPtr> held = std::move(held_);
  held_.clear();
  for (const PacketPtr& packet : held) WritePacket(video, *packet);
}

void StreamRecorder::WritePacket(int video, const AVPacket& packet) {
  OutputStream* entry = nullptr;
  for (OutputStream& candidate : streams_) {
    if (candidate.input_index == packet.stream_index) entry = &candidate;
  }
  if (entry == nullptr) return;

  PacketPtr copy = MakePacket();
  if (copy == nullptr || av_packet_ref(copy.get(), &packet) < 0) {
    Fail("copying a packet into", AVERROR(ENOMEM));
    return;
  }
  if (entry->dropped_header_bytes > 0) {
    if (copy->size <= entry->dropped_header_bytes) return;  // a header without samples
    copy->data += entry->dropped_header_bytes;
    copy->size -= entry->dropped_header_bytes;
  }
  const int64_t step = copy->duration > 0 ? copy->duration : entry->frame_duration;
  if (packet.stream_index == video && picture_order_ && picture_order_->headers_first() &&
      copy->dts != AV_NOPTS_VALUE && entry->last_dts != AV_NOPTS_VALUE &&
      copy->dts != entry->next_dts &&
      std::llabs(copy->dts - entry->next_dts) <= kSlipFrames * step) {
    // Pictures are decoded one frame apart: a decode time a few frames off
    // is another picture's, given to this one by a reader that cuts
    // pictures out of PES packets (MPEG-PS).
    copy->dts = entry->next_dts;
  }
  if (copy->dts == AV_NOPTS_VALUE) {
    // Raw elementary streams carry no timestamps: number the frames.
    // Containers that give presentation times only (Matroska) number them
    // from a decode time that lies the stream's reorder delay before the
    // first picture's.
    if (entry->last_dts == AV_NOPTS_VALUE && copy->pts != AV_NOPTS_VALUE &&
        !(decode_time_counted_back_ && packet.stream_index == video)) {
      const int delay = entry->stream->codecpar->video_delay;
      entry->next_dts = copy->pts - delay * entry->frame_duration;
    }
    copy->dts = entry->next_dts;
  }
  if (packet.stream_index == video) {
    // A picture without a presentation time (raw H.264/H.265, or MPEG-PS
    // for a picture that begins inside a PES packet) is shown where its
    // header says, not at its decode time: with B-pictures that would put
    // it among, or before, the pictures shown ahead of it.
    if (copy->pts == AV_NOPTS_VALUE && !picture_order_) {
      picture_order_ = PictureOrder::For(entry->stream->codecpar->codec_id,
                                         entry->stream->codecpar->video_delay);
    }
    if (picture_order_) {
      copy->pts =
          picture_order_->PresentationTime(packet, copy->pts, copy->dts, step).value_or(copy->pts);
    }
  }
  const bool untimed_mpeg4 = packet.stream_index == video &&
                             AnchorTimes::Needed(entry->stream->codecpar->codec_id, packet);
  if (copy->pts == AV_NOPTS_VALUE) copy->pts = copy->dts;
  entry->next_dts = copy->dts + step;
  if (untimed_mpeg4 && !anchor_times_) anchor_times_ = std::make_unique<AnchorTimes>(step);
  if (anchor_times_) {
    PacketPtr original = RefPacket(packet);
    if (!original) {
      Fail("copying a packet into", AVERROR(ENOMEM));
      return;
    }
    for (AnchorTimes::Packet& ready :
         anchor_times_->Add({std::move(original), std::move(copy)}, packet.stream_index == video)) {
      Mux(video, *ready.original, std::move(ready.timed));
    }
    return;
  }
  Mux(video, packet, std::move(copy));
}

void StreamRecorder::Mux(int video, const AVPacket& packet, PacketPtr copy) {
  OutputStream* entry = nullptr;
  for (OutputStream& candidate : streams_) {
    if (candidate.input_index == packet.stream_index) entry = &candidate;
  }
  if (entry == nullptr) return;
  const int64_t step = copy->duration > 0 ? copy->duration : entry->frame_duration;
  const int64_t offset = av_rescale_q(start_us_, kMicroseconds, entry->input_time_base);
  int64_t dts = copy->dts + entry->rebase - offset;
  int64_t nudge = 0;
  if (entry->last_dts != AV_NOPTS_VALUE) {
    const int64_t leap = av_rescale_q(kLeapUs, kMicroseconds, entry->input_time_base);
    const int64_t restart = av_rescale_q(kRestartUs, kMicroseconds, entry->input_time_base);
    if (entry->last_dts - dts > restart || dts - entry->last_dts > leap) {
      const int64_t shift = entry->last_dts + step - dts;
      qx::log::Info("record", port_, "timestamps of stream {} jumped by {} ms: rebased",
                    packet.stream_index, ToMilliseconds(-shift, entry->input_time_base));
      entry->rebase += shift;
      dts += shift;
    } else if (dts <= entry->last_dts) {
      // A small step back (sound packets whose times a reader guessed):
      // decode times must still increase in the file.
      nudge = entry->last_dts + 1 - dts;
      dts += nudge;
    }
  } else if (dts < 0 && packet.stream_index != video) {
    return;  // audio from before the first picture
  }
  const int64_t moved = entry->rebase - offset;
  copy->dts = dts;
  if (copy->pts != AV_NOPTS_VALUE) copy->pts += moved;
  if (copy->pts != AV_NOPTS_VALUE && copy->pts < dts) copy->pts = dts;
  entry->last_dts = dts;
  av_packet_rescale_ts(copy.get(), entry->input_time_base, entry->stream->time_base);
  copy->stream_index = entry->stream->index;
  copy->pos = -1;
  // Packets come from a demuxer in the order the source sent them: written
  // at once, a live recording is on disk as soon as its packets are read
  // (FFmpeg's interleaving queue would hold pictures back until the sound
  // caught up).
  const int result = av_write_frame(output_.get(), copy.get());
  if (result < 0) {
    Fail("writing a packet into", result);
    return;
  }
  ++packets_written_;
  entry->last_input_dts = packet.dts;
  if (packet.stream_index == video) {
    last_picture_ = PacketFingerprint(packet);
    if ((packet.flags & AV_PKT_FLAG_KEY) != 0) {
      earlier_group_ = std::move(current_group_);
      current_group_.clear();
    }
    current_group_.push_back(last_picture_);
  }
}

bool StreamRecorder::Finish() {
  if (finished_) return started_;
  finished_ = true;
  if (!started_) {
    qx::log::Error("record", port_, "\"{}\" holds nothing: no key frame came", path_);
    return false;
  }
  if (awaiting_decode_time_) ReleaseHeld(video_index_);
  if (anchor_times_) {
    for (AnchorTimes::Packet& rest : anchor_times_->Flush()) {
      Mux(video_index_, *rest.original, std::move(rest.timed));
    }
  }
  int result = av_write_trailer(output_.get());
  if (result < 0) Fail("writing the trailer of", result);
  if (output_->pb != nullptr && output_->pb->error < 0) Fail("writing", output_->pb->error);
  result = avio_closep(&output_->pb);
  if (result < 0) Fail("closing", result);
  return !failed_;
}

}  // namespace qx::media
