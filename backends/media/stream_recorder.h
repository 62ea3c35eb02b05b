// Recording without re-encoding: the packets a port reads are copied into a
// file of their own container.
//
// The file starts at the first video key frame, so that it can be played
// from its beginning; timestamps are moved so that the file starts at 0.
// Containers: MPEG-TS for the player's recordings (readable up to the last
// packet written even when the process dies), 3GP for the converter (its
// index is written when the file is finished).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_STREAM_RECORDER_H
#define QXPLAYSDK_BACKENDS_MEDIA_STREAM_RECORDER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "backends/media/ffmpeg.h"

namespace qx::media {

enum class RecordContainer { kMpegTs, k3gp };

class StreamRecorder {
 public:
  // Creates the file at once (so that a bad name fails here); null when it
  // cannot be created.
  static std::unique_ptr<StreamRecorder> Create(const std::string& path, RecordContainer container);
  ~StreamRecorder();
  StreamRecorder(const StreamRecorder&) = delete;
  StreamRecorder& operator=(const StreamRecorder&) = delete;

  // Copies a packet read from `input`; `video` and `audio` are the input's
  // chosen streams (-1 none). Packets of other streams, and everything before
  // the first video key frame, are left out.
  void Write(const AVFormatContext& input, int video, int audio, const AVPacket& packet);
  // Completes the file (its index, for 3GP). True when the file holds at
  // least its header and every trailer was written.
  bool Finish();

  int64_t packets_written() const { return packets_written_; }

 private:
  StreamRecorder() = default;
  bool Begin(const AVFormatContext& input, int video, int audio);

  struct OutputStream {
    int input_index = -1;
    AVStream* stream = nullptr;
    AVRational input_time_base{1, 1};
    int64_t next_dts = 0;  // in the input time base, for packets without timestamps
    int64_t frame_duration = 0;
  };

  struct OutputContextDeleter {
    void operator()(AVFormatContext* context) const;
  };
  std::unique_ptr<AVFormatContext, OutputContextDeleter> output_;
  RecordContainer container_ = RecordContainer::kMpegTs;
  std::vector<OutputStream> streams_;
  bool started_ = false;
  bool finished_ = false;
  int64_t start_us_ = 0;  // input time of the first key frame
  int64_t packets_written_ = 0;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_RECORDER_H
