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

namespace {

// The stopped file cut back to where the checkpoint found it.
bool CutBack(int32_t port, const RecordCheckpoint& checkpoint) {
  if (truncate(checkpoint.path.c_str(), checkpoint.file_size) == 0) return true;
  qx::log::Error("record", port, "cannot cut \"{}\" back to carry it on: {}", checkpoint.path,
                 qx::log::SystemErrorText(errno));
  return false;
}

}  // namespace

std::unique_ptr<StreamRecorder> StreamRecorder::Reopen(int32_t port,
                                                       const RecordCheckpoint& checkpoint,
                                                       bool catch_up) {
  std::unique_ptr<StreamRecorder> recorder(new StreamRecorder());
  recorder->port_ = port;
  recorder->path_ = checkpoint.path;
  recorder->container_ = checkpoint.container;
  recorder->header_size_ = checkpoint.header_size;
  const bool matroska = checkpoint.container == RecordContainer::kMatroska;
  if (matroska) {
    // The header goes to memory first: the file is cut back only when the
    // header will fit in place.
    AVFormatContext* output = nullptr;
    if (avformat_alloc_output_context2(&output, nullptr, "matroska", nullptr) < 0) return nullptr;
    recorder->output_.reset(output);
    if (avio_open_dyn_buf(&output->pb) < 0) return nullptr;
  } else {
    if (!CutBack(port, checkpoint)) return nullptr;
    if (!recorder->OpenFile("mpegts", false)) return nullptr;
    if (avio_seek(recorder->output_->pb, checkpoint.file_size, SEEK_SET) < 0) return nullptr;
  }
  // A recorder that could not be reopened holds no file of its own.
  bool header_in_memory = matroska;
  const auto give_up = [&recorder, &header_in_memory] {
    AVIOContext*& pb = recorder->output_->pb;
    if (header_in_memory && pb != nullptr) {
      uint8_t* header = nullptr;
      avio_close_dyn_buf(pb, &header);
      av_free(header);
      pb = nullptr;
    }
    recorder->finished_ = true;
    return nullptr;
  };
  for (const RecordCheckpoint::Stream& kept : checkpoint.streams) {
    AVStream* stream = avformat_new_stream(recorder->output_.get(), nullptr);
    if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, kept.parameters.get()) < 0) {
      return give_up();
    }
    stream->time_base = kept.input_time_base;
    OutputStream entry;
    static_cast<StreamTiming&>(entry) = kept;
    entry.stream = stream;
    recorder->streams_.push_back(entry);
  }
  if (!recorder->WriteHeader(true)) return give_up();
  if (matroska) {
    header_in_memory = false;  // the move takes it, whatever comes of it
    if (!recorder->MoveHeaderIntoFile(checkpoint)) return give_up();
  }
  recorder->started_ = true;
  recorder->reopened_ = catch_up;
  recorder->catching_up_ = catch_up;
  recorder->start_us_ = checkpoint.start_us;
  recorder->kept_pictures_ = checkpoint.kept_pictures;
  recorder->target_picture_ = checkpoint.last_picture;
  recorder->last_picture_ = checkpoint.last_picture;
  recorder->picture_order_ = checkpoint.picture_order;
  if (!catch_up && checkpoint.anchor_times) {
    recorder->anchor_times_ = std::make_unique<AnchorTimes>(checkpoint.anchor_times->Copy());
  }
  return recorder;
}

bool StreamRecorder::MoveHeaderIntoFile(const RecordCheckpoint& checkpoint) {
  uint8_t* header = nullptr;
  const int size = avio_close_dyn_buf(output_->pb, &header);
  output_->pb = nullptr;
  const std::unique_ptr<uint8_t, decltype(&av_free)> owned(header, &av_free);
  if (size != checkpoint.header_size) {
    qx::log::Warning("record", port_, "\"{}\" cannot be carried on: its header would change",
                     path_);
    return false;
  }
  // The same header in place (fresh values where the trailer will write
  // its own), then the clusters go on where the last one ended; the muxer
  // finds every element it patches at the end where it wrote it.
  if (!CutBack(port_, checkpoint) || !OpenFileForWriting(false)) return false;
  avio_write(output_->pb, header, size);
  if (avio_seek(output_->pb, checkpoint.file_size, SEEK_SET) < 0 || output_->pb->error < 0) {
    Fail("writing the header again into", output_->pb->error);
    return false;
  }
  return true;
}

bool StreamRecorder::Checkpoint(RecordCheckpoint* checkpoint) {
  const bool resumable =
      container_ == RecordContainer::kMpegTs || container_ == RecordContainer::kMatroska;
  if (!started_ || finished_ || failed_ || !resumable) return false;
  if (awaiting_decode_time_) ReleaseHeld(video_index_);
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
  checkpoint->container = container_;
  checkpoint->header_size = header_size_;
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
  checkpoint->anchor_times =
      anchor_times_ ? std::make_shared<const AnchorTimes>(anchor_times_->Copy()) : nullptr;
  checkpoint->kept_pictures = earlier_group_;
  checkpoint->kept_pictures.insert(checkpoint->kept_pictures.end(), current_group_.begin(),
                                   current_group_.end());
  return true;
}

void StreamRecorder::FindStreams(const AVFormatContext& input) {
  // Only where the container gives every stream an id of its own
  // (Matroska gives none: its streams keep their order anyway).
  for (size_t a = 0; a < streams_.size(); ++a) {
    for (size_t b = a + 1; b < streams_.size(); ++b) {
      if (streams_[a].input_id == streams_[b].input_id) return;
    }
  }
  for (OutputStream& entry : streams_) {
    // None while the reader has not met the stream yet.
    int found = -1;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
      if (input.streams[i]->id != entry.input_id) continue;
      if (found >= 0) return;  // two streams with one id: the ids tell nothing
      found = static_cast<int>(i);
    }
    entry.input_index = found;
  }
}

bool StreamRecorder::AlreadyWritten(const AVFormatContext& input, const AVPacket& packet,
                                    int video) {
  if (!reopened_) return false;
  FindStreams(input);
  if (packet.stream_index != video) {
    // Sound read again is in the file up to the last time written; none of
    // it was written yet: sound of the time before the file's first picture
    // never goes in (it went into the file before, or came before the
    // recording).
    for (const OutputStream& entry : streams_) {
      if (entry.input_index != packet.stream_index) continue;
      if (packet.dts == AV_NOPTS_VALUE) return catching_up_;
      if (entry.last_input_dts == AV_NOPTS_VALUE) {
        return av_rescale_q(packet.dts, entry.input_time_base, kMicroseconds) < start_us_;
      }
      return packet.dts <= entry.last_input_dts;
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
