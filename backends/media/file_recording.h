// The recording of a file port: the packets the port plays, copied into
// files on the port's thread while start, stop and switch come from the
// caller's threads.
//
// A start on a recording port, or a start soon after a stop (the library's
// switch is a stop and a start), hands over at the next video key frame:
// the current file takes the pictures up to it and the new file begins with
// it, so the files put end to end hold every picture played while
// recording. The port goes on playing between the two calls, so the packets
// it plays after a stop are held back for a while (kHoldAfterStop, at most
// kMaxHeldBytes): a start within that time carries the stopped file on with
// them; later, or past the bound, the stop was final and they are let go.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FILE_RECORDING_H
#define QXPLAYSDK_BACKENDS_MEDIA_FILE_RECORDING_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "backends/media/closing_file.h"
#include "backends/media/ffmpeg.h"
#include "backends/media/input_streams_copy.h"
#include "backends/media/mutex.h"
#include "backends/media/record_checkpoint.h"
#include "backends/media/stream_recorder.h"

namespace qx::media {

class FileRecording {
 public:
  explicit FileRecording(int32_t port) : port_(port) {}

  // False, with nothing changed, when the file cannot be created.
  bool Start(const std::string& path) QX_EXCLUDES(control_mutex_, mutex_);
  // Finishes the files. False when none was being written or one of them
  // is not whole (a write error, no key frame).
  bool Stop() QX_EXCLUDES(control_mutex_, mutex_);
  // The port's thread: a packet read from `input` while playing.
  void Write(const AVFormatContext& input, int video, int audio, const AVPacket& packet)
      QX_EXCLUDES(mutex_);

  static constexpr std::chrono::milliseconds kHoldAfterStop{1000};
  static constexpr size_t kMaxHeldBytes = 32 * 1024 * 1024;

 private:
  // What the port played since the last stop, waiting for a start.
  struct Held {
    std::chrono::steady_clock::time_point since;
    std::unique_ptr<InputStreamsCopy> input;  // taken with the first packet
    int video = -1;
    int audio = -1;
    std::vector<PacketPtr> packets;
    size_t bytes = 0;
  };
  void WriteLocked(const AVFormatContext& input, int video, int audio, const AVPacket& packet)
      QX_REQUIRES(mutex_);
  void HoldLocked(const AVFormatContext& input, int video, int audio, const AVPacket& packet)
      QX_REQUIRES(mutex_);
  void LetGoOfStopLocked(const char* why) QX_REQUIRES(mutex_);

  const int32_t port_;
  // Start and Stop one at a time: a stop finishes its files outside mutex_.
  Mutex control_mutex_ QX_ACQUIRED_BEFORE(mutex_);
  Mutex mutex_;
  std::unique_ptr<StreamRecorder> current_ QX_GUARDED_BY(mutex_);
  std::unique_ptr<StreamRecorder> next_ QX_GUARDED_BY(mutex_);  // begins at the next key frame
  // The file left at the last switch, taking the sound still to come.
  ClosingFile closing_ QX_GUARDED_BY(mutex_);
  // From a stop on, while it finishes its files too, packets are held until
  // a start, a bound or a failure makes the stop final.
  bool holding_ QX_GUARDED_BY(mutex_) = false;
  // The stopped file's last state, once the stop has finished it.
  std::unique_ptr<RecordCheckpoint> stopped_at_ QX_GUARDED_BY(mutex_);
  Held held_ QX_GUARDED_BY(mutex_);
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FILE_RECORDING_H
