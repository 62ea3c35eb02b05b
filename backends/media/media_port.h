// One port of the engine: a file or a live stream with its own thread that
// demuxes, decodes, paces and presents pictures, plays sound, records, and
// makes the port's notifications.
//
// Frame numbers count from 0 in presentation order. A file's frames are
// known exactly from its packet index (see FrameIndex): jumping to a frame
// or stepping back decodes from the key frame before it and lands on that
// very frame. Frames decoded only to reach a jump's target are neither shown
// nor reported. The index may still be in the making while the file plays
// from its start (see BackgroundIndex): the frame count, jumps and the
// position wait for it, from any thread (the index's thread needs no other),
// until it is whole or the port closes.
//
// Notifications run on the port's thread, never with an engine lock held:
//  - decode, once per presented frame: (port, address of the picture in
//    planar YUV 4:2:0, its size in bytes, frame information, user data,
//    frame number); the picture is valid during the call.
//  - draw, once per presented frame, after the picture went to the window:
//    (port, the window handle or 0, user data).
//  - file end, once each time a file port's playback reaches its end:
//    (port, user data).
// After Stop (or Close) has returned no notification of the port begins:
// each one begins only while the port plays, and Stop waits for one already
// under way on the port's thread. Called from inside a notification (of any
// port), Stop does not wait, since the port's thread may be waiting for the
// caller's; it still begins no further notification of the port.
//
// An operation that waits for the port's thread (a jump, a step) does not
// wait when called from inside a notification either: the command is queued
// and the call answers once it is accepted. Close called there does not
// present a live stream's last pictures, and when the port's thread is
// itself inside a notification it does not wait for that thread to end
// (the thread ends, and lets go of the port, as soon as its notification
// returns); otherwise it waits for the thread as everywhere else.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_MEDIA_PORT_H
#define QXPLAYSDK_BACKENDS_MEDIA_MEDIA_PORT_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backends/media/audio_output.h"
#include "backends/media/background_index.h"
#include "backends/media/ffmpeg.h"
#include "backends/media/file_recording.h"
#include "backends/media/frame_index.h"
#include "backends/media/media_input.h"
#include "backends/media/mp4_stream_head.h"
#include "backends/media/mutex.h"
#include "backends/media/picture.h"
#include "backends/media/provisional_numbers.h"
#include "backends/media/render_service.h"
#include "backends/media/stream_buffer.h"
#include "backends/media/stream_decoder.h"
#include "backends/media/stream_recorder.h"
#include "backends/media/stream_remuxer.h"
#include "backends/player.h"

namespace qx::media {

// Slice threads of a live stream's decoder, the port's own thread included.
inline constexpr int kLiveDecodeThreads = 2;

struct PortOptions {
  // Present each frame at its time (scaled by the speed); false presents
  // them as fast as they are decoded.
  bool paced = true;
  // Decoding threads for files (live streams decode with
  // kLiveDecodeThreads slice threads); 0 is one per core.
  int decode_threads = 0;
  // Files indexed in the background: the index is read only once this gate
  // opens (null: at once).
  std::shared_ptr<IndexGate> index_gate;
};

// Speed levels: 0 is normal speed, each level doubles or halves it, from
// -4 (1/16) to 4 (16 times).
// Steps beyond them are counted (up to kMaxSpeedSteps either way) but play
// at the nearest level.
inline constexpr int kSlowestLevel = -4;
inline constexpr int kFastestLevel = 4;
inline constexpr int kMaxSpeedSteps = 16;

class MediaPort {
 public:
  // Opens a file and starts its index. Null when it is no media file with
  // video.
  static std::shared_ptr<MediaPort> OpenFile(int32_t port, const std::string& path,
                                             const PortOptions& options = {});
  // Opens a live stream whose bytes will be pushed with InputData into a
  // buffer of `buffer_size` bytes (1 .. kMaxStreamBufferBytes, allocated as
  // bytes arrive); the initial block, when given, is the stream's first
  // bytes. A stream whose format is not recognised is probed again on the
  // bytes that follow, so it never blocks the buffer for good.
  static std::shared_ptr<MediaPort> OpenStream(int32_t port, const uint8_t* initial_block,
                                               size_t initial_length, size_t buffer_size,
                                               const PortOptions& options = {});
  ~MediaPort();
  MediaPort(const MediaPort&) = delete;
  MediaPort& operator=(const MediaPort&) = delete;

  // Ends the thread and lets go of the window, the sound and a running
  // recording (which is finished). A playing live stream first presents
  // every picture complete in the bytes pushed, the last ones included
  // (which the demuxer would otherwise hold until more bytes came), unless
  // the close is made from inside a notification (see the class comment).
  void Close();

  bool is_file() const { return !path_.empty(); }
  int32_t port() const { return port_; }

  // Live streams: kFull when the block does not fit into the buffer now,
  // kTooLarge when it is larger than the whole buffer.
  PushResult InputData(const uint8_t* data, size_t length);
  // Live streams: no more bytes will come. The pictures still held (the
  // last ones, which wait for bytes that would complete them) are decoded
  // and presented at their time; later blocks are refused (kClosed).
  void EndStream();

  // Starts playing into `window` (null: no window). On a playing port: a
  // window replaces the current one; null keeps it; either way normal speed
  // and unpaused.
  bool Play(void* window);
  // Stops playing; a file starts from its beginning at the next Play.
  bool Stop();
  bool Pause(bool pause);
  bool Faster();
  bool Slower();
  // The level played at, kSlowestLevel..kFastestLevel.
  int speed_level() const;

  // Files, while playing: pause and show the next / previous frame.
  bool StepForward();
  bool StepBack();
  // Files: jump to the frame at this fraction (0..1) of the file / to a
  // frame number. Waits until the frame has been decoded.
  bool SetPosition(float position);
  float Position() const;
  bool SetCurrentFrame(uint32_t frame);
  uint32_t TotalFrames() const;
  // Bytes of a file port's frame index (0 for a live stream).
  // Bytes the whole frame index holds (waiting for it); 0 for live ports.
  size_t IndexBytes() const;
  // Files: frames from the beginning up to the one shown (its number + 1).
  // Live streams: frames presented since the stream was opened.
  uint32_t PlayedFrames() const;
  // Number of the frame presented last, -1 before the first.
  int64_t CurrentFrame() const;

  // Writes the picture presented last; true once the file is complete.
  bool CapturePicture(const std::string& file_name) const;
  bool SetColour(const ColourSettings& colour);
  ColourSettings Colour() const;
  // The colour operations as the player and 3GPP play libraries take them:
  // one region, 0; false for another region or a null out-pointer.
  bool SetRegionColour(int32_t region, int32_t brightness, int32_t contrast, int32_t saturation,
                       int32_t hue);
  bool GetRegionColour(int32_t region, int32_t* brightness, int32_t* contrast, int32_t* saturation,
                       int32_t* hue) const;

  bool SetSound(bool on);
  bool sound_on() const { return audio_->audible(); }
  void SetVolume(uint16_t volume) { audio_->SetVolume(volume); }
  uint16_t Volume() const { return audio_->volume(); }
  // Voice audio from the far end: 8 kHz G.711 mu-law, played while sound is
  // on. False when more than two seconds are already waiting.
  bool InputAudio(const uint8_t* data, size_t length);

  void SetDrawCallback(PlayerDrawCallback callback, uintptr_t user);
  void SetFileEndCallback(PlayerFileEndCallback callback, uintptr_t user);
  void SetDecodeCallback(PlayerDecodeCallback callback, uintptr_t user);

  // Records into an MPEG-TS file (a recording already running is finished
  // first), without disturbing playback. A file port records the packets it
  // plays; a live stream records the blocks as they are pushed, whether or
  // not it plays, so a file holds exactly the blocks pushed while it was
  // being recorded (from its first key frame on).
  bool StartRecord(const std::string& file_name);
  // False when no recording runs.
  bool StopRecord();
  // What a recording that takes this live stream's blocks from the next one
  // on must read first (see Mp4StreamHead); empty when it needs nothing.
  StreamLeadIn LeadInForJoining() QX_EXCLUDES(push_mutex_);

 private:
  enum class CommandKind { kStart, kSeek, kStep };
  struct Command {
    CommandKind kind = CommandKind::kStart;
    int64_t value = 0;
    std::shared_ptr<std::promise<bool>> done;
  };
  struct DecodedFrame {
    FramePtr picture;  // 4:2:0 planar
    uint32_t number = 0;
    int64_t timestamp_ms = 0;
    bool key = false;
  };
  struct Callbacks {
    PlayerDrawCallback draw = nullptr;
    uintptr_t draw_user = 0;
    PlayerFileEndCallback file_end = nullptr;
    uintptr_t file_end_user = 0;
    PlayerDecodeCallback decode = nullptr;
    uintptr_t decode_user = 0;
  };

  MediaPort(int32_t port, const PortOptions& options);
  void StartThread(std::shared_ptr<MediaPort> self);
  // The port's thread failed (memory exhausted): close the port's way.
  void Fail() noexcept;
  bool OnPortThread() const;
  int EffectiveSpeedLevel() const QX_REQUIRES(mutex_);
  bool RunCommand(CommandKind kind, int64_t value);
  // Port thread: whether a notification may begin now (the port plays and
  // is open); if so, EndNotification() must follow the caller's function.
  // A notification that hands over a picture (`counts_picture`) counts it as
  // played as it begins.
  bool BeginNotification(bool counts_picture);
  void EndNotification();

  // Port thread.
  void RunFile();
  void RunStream();
  // Reads the stream until it ends (false) or the input must be opened again
  // on the bytes that follow (true): after a drain, a read error or an
  // access unit too large to hold. What the decoder holds is presented first.
  bool ReadStream();
  void FlushStreamDecoder();
  // Caller's threads: a playing live port presents every picture complete in
  // what was pushed, before Close goes on.
  void DrainStream();
  // Port thread: every drain asked for so far is done.
  void CompleteDrains();
  bool Execute(const Command& command);
  void Advance();
  std::optional<DecodedFrame> DecodeNext(bool seeking);
  std::optional<DecodedFrame> Label(const AVFrame& frame);
  bool SeekToFrame(uint32_t frame, bool present);
  // The file is read again from its start (frame 0 needs no index).
  bool Rewind();
  bool Reposition(const FrameIndex& index, uint32_t key_packet);
  bool LandOn(const FrameIndex& index, uint32_t key_packet);
  // The next packet of the file: a held video packet first, then the
  // input's. `recorded` says whether the recording has had it already.
  int ReadPacket(AVPacket* packet, bool* recorded);
  // Reads on, before a picture waits for the sound, until enough sound
  // waits to be played; the video packets read meanwhile are held.
  void ReadSoundAhead();
  void ForgetHeldPackets();
  bool WaitUntilDue(int64_t timestamp_ms);
  void Present(DecodedFrame frame);
  void ReachEnd();
  void Record(const AVPacket& packet);
  void PlayAudio(const AVPacket& packet);
  // Decoded samples' media time in microseconds on the pictures' time line
  // (AudioSource::kUnknownTime when it cannot be told).
  int64_t SoundTimeUs(const AVFrame& samples, const AVStream& audio) const;
  void OpenStreamDecoder();

  const int32_t port_;
  const PortOptions options_;
  const RenderTargetId target_;
  const std::shared_ptr<AudioSource> audio_;
  std::string path_;
  std::shared_ptr<StreamBuffer> buffer_;
  std::unique_ptr<BackgroundIndex> index_;  // files

  // Shared by the caller's threads and the port's thread.
  mutable Mutex mutex_;
  CondVar wake_;
  std::deque<Command> commands_ QX_GUARDED_BY(mutex_);
  bool quit_ QX_GUARDED_BY(mutex_) = false;
  bool playing_ QX_GUARDED_BY(mutex_) = false;
  bool paused_ QX_GUARDED_BY(mutex_) = false;
  bool ended_ QX_GUARDED_BY(mutex_) = false;
  bool rewind_on_start_ QX_GUARDED_BY(mutex_) = false;
  int speed_level_ QX_GUARDED_BY(mutex_) = 0;
  void* window_ QX_GUARDED_BY(mutex_) = nullptr;
  ColourSettings colour_ QX_GUARDED_BY(mutex_);
  Callbacks callbacks_ QX_GUARDED_BY(mutex_);
  FramePtr current_picture_ QX_GUARDED_BY(mutex_);
  int64_t current_number_ QX_GUARDED_BY(mutex_) = -1;
  uint32_t presented_count_ QX_GUARDED_BY(mutex_) = 0;
  bool clock_valid_ QX_GUARDED_BY(mutex_) = false;
  // Live streams: a drain is under way (pictures are presented unpaced), and
  // the drains asked for / done; the port thread has stopped reading.
  bool draining_ QX_GUARDED_BY(mutex_) = false;
  uint64_t drains_requested_ QX_GUARDED_BY(mutex_) = 0;
  uint64_t drains_done_ QX_GUARDED_BY(mutex_) = 0;
  bool stream_finished_ QX_GUARDED_BY(mutex_) = false;
  std::chrono::steady_clock::time_point anchor_wall_ QX_GUARDED_BY(mutex_);
  int64_t anchor_ms_ QX_GUARDED_BY(mutex_) = 0;
  // Notifications begun and ended; Stop waits until those begun before it
  // have ended.
  uint64_t notifications_begun_ QX_GUARDED_BY(mutex_) = 0;
  uint64_t notifications_ended_ QX_GUARDED_BY(mutex_) = 0;
  CondVar notification_ended_;

  // Pushed blocks reach the port's buffer, the stream's head and the
  // recording in one order, and a recording's start falls between two
  // blocks. Taken before record_mutex_.
  Mutex push_mutex_ QX_ACQUIRED_BEFORE(record_mutex_);
  Mp4StreamHead stream_head_ QX_GUARDED_BY(push_mutex_);
  StreamLeadIn LeadInForJoiningLocked() QX_REQUIRES(push_mutex_);
  // A switch's start on a live port: the stopped file carried on, or null
  // when it cannot be.
  std::shared_ptr<StreamRemuxer> ResumeRecordingLocked(RecordResumption resumption,
                                                       const std::string& file_name)
      QX_REQUIRES(push_mutex_);

  // The live recording, shared by the caller's threads and the port's
  // thread. A lock of its own, so that writing a packet never holds up
  // control calls.
  Mutex record_mutex_;
  FileRecording file_recording_{port_};                                  // files; locks on its own
  std::shared_ptr<StreamRemuxer> remuxer_ QX_GUARDED_BY(record_mutex_);  // live streams
  // Left by the last stop of a live recording until a start or a block
  // comes.
  std::unique_ptr<RecordResumption> resumption_ QX_GUARDED_BY(record_mutex_);

  // Port thread only.
  std::unique_ptr<MediaInput> input_;
  std::unique_ptr<StreamDecoder> video_decoder_;
  std::unique_ptr<StreamDecoder> audio_decoder_;
  PictureConverter converter_;
  // Video packets read but not yet given to the decoder, in file order: the
  // key packet a jump landed on, and pictures read past while reading the
  // sound ahead.
  struct HeldPacket {
    PacketPtr packet;
    bool recorded = false;
  };
  std::deque<HeldPacket> held_;
  bool held_input_ended_ = false;  // the input ended while reading ahead
  FramePtr decoded_;
  std::optional<DecodedFrame> pending_;
  std::vector<uint8_t> packed_;
  bool input_ended_ = false;
  bool drained_ = false;
  bool decoding_ = false;  // live: the decoder has had a key frame
  uint32_t next_number_ = 0;
  uint32_t next_decode_index_ = 0;  // of the next video packet read from a file
  // A file's video packets reach the decoder tagged with their decode index
  // in place of their presentation time, kept here by tag until the picture
  // comes back (decoders hold far fewer packets than this).
  static constexpr uint32_t kTagsKept = 1024;
  std::vector<int64_t> pts_of_tag_ = std::vector<int64_t>(kTagsKept, AV_NOPTS_VALUE);
  // While a file's index is being built, pictures played from the start are
  // numbered as the index will number them and timed from the first one's
  // timestamp.
  ProvisionalNumbers provisional_numbers_;
  int64_t provisional_origin_ = AV_NOPTS_VALUE;
  bool untimed_packet_read_ = false;  // a video packet without a timestamp
  int64_t first_stream_pts_ = AV_NOPTS_VALUE;
  double frame_rate_ = 25.0;
  int upright_turn_ = 0;  // clockwise degrees that show the pictures upright

  std::atomic<std::thread::id> thread_id_{};  // the port's thread, once it runs
  std::thread thread_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MEDIA_PORT_H
