// A recording file left at a switch, kept open for the sound that belongs
// before the switch.
//
// Containers carry sound up to a second or so away from the pictures of its
// moment (FFmpeg's MPEG-PS muxer holds it 0.7 s behind), so at the key
// frame where the next file begins, sound of the time before it is still to
// come. It goes into the file being left, which is finished once the
// sound has reached the switch (or the pictures are well past it, or at
// the stop); sound of the time after the switch goes into the next file. Without it the sound of
// each switch's last moments went into neither.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_CLOSING_FILE_H
#define QXPLAYSDK_BACKENDS_MEDIA_CLOSING_FILE_H

#include <cstdint>
#include <memory>
#include <set>

#include "backends/media/ffmpeg.h"
#include "backends/media/stream_recorder.h"

namespace qx::media {

class ClosingFile {
 public:
  ClosingFile() = default;
  ClosingFile(const ClosingFile&) = delete;
  ClosingFile& operator=(const ClosingFile&) = delete;
  ~ClosingFile() { Finish(); }

  // Leaves `file` at the key frame `key` of `input`'s video, where the next
  // file begins; a file left before that is finished first. False when a
  // file finished here was not whole.
  // `port` names the recording in log lines.
  bool Leave(int32_t port, std::unique_ptr<StreamRecorder> file, const AVFormatContext& input,
             const AVPacket& key);
  // Sound of the time before the switch goes into the file left (true:
  // taken). Once every sound stream has reached the switch, or the pictures
  // are far past it, the file is finished (`*finished_whole` says how).
  bool Take(const AVFormatContext& input, int video, int audio, const AVPacket& packet,
            bool* finished_whole);
  // Finishes the file left, if any; false when it was not whole.
  bool Finish();

 private:
  std::unique_ptr<StreamRecorder> file_;
  int64_t switch_us_ = 0;                       // the key frame's time
  std::set<int> sound_past_switch_;             // input streams
  int64_t latest_picture_us_ = AV_NOPTS_VALUE;  // of the pictures read so far
  // Sound this far behind the pictures is still taken.
  static constexpr int64_t kLateSoundUs = 2'000'000;
  // Pictures at 5 frames a second and faster.
  static constexpr int64_t kUntimedKeyUs = 200'000;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_CLOSING_FILE_H
