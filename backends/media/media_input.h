// Demuxing: a container opened from a file or from a live stream's buffer,
// the video and audio streams chosen in it, packets read in file order, and
// repositioning for seeks.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_MEDIA_INPUT_H
#define QXPLAYSDK_BACKENDS_MEDIA_MEDIA_INPUT_H

#include <cstdint>
#include <memory>
#include <string>

#include "backends/media/ffmpeg.h"
#include "backends/media/stream_buffer.h"
#include "backends/media/stream_lead_in.h"
#include "core/log.h"

namespace qx::media {

// The largest access unit (a picture's bytes, a PES packet) of a live stream
// the engine holds: 16 MiB, several times the largest picture a camera
// sends. Beyond it the unit is taken for one that never ends and dropped.
inline constexpr size_t kMaxAccessUnitBytes = size_t{16} << 20;
inline constexpr int kAccessUnitTooLarge = FFERRTAG('Q', 'X', 'A', 'U');

class MediaInput {
 public:
  ~MediaInput();
  MediaInput(const MediaInput&) = delete;
  MediaInput& operator=(const MediaInput&) = delete;

  // Opens a local file of any container FFmpeg reads and reads its stream
  // information. The name is a path, never a URL (see local_file.h). Null
  // when it cannot be opened or has no video stream; the reason is logged
  // for `port`.
  static std::unique_ptr<MediaInput> OpenFile(const std::string& path, int32_t port = log::kNoPort);

  // Opens a live stream whose bytes come through `buffer`; the format is
  // probed from the next bytes. Blocks until enough bytes have come to
  // recognise the format; null when the buffer is aborted first or the bytes
  // are not a known format (FFmpeg probes at most 1 MiB; those bytes are
  // then consumed, so probing again starts from later ones). Streams are
  // chosen as their first packets come, so that no time is lost analysing
  // the stream ahead of decoding. MPEG-TS pictures come out as soon as
  // their PES packet is complete (its length is reached or the next one
  // starts): without FFmpeg's parser, which would hold each back until the
  // next picture had started too.
  // With `lead_in`, its bytes and zeros are read before the buffer's (see
  // Mp4StreamHead): a reader joining a streamed MP4 in its media data.
  // `format` (FFmpeg's name of the container), when known, is taken without
  // probing: a reader of bytes kept from the middle of a stream could wait
  // for many more before its guess is sure enough.
  static std::unique_ptr<MediaInput> OpenStream(std::shared_ptr<StreamBuffer> buffer,
                                                int32_t port = log::kNoPort,
                                                StreamLeadIn lead_in = {},
                                                const std::string& format = {});

  AVFormatContext* context() const { return context_.get(); }
  AVStream* stream(int index) const { return context_->streams[index]; }
  // Index of the chosen video / audio stream, -1 while there is none.
  int video_stream() const { return video_stream_; }
  int audio_stream() const { return audio_stream_; }
  // Frame rate of the video stream as the container gives it (0 unknown).
  double ContainerFrameRate() const;

  // Reads the next packet: 0, AVERROR_EOF at the end, or another error.
  // A live stream whose next packet would need more than
  // kMaxAccessUnitBytes (a unit that never ends) answers
  // kAccessUnitTooLarge: the unit is dropped, and the input must be opened
  // again on the bytes that follow.
  int Read(AVPacket* packet);

  // Repositions at a byte offset / at the key frame at or before a
  // timestamp of the video stream. False when the container refuses.
  bool SeekToByte(int64_t position);
  bool SeekToTimestamp(int64_t timestamp);
  // Whether byte offsets are the better way to reposition in this container
  // (streams without a usable timestamp index: MPEG-TS/PS, raw elementary
  // streams).
  bool PrefersByteSeek() const;

 private:
  MediaInput() = default;
  void ChooseStreams();
  static int ReadBuffer(void* opaque, uint8_t* out, int size);

  InputContextPtr context_;
  std::shared_ptr<StreamBuffer> buffer_;
  AVIOContext* io_ = nullptr;  // owned for live streams only
  int video_stream_ = -1;
  int audio_stream_ = -1;
  int32_t port_ = log::kNoPort;
  // Read before the buffer; lead_in_read_ of it has been.
  StreamLeadIn lead_in_;
  uint64_t lead_in_read_ = 0;
  // Live streams: bytes handed to the demuxer since it last gave a packet.
  size_t unread_unit_bytes_ = 0;
  bool unit_too_large_ = false;
  // Live MPEG-TS: packets are whole PES packets, one picture each, taken
  // without FFmpeg's parser; key frames are found in their bytes.
  bool whole_packets_ = false;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MEDIA_INPUT_H
