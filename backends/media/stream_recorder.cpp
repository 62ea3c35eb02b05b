#include "backends/media/stream_recorder.h"

#include "core/log.h"

namespace qx::media {

namespace {

// FFmpeg's kMicroseconds is a C compound literal.
constexpr AVRational kMicroseconds{1, AV_TIME_BASE};

// A stream whose timestamps go forward by more than this between two
// packets has restarted or lost its clock: the file goes on without a gap.
constexpr int64_t kLeapUs = 10 * AV_TIME_BASE;

bool AudioFits(RecordContainer container, AVCodecID codec) {
  switch (container) {
    case RecordContainer::kMpegTs:
      return codec == AV_CODEC_ID_AAC || codec == AV_CODEC_ID_MP2 || codec == AV_CODEC_ID_MP3 ||
             codec == AV_CODEC_ID_AC3 || codec == AV_CODEC_ID_OPUS;
    case RecordContainer::k3gp:
      return codec == AV_CODEC_ID_AAC || codec == AV_CODEC_ID_AMR_NB || codec == AV_CODEC_ID_AMR_WB;
  }
  return false;
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
  AVFormatContext* output = nullptr;
  const char* format = container == RecordContainer::kMpegTs ? "mpegts" : "3gp";
  int result = avformat_alloc_output_context2(&output, nullptr, format, path.c_str());
  if (result < 0) {
    qx::log::Error("record", port, "cannot make a {} muxer for \"{}\": {}", format, path,
                   ErrorText(result));
    return nullptr;
  }
  recorder->output_.reset(output);
  result = avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (result < 0) {
    qx::log::Error("record", port, "cannot create \"{}\": {}", path, ErrorText(result));
    return nullptr;
  }
  // An MPEG-TS recording reaches the disk packet by packet, so that a crash
  // loses at most the packet being written.
  if (container == RecordContainer::kMpegTs) output->flush_packets = 1;
  return recorder;
}

StreamRecorder::~StreamRecorder() { Finish(); }

void StreamRecorder::Fail(const char* what, int code) {
  // The first failure says why; the packets after it fail the same way.
  if (!failed_) {
    qx::log::Error("record", port_, "{} \"{}\" failed: {}", what, path_, ErrorText(code));
  }
  failed_ = true;
}

bool StreamRecorder::Begin(const AVFormatContext& input, int video, int audio) {
  for (int index : {video, audio}) {
    if (index < 0) continue;
    const AVStream* source = input.streams[index];
    // Audio whose parameters are not known yet (a live stream's first
    // packets) would make the muxer refuse the file: it is left out.
    if (index == audio &&
        (!AudioFits(container_, source->codecpar->codec_id) || source->codecpar->sample_rate <= 0 ||
         source->codecpar->ch_layout.nb_channels <= 0)) {
      continue;
    }
    AVStream* stream = avformat_new_stream(output_.get(), nullptr);
    if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, source->codecpar) < 0) {
      return false;
    }
    stream->codecpar->codec_tag = 0;
    if (stream->codecpar->codec_id == AV_CODEC_ID_AAC && stream->codecpar->frame_size == 0) {
      stream->codecpar->frame_size = 1024;  // AAC's frame; a live stream's reader leaves it unset
    }
    stream->time_base = source->time_base;
    OutputStream entry;
    entry.input_index = index;
    entry.stream = stream;
    entry.input_time_base = source->time_base;
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
  AVDictionary* options = nullptr;
  if (container_ == RecordContainer::kMpegTs) {
    // Every key frame repeats the tables, so a cut file still plays.
    av_dict_set(&options, "mpegts_flags", "resend_headers", 0);
  }
  const int result = avformat_write_header(output_.get(), &options);
  av_dict_free(&options);
  if (result < 0) {
    Fail("writing the header of", result);
    return false;
  }
  for (OutputStream& entry : streams_) {
    // The muxer may have chosen its own time base.
    entry.stream = output_->streams[entry.stream->index];
  }
  return true;
}

void StreamRecorder::Write(const AVFormatContext& input, int video, int audio,
                           const AVPacket& packet) {
  if (finished_ || (packet.stream_index != video && packet.stream_index != audio)) return;
  if (!started_) {
    const bool key = (packet.flags & AV_PKT_FLAG_KEY) != 0;
    if (packet.stream_index != video || !key) return;
    if (!Begin(input, video, audio)) {
      finished_ = true;
      return;
    }
    started_ = true;
    const int64_t first = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
    start_us_ = first == AV_NOPTS_VALUE
                    ? 0
                    : av_rescale_q(first, input.streams[video]->time_base, kMicroseconds);
  }
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
  const int64_t step = copy->duration > 0 ? copy->duration : entry->frame_duration;
  if (copy->dts == AV_NOPTS_VALUE) {
    // Raw elementary streams carry no timestamps: number the frames.
    // Containers that give presentation times only (Matroska) number them
    // from a decode time that lies the stream's reorder delay before the
    // first picture's.
    if (entry->last_dts == AV_NOPTS_VALUE && copy->pts != AV_NOPTS_VALUE) {
      const int delay = entry->stream->codecpar->video_delay;
      entry->next_dts = copy->pts - delay * entry->frame_duration;
    }
    copy->dts = entry->next_dts;
    if (copy->pts == AV_NOPTS_VALUE) copy->pts = copy->dts;
  }
  entry->next_dts = copy->dts + step;
  const int64_t offset = av_rescale_q(start_us_, kMicroseconds, entry->input_time_base);
  int64_t dts = copy->dts + entry->rebase - offset;
  if (entry->last_dts != AV_NOPTS_VALUE) {
    const int64_t leap = av_rescale_q(kLeapUs, kMicroseconds, entry->input_time_base);
    if (dts <= entry->last_dts || dts - entry->last_dts > leap) {
      const int64_t shift = entry->last_dts + step - dts;
      qx::log::Info("record", port_, "timestamps of stream {} jumped by {} ms: rebased",
                    packet.stream_index, ToMilliseconds(-shift, entry->input_time_base));
      entry->rebase += shift;
      dts += shift;
    }
  } else if (dts < 0 && packet.stream_index != video) {
    return;  // audio from before the first picture
  }
  const int64_t moved = entry->rebase - offset;
  copy->dts = dts;
  if (copy->pts != AV_NOPTS_VALUE) copy->pts += moved;
  entry->last_dts = dts;
  av_packet_rescale_ts(copy.get(), entry->input_time_base, entry->stream->time_base);
  copy->stream_index = entry->stream->index;
  copy->pos = -1;
  const int result = av_interleaved_write_frame(output_.get(), copy.get());
  if (result < 0) {
    Fail("writing a packet into", result);
    return;
  }
  ++packets_written_;
}

bool StreamRecorder::Finish() {
  if (finished_) return started_;
  finished_ = true;
  if (!started_) {
    qx::log::Error("record", port_, "\"{}\" holds nothing: no key frame came", path_);
    return false;
  }
  int result = av_write_trailer(output_.get());
  if (result < 0) Fail("writing the trailer of", result);
  if (output_->pb != nullptr && output_->pb->error < 0) Fail("writing", output_->pb->error);
  result = avio_closep(&output_->pb);
  if (result < 0) Fail("closing", result);
  return !failed_;
}

}  // namespace qx::media
