// Carrying a stopped MPEG-TS recording on: the checkpoint a stop takes,
// the file reopened from it, and the packets read again that it holds.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "backends/media/record_checkpoint.h"
#include "backends/media/stream_recorder.h"
#include "core/log.h"

namespace qx::media {

uint64_t PacketFingerprint(const AVPacket& packet) {
  uint64_t hash = 14695981039346656037ULL;
  for (int i = 0; i < packet.size; ++i) {
    hash = (hash ^ packet.data[i]) * 1099511628211ULL;
  }
  return hash ^ static_cast<uint64_t>(packet.size);
}

std::unique_ptr<StreamRecorder> StreamRecorder::Reopen(int32_t port,
                                                       const RecordCheckpoint& checkpoint,
                                                       bool catch_up) {
  std::unique_ptr<StreamRecorder> recorder(new StreamRecorder());
  recorder->port_ = port;
  recorder->path_ = checkpoint.path;
  if (truncate(checkpoint.path.c_str(), checkpoint.file_size) != 0) {
    qx::log::Error("record", port, "cannot cut \"{}\" back to carry it on: {}", checkpoint.path,
                   qx::log::SystemErrorText(errno));
    return nullptr;
  }
  if (!recorder->OpenFile("mpegts", false)) return nullptr;
  if (avio_seek(recorder->output_->pb, checkpoint.file_size, SEEK_SET) < 0) return nullptr;
  for (const RecordCheckpoint::Stream& kept : checkpoint.streams) {
    AVStream* stream = avformat_new_stream(recorder->output_.get(), nullptr);
    if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, kept.parameters.get()) < 0) {
      return nullptr;
    }
    stream->time_base = kept.input_time_base;
    OutputStream entry;
    static_cast<StreamTiming&>(entry) = kept;
    entry.stream = stream;
    recorder->streams_.push_back(entry);
  }
  if (!recorder->WriteHeader(true)) return nullptr;
  recorder->started_ = true;
  recorder->reopened_ = catch_up;
  recorder->catching_up_ = catch_up;
  recorder->start_us_ = checkpoint.start_us;
  recorder->kept_pictures_ = checkpoint.kept_pictures;
  recorder->target_picture_ = checkpoint.last_picture;
  recorder->last_picture_ = checkpoint.last_picture;
  recorder->picture_order_ = checkpoint.picture_order;
  return recorder;
}

bool StreamRecorder::Checkpoint(RecordCheckpoint* checkpoint) {
  if (!started_ || finished_ || failed_ || container_ != RecordContainer::kMpegTs) return false;
  // Everything accepted so far goes out of the interleaving queue and the
  // muxer's own buffers, so the file's length marks the point exactly.
  int result = av_interleaved_write_frame(output_.get(), nullptr);
  if (result >= 0) result = av_write_frame(output_.get(), nullptr);
  if (result < 0) {
    Fail("writing", result);
    return false;
  }
  avio_flush(output_->pb);
  if (output_->pb->error < 0) {
    Fail("writing", output_->pb->error);
    return false;
  }
  checkpoint->path = path_;
  checkpoint->file_size = avio_tell(output_->pb);
  checkpoint->start_us = start_us_;
  checkpoint->streams.clear();
  for (const OutputStream& entry : streams_) {
    RecordCheckpoint::Stream kept;
    static_cast<StreamTiming&>(kept) = entry;
    kept.parameters.reset(avcodec_parameters_alloc());
    if (!kept.parameters ||
        avcodec_parameters_copy(kept.parameters.get(), entry.stream->codecpar) < 0) {
      return false;
    }
    checkpoint->streams.push_back(std::move(kept));
  }
  checkpoint->last_picture = last_picture_;
  checkpoint->picture_order = picture_order_;
  checkpoint->kept_pictures = earlier_group_;
  checkpoint->kept_pictures.insert(checkpoint->kept_pictures.end(), current_group_.begin(),
                                   current_group_.end());
  return true;
}

bool StreamRecorder::AlreadyWritten(const AVPacket& packet, int video) {
  if (!reopened_) return false;
  if (packet.stream_index != video) {
    // Sound read again is in the file up to the last time written.
    for (const OutputStream& entry : streams_) {
      if (entry.input_index != packet.stream_index) continue;
      return packet.dts != AV_NOPTS_VALUE && entry.last_input_dts != AV_NOPTS_VALUE &&
             packet.dts <= entry.last_input_dts;
    }
    return catching_up_;
  }
  if (!catching_up_) return false;
  const uint64_t picture = PacketFingerprint(packet);
  if (picture == target_picture_) {
    catching_up_ = false;  // the file's last picture: what follows is new
    return true;
  }
  if (std::find(kept_pictures_.begin(), kept_pictures_.end(), picture) != kept_pictures_.end()) {
    met_kept_picture_ = true;
    return true;
  }
  // The bytes read again may begin before the file's first picture (a file
  // begun at a switch): those pictures are in the file before it.
  if (!met_kept_picture_ && ++pictures_before_file_ <= kMaxPicturesBeforeFile) return true;
  qx::log::Warning("record", port_,
                   "the stream read again does not meet \"{}\"'s last picture; going on", path_);
  catching_up_ = false;
  return false;
}

}  // namespace qx::media
