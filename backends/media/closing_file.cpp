#include "backends/media/closing_file.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/log.h"

namespace qx::media {

namespace {

std::optional<int64_t> TimeUs(const AVFormatContext& input, const AVPacket& packet) {
  const int64_t time = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
  if (time == AV_NOPTS_VALUE) return std::nullopt;
  return av_rescale_q(time, input.streams[packet.stream_index]->time_base, kMicroseconds);
}

}  // namespace

bool ClosingFile::Leave(int32_t port, std::unique_ptr<StreamRecorder> file,
                        const AVFormatContext& input, const AVPacket& key) {
  bool whole = Finish();
  // A key picture without a time (MPEG-PS) comes after the latest timed
  // one, by a frame or more: the sound of up to kUntimedKeyUs after that
  // goes into the file left rather than none (the next file leaves out
  // sound before its first picture).
  std::optional<int64_t> at = TimeUs(input, key);
  if (!at && latest_picture_us_ != AV_NOPTS_VALUE) at = latest_picture_us_ + kUntimedKeyUs;
  if (file && !file->started()) {
    // Switched away before any picture came: the next file takes the
    // stream from its first key frame; the empty one is no write error.
    qx::log::Warning("record", port, "a file switched away from before any picture came");
    file->Finish();
    return whole;
  }
  if (!file || !at) return (!file || file->Finish()) && whole;
  file_ = std::move(file);
  switch_us_ = *at;
  sound_past_switch_.clear();
  return whole;
}

bool ClosingFile::Take(const AVFormatContext& input, int video, int audio, const AVPacket& packet,
                       bool* finished_whole) {
  *finished_whole = true;
  const std::optional<int64_t> at = TimeUs(input, packet);
  if (packet.stream_index == video && at) latest_picture_us_ = std::max(latest_picture_us_, *at);
  if (!file_) return false;
  if (packet.stream_index == video) {
    if (at && *at > switch_us_ + kLateSoundUs) *finished_whole = Finish();
    return false;
  }
  if (!at || !IsSound(input, packet.stream_index)) return false;
  if (*at >= switch_us_) {
    sound_past_switch_.insert(packet.stream_index);
    if (sound_past_switch_.size() >= SoundStreams(input, audio).size()) {
      *finished_whole = Finish();
    }
    return false;
  }
  file_->Write(input, video, audio, packet);
  return true;
}

bool ClosingFile::Finish() {
  if (!file_) return true;
  const bool whole = file_->Finish();
  file_.reset();
  return whole;
}

}  // namespace qx::media
