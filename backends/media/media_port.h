// One port of the engine: a file or a live stream with its own thread that
// demuxes, decodes, paces and presents pictures, plays sound, records, and
// makes the port's notifications. The port's thread runs its source (a
// FileSource or a StreamSource), which hands its pictures to the port's
// Presenter; this class opens them, owns the thread and answers callers.
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
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "backends/media/audio_output.h"
#include "backends/media/background_index.h"
#include "backends/media/file_source.h"
#include "backends/media/picture.h"
#include "backends/media/presenter.h"
#include "backends/media/stream_buffer.h"
#include "backends/media/stream_lead_in.h"
#include "backends/media/stream_source.h"
#include "backends/player.h"

namespace qx::media {

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

  bool is_file() const { return file_ != nullptr; }
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
  StreamLeadIn LeadInForJoining();

 private:
  MediaPort(int32_t port, const PortOptions& options);
  void StartThread(std::shared_ptr<MediaPort> self);
  // The port's thread failed (memory exhausted): close the port's way.
  void Fail() noexcept;
  bool OnPortThread() const;
  // Runs a command on a file port's thread and answers its result; from
  // the port's thread or inside a notification, answers once it is queued.
  bool RunCommand(CommandKind kind, int64_t value);

  const int32_t port_;
  const std::shared_ptr<AudioSource> audio_;
  Presenter presenter_;
  // One of the two, set before the thread starts.
  std::unique_ptr<FileSource> file_;
  std::unique_ptr<StreamSource> stream_;

  std::atomic<std::thread::id> thread_id_{};  // the port's thread, once it runs
  std::thread thread_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MEDIA_PORT_H
