// A file port's pictures: the file read and decoded in order, each picture
// numbered and timed from the frame index (or, while the index is still
// being built, as it will number them); jumps and steps that land on the
// very frame; the file's sound; and the recording of what it plays.
//
// Frames decoded only to reach a jump's target are neither shown nor
// reported. Everything but the index and the recording runs on the port's
// thread.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FILE_SOURCE_H
#define QXPLAYSDK_BACKENDS_MEDIA_FILE_SOURCE_H

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backends/media/audio_output.h"
#include "backends/media/background_index.h"
#include "backends/media/ffmpeg.h"
#include "backends/media/file_recording.h"
#include "backends/media/frame_index.h"
#include "backends/media/media_input.h"
#include "backends/media/picture.h"
#include "backends/media/presenter.h"
#include "backends/media/provisional_numbers.h"
#include "backends/media/sound_feed.h"
#include "backends/media/stream_decoder.h"

namespace qx::media {

class FileSource {
 public:
  // Opens the file and starts its index (read on the index's own thread
  // once `index_gate` opens, unless the container holds one). Null when it
  // is no media file with video, or its video cannot be decoded.
  // `decode_threads`: 0 is one per core.
  static std::unique_ptr<FileSource> Open(int32_t port, const std::string& path, int decode_threads,
                                          const std::shared_ptr<IndexGate>& index_gate,
                                          Presenter& presenter, std::shared_ptr<AudioSource> audio);
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // The port's thread: runs the callers' commands and plays until the port
  // quits.
  void Run();

  // Any thread.
  const BackgroundIndex& index() const { return *index_; }
  // A jump waiting for the index gives up.
  void Abort() { index_->Stop(); }
  bool StartRecord(const std::string& file_name) { return recording_.Start(file_name); }
  bool StopRecord() { return recording_.Stop(); }

 private:
  // A key packet played while the index is being built.
  struct PlayedKey {
    uint32_t decode_index = 0;
    int64_t position = -1;       // its byte offset; -1 when unknown
    int64_t seek_position = -1;  // where a byte seek reads it first
    int64_t dts = AV_NOPTS_VALUE;
    int64_t pts = AV_NOPTS_VALUE;
    std::optional<uint32_t> number;  // once its picture came out
    ProvisionalNumbers numbers;      // as they stood before it was read
  };

  FileSource(int32_t port, std::string path, Presenter& presenter,
             std::shared_ptr<AudioSource> audio);

  bool Execute(const Command& command);
  void Advance();
  std::optional<DecodedFrame> DecodeNext(bool seeking);
  std::optional<DecodedFrame> Label(const AVFrame& frame);
  bool SeekToFrame(uint32_t frame, bool present);
  // A step back before the index is whole: decoding again from a key frame
  // played since the start, when one before the frame is known and found
  // again. False when it cannot (the caller then waits for the index).
  bool StepBackWithoutIndex(uint32_t frame);
  // Puts the input where it reads `key` next; false when it is not found
  // again.
  bool ReadAgainFrom(const PlayedKey& key);
  // Decoding goes on from the key packet (decode index `key`, its picture
  // numbered `number`) that the input now holds first.
  void RestartDecodingAt(uint32_t key, uint32_t number);
  // Decodes up to `frame` and shows it (presented, or only made the one
  // shown); false when the file ends first or another frame comes instead.
  bool DecodeTo(uint32_t frame, bool present);
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
  // A video packet about to be decoded while the index is being built.
  // Gives the packet's presentation time as its picture is numbered by.
  int64_t NoteProvisionalPacket(const AVPacket& packet);
  void Record(const AVPacket& packet);
  void PlayAudio(const AVPacket& packet);
  // Where the pictures' time line starts, in the video stream's time base.
  int64_t TimelineOrigin() const;

  const int32_t port_;
  const std::string path_;
  Presenter& presenter_;
  const std::shared_ptr<AudioSource> audio_;
  std::unique_ptr<BackgroundIndex> index_;
  FileRecording recording_{port_};  // locks on its own

  // Port thread only.
  std::unique_ptr<MediaInput> input_;
  std::unique_ptr<StreamDecoder> video_decoder_;
  SoundFeed sound_;
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
  FramePtr decoded_ = MakeFrame();
  std::optional<DecodedFrame> pending_;
  bool input_ended_ = false;
  bool drained_ = false;
  uint32_t next_number_ = 0;
  uint32_t next_decode_index_ = 0;  // of the next video packet read
  // The presentation time, as frames are numbered by it, of the last video
  // packet read (see PlayAudio).
  int64_t picture_time_read_ = AV_NOPTS_VALUE;
  // Video packets reach the decoder tagged with their decode index in place
  // of their presentation time, kept here by tag until the picture comes
  // back (decoders hold far fewer packets than this).
  static constexpr uint32_t kTagsKept = 1024;
  std::vector<int64_t> pts_of_tag_ = std::vector<int64_t>(kTagsKept, AV_NOPTS_VALUE);
  // While the index is being built, pictures played from the start are
  // numbered as the index will number them and timed from the first one's
  // timestamp.
  ProvisionalNumbers provisional_numbers_;
  int64_t provisional_origin_ = AV_NOPTS_VALUE;
  bool untimed_packet_read_ = false;  // a video packet without a timestamp
  // The key packets read while the index is being built (the last ones),
  // so that a step back to their pictures need not wait for the index.
  static constexpr size_t kPlayedKeysKept = 64;
  std::deque<PlayedKey> played_keys_;
  // Byte offsets of the last video packets read with one: a demuxer that
  // cuts pictures out of the bytes finds a picture's start when it is sought
  // from the picture before.
  static constexpr size_t kRecentPositionsKept = 16;
  std::deque<int64_t> recent_positions_;
  double frame_rate_ = 25.0;
  int upright_turn_ = 0;  // clockwise degrees that show the pictures upright
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FILE_SOURCE_H
