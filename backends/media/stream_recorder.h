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
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backends/media/anchor_times.h"
#include "backends/media/ffmpeg.h"
#include "backends/media/picture_order.h"
#include "backends/media/record_checkpoint.h"
#include "backends/media/record_formats.h"

namespace qx::media {

// Every sound stream of `input` goes into a recording: `audio` (the one the
// port plays, -1 for none) first, then the others in the input's order.
std::vector<int> SoundStreams(const AVFormatContext& input, int audio);
bool IsSound(const AVFormatContext& input, int index);

class StreamRecorder {
 public:
  // Creates the file at once (so that a bad name fails here); null when it
  // cannot be created.
  // `port` names the recording in log lines only.
  static std::unique_ptr<StreamRecorder> Create(int32_t port, const std::string& path,
                                                RecordContainer container);
  // Carries a stopped MPEG-TS or Matroska file on from `checkpoint`: the
  // file is cut back to its length there and written on with the same
  // timestamps (a Matroska file's index then covers the clusters written
  // from there on). The
  // packets of the stream read again are skipped while the file holds them
  // (see AlreadyWritten). Null when the file cannot be reopened.
  // `catch_up` false: the packets that follow are all new (a file port,
  // whose packets are never read twice).
  static std::unique_ptr<StreamRecorder> Reopen(int32_t port, const RecordCheckpoint& checkpoint,
                                                bool catch_up = true);
  ~StreamRecorder();
  StreamRecorder(const StreamRecorder&) = delete;
  StreamRecorder& operator=(const StreamRecorder&) = delete;

  // Copies a packet read from `input`; `video` and `audio` are the input's
  // chosen streams (-1 none). Every sound stream is recorded; packets of
  // other streams (data, subtitles, a second video), and everything before
  // the first video key frame, are left out.
  void Write(const AVFormatContext& input, int video, int audio, const AVPacket& packet);
  // A reopened recorder: whether the packet, read again from the stream, is
  // one the file already holds (pictures by fingerprint, sound by time).
  bool AlreadyWritten(const AVFormatContext& input, const AVPacket& packet, int video);
  // A sound packet that goes into another file (see ClosingFile): a file
  // not begun yet learns the sound's format from it all the same, which it
  // waits for before it begins.
  void NoteSound(const AVPacket& packet);
  bool catching_up() const { return catching_up_; }
  // A reopened recorder: finds its streams in `input` by their ids, where
  // a reader of the bytes read again may have numbered them otherwise.
  void FindStreams(const AVFormatContext& input);

  // MPEG-TS and Matroska: pushes everything written out to the file and
  // says where the file stands (see RecordCheckpoint). False for a file that has not begun
  // or has failed.
  bool Checkpoint(RecordCheckpoint* checkpoint);

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
  bool Begin(const AVFormatContext& input, int video, int audio, const AVPacket& key);
  bool ChooseContainer(const AVFormatContext& input, int video, int audio);

  struct OutputStream : StreamTiming {
    AVStream* stream = nullptr;
  };
  bool OpenFile(const char* format, bool truncate);
  // The file under output_, for writing; `truncate` false keeps its bytes.
  bool OpenFileForWriting(bool truncate);
  // A reopened Matroska file: the header written to memory goes in place
  // of the file's own, and the file goes on from the checkpoint.
  bool MoveHeaderIntoFile(const RecordCheckpoint& checkpoint);
  bool WriteHeader(bool continued);
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
  int64_t header_size_ = 0;  // Matroska: where the header ends
  int64_t start_us_ = 0;     // input time of the first key frame
  int64_t packets_written_ = 0;
  // Fingerprints of the pictures written since the key frame before last,
  // and of the last one.
  std::vector<uint64_t> earlier_group_;
  std::vector<uint64_t> current_group_;
  uint64_t last_picture_ = 0;
  bool catching_up_ = false;             // reopened, the stream not yet past the file's end
  std::vector<uint64_t> kept_pictures_;  // a reopened file's pictures, by fingerprint
  uint64_t target_picture_ = 0;          // the reopened file's last picture
  bool reopened_ = false;
  // Untimed pictures: raw H.264/H.265, MPEG-PS.
  std::shared_ptr<PictureOrder> picture_order_;
  // The first packet of each sound stream before the file began.
  std::map<int, PacketPtr> early_sound_;
  // From the first key frame on while the sound's format is unknown.
  std::vector<PacketPtr> waiting_;
  static constexpr size_t kMaxWaitingPackets = 200;
  // Times a packet and writes it (or holds it, see AnchorTimes).
  void WritePacket(int video, const AVPacket& packet);
  // Writes a timed copy of `packet` into the file, its times moved to the
  // file's clock.
  void Mux(int video, const AVPacket& packet, PacketPtr copy);
  // MPEG-4 Part 2 without presentation times (AVI, raw streams).
  std::unique_ptr<AnchorTimes> anchor_times_;
  // A reader that gives presentation times only (Matroska) tells decode
  // times from the picture after the stream's reorder delay on; an MPEG-PS
  // picture that begins inside another's PES packet has no time at all. The
  // file's first packets wait for a picture with a decode time so that the
  // decode times of the pictures before it are counted back from it: a guess
  // from the reorder delay the stream's header gives (none, for a live
  // stream) put pictures at the same time as others, and a file begun at an
  // untimed MPEG-PS key picture started its clock at 0 and then leapt to the
  // stream's times.
  void WriteOrHold(int video, const AVPacket& packet);
  // Writes what waited, the first decode time counted back when a picture
  // with one came.
  void ReleaseHeld(int video);
  bool awaiting_decode_time_ = false;
  bool decode_time_counted_back_ = false;
  int video_index_ = -1;
  std::vector<PacketPtr> held_;
  int held_pictures_ = 0;
  // A reorder delay is at most 16 pictures in H.264 and H.265.
  static constexpr int kMostPicturesWithoutDecodeTime = 16;
  bool met_kept_picture_ = false;
  int pictures_before_file_ = 0;
  // Bytes read again start at most two groups of pictures before the file's
  // end; more unknown pictures than this mean the file is not met again.
  static constexpr int kMaxPicturesBeforeFile = 1000;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_RECORDER_H
