// Recording without re-encoding: the packets a port reads are copied into a
// file of their own container.
//
// The file starts at the first video key frame, so that it can be played
// from its beginning; timestamps are moved so that the file starts at 0.
// When a stream's timestamps restart or leap (an encoder restart), the
// stream is rebased so that its file goes on one frame after the packet
// written before.
//
// Every write error (a full disk, a vanished folder) and the trailer's
// result are kept: Finish reports whether the file is whole, and the reason
// goes to the logger (component "record").
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
  // `port` names the recording in log lines only.
  static std::unique_ptr<StreamRecorder> Create(int32_t port, const std::string& path,
                                                RecordContainer container);
  ~StreamRecorder();
  StreamRecorder(const StreamRecorder&) = delete;
  StreamRecorder& operator=(const StreamRecorder&) = delete;

  // Copies a packet read from `input`; `video` and `audio` are the input's
  // chosen streams (-1 none). Packets of other streams, and everything before
  // the first video key frame, are left out.
  void Write(const AVFormatContext& input, int video, int audio, const AVPacket& packet);
  // Completes the file (its index, for 3GP). True when the file began (a
  // key frame came), every packet and the trailer were written and the file
  // was closed without an error.
  bool Finish();

  int64_t packets_written() const { return packets_written_; }
  // The first key frame has come and the file has begun.
  bool started() const { return started_; }
  // A write has failed; the file is not whole.
  bool failed() const { return failed_; }

 private:
  StreamRecorder() = default;
  bool Begin(const AVFormatContext& input, int video, int audio);

  struct OutputStream {
    int input_index = -1;
    AVStream* stream = nullptr;
    AVRational input_time_base{1, 1};
    int64_t next_dts = 0;  // in the input time base, for packets without timestamps
    int64_t frame_duration = 0;
    int64_t rebase = 0;                 // added to the input's timestamps after a restart
    int64_t last_dts = AV_NOPTS_VALUE;  // last written, in the input time base
  };
  void Fail(const char* what, int code);

  struct OutputContextDeleter {
    void operator()(AVFormatContext* context) const;
  };
  std::unique_ptr<AVFormatContext, OutputContextDeleter> output_;
  RecordContainer container_ = RecordContainer::kMpegTs;
  int32_t port_ = -1;
  std::string path_;
  bool failed_ = false;
  std::vector<OutputStream> streams_;
  bool started_ = false;
  bool finished_ = false;
  int64_t start_us_ = 0;  // input time of the first key frame
  int64_t packets_written_ = 0;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_RECORDER_H
