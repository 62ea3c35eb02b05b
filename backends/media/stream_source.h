// A live port's pictures: the blocks pushed into the port's buffer,
// demuxed and decoded as they come (decoding starts at a key frame), each
// picture presented as soon as it is complete; the stream's sound; and the
// recording of the pushed blocks.
//
// The input is opened again on the bytes that follow whenever the demuxer
// cannot go on (bytes not recognised, an access unit too large to hold), so
// a stream never blocks its buffer for good. The pushed blocks reach the
// buffer, the stream's head and the recording in one order.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_STREAM_SOURCE_H
#define QXPLAYSDK_BACKENDS_MEDIA_STREAM_SOURCE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "backends/media/audio_output.h"
#include "backends/media/ffmpeg.h"
#include "backends/media/media_input.h"
#include "backends/media/mutex.h"
#include "backends/media/picture.h"
#include "backends/media/presenter.h"
#include "backends/media/sound_feed.h"
#include "backends/media/stream_buffer.h"
#include "backends/media/stream_decoder.h"
#include "backends/media/stream_head.h"
#include "backends/media/stream_remuxer.h"

namespace qx::media {

// Slice threads of a live stream's decoder, the port's own thread included.
inline constexpr int kLiveDecodeThreads = 2;

class StreamSource {
 public:
  // A buffer of `buffer_size` bytes (1 .. kMaxStreamBufferBytes, allocated
  // as bytes arrive); the initial block, when given, is the stream's first
  // bytes. Null when the sizes do not fit.
  static std::unique_ptr<StreamSource> Open(int32_t port, const uint8_t* initial_block,
                                            size_t initial_length, size_t buffer_size,
                                            Presenter& presenter,
                                            std::shared_ptr<AudioSource> audio);
  StreamSource(const StreamSource&) = delete;
  StreamSource& operator=(const StreamSource&) = delete;

  // Caller's threads.
  // kFull when the block does not fit into the buffer now, kTooLarge when
  // it is larger than the whole buffer.
  PushResult InputData(const uint8_t* data, size_t length) QX_EXCLUDES(push_mutex_);
  // No more bytes will come: the pictures still held are decoded and
  // presented at their time; later blocks are refused (kClosed).
  void EndStream() { buffer_->EndInput(); }
  // A playing port presents every picture complete in what was pushed, the
  // last ones included, before this returns. Not on the port's thread.
  void Drain() QX_EXCLUDES(drain_mutex_);
  // The port's thread stops reading, and a drain stops waiting for it.
  void Abort() QX_EXCLUDES(drain_mutex_);
  // Records the blocks pushed from now on into an MPEG-TS file (from their
  // first key frame on); on a recording port, hands over to the new file at
  // the next key frame.
  bool StartRecord(const std::string& file_name) QX_EXCLUDES(push_mutex_, record_mutex_);
  // Everything pushed so far goes into the file; false when no recording
  // runs.
  bool StopRecord() QX_EXCLUDES(record_mutex_);
  // What a recording that takes the blocks from the next one on must read
  // first (see Mp4StreamHead); empty when it needs nothing.
  StreamLeadIn LeadInForJoining() QX_EXCLUDES(push_mutex_);

  // The port's thread: reads the stream until it ends or fails, then waits
  // for the port to quit.
  void Run();

 private:
  StreamSource(int32_t port, size_t buffer_size, Presenter& presenter,
               std::shared_ptr<AudioSource> audio);

  // Reads the stream until it ends (false) or the input must be opened again
  // on the bytes that follow (true): after a drain, a read error or an
  // access unit too large to hold. What the decoder holds is presented first.
  bool ReadStream();
  void OpenDecoder();
  void Decode(const AVPacket* packet);
  std::optional<DecodedFrame> Label(const AVFrame& frame);
  void PlayAudio(const AVPacket& packet);
  // Every drain asked for so far is done.
  void CompleteDrains() QX_EXCLUDES(drain_mutex_);

  StreamLeadIn LeadInForJoiningLocked() QX_REQUIRES(push_mutex_);
  // A switch's start: the stopped file carried on, or null when it cannot
  // be.
  std::shared_ptr<StreamRemuxer> ResumeRecordingLocked(RecordResumption resumption,
                                                       const std::string& file_name)
      QX_REQUIRES(push_mutex_);

  const int32_t port_;
  Presenter& presenter_;
  const std::shared_ptr<AudioSource> audio_;
  const std::shared_ptr<StreamBuffer> buffer_;

  // A recording's start falls between two pushed blocks. Taken before
  // record_mutex_.
  Mutex push_mutex_ QX_ACQUIRED_BEFORE(record_mutex_);
  StreamHead stream_head_ QX_GUARDED_BY(push_mutex_);
  // The recording, shared by the caller's threads. A lock of its own, so
  // that writing a block never holds up control calls.
  Mutex record_mutex_;
  std::shared_ptr<StreamRemuxer> remuxer_ QX_GUARDED_BY(record_mutex_);
  // Left by the last stop until a start or a block comes.
  std::unique_ptr<RecordResumption> resumption_ QX_GUARDED_BY(record_mutex_);

  // Drains asked for by callers and done by the port's thread; the thread
  // has stopped reading (finished) or been told to (aborted).
  Mutex drain_mutex_;
  CondVar drain_changed_;
  uint64_t drains_requested_ QX_GUARDED_BY(drain_mutex_) = 0;
  uint64_t drains_done_ QX_GUARDED_BY(drain_mutex_) = 0;
  bool finished_ QX_GUARDED_BY(drain_mutex_) = false;
  bool aborted_ QX_GUARDED_BY(drain_mutex_) = false;

  // Port thread only.
  std::unique_ptr<MediaInput> input_;
  std::unique_ptr<StreamDecoder> video_decoder_;
  SoundFeed sound_;
  PictureConverter converter_;
  FramePtr decoded_ = MakeFrame();
  bool decoding_ = false;     // the decoder has had a key frame
  bool undecodable_ = false;  // no decoder opens for this input's video
  uint32_t next_number_ = 0;
  int64_t first_pts_ = AV_NOPTS_VALUE;
  double frame_rate_ = 25.0;
  int upright_turn_ = 0;  // clockwise degrees that show the pictures upright
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_SOURCE_H
