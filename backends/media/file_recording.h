// The recording of a file port: the packets the port plays, copied into
// files on the port's thread while start, stop and switch come from the
// caller's threads.
//
// A start on a recording port, or a start right after a stop with no packet
// played between (the library's switch is a stop and a start), hands over
// at the next video key frame: the current file takes the pictures up to
// it and the new file begins with it, so the files put end to end hold
// every picture played while recording.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FILE_RECORDING_H
#define QXPLAYSDK_BACKENDS_MEDIA_FILE_RECORDING_H

#include <cstdint>
#include <memory>
#include <string>

#include "backends/media/ffmpeg.h"
#include "backends/media/mutex.h"
#include "backends/media/record_checkpoint.h"
#include "backends/media/stream_recorder.h"

namespace qx::media {

class FileRecording {
 public:
  explicit FileRecording(int32_t port) : port_(port) {}

  // False, with nothing changed, when the file cannot be created.
  bool Start(const std::string& path);
  // Finishes the files. False when none was being written or one of them
  // is not whole (a write error, no key frame).
  bool Stop();
  // The port's thread: a packet read from `input` while playing.
  void Write(const AVFormatContext& input, int video, int audio, const AVPacket& packet);

 private:
  const int32_t port_;
  Mutex mutex_;
  std::unique_ptr<StreamRecorder> current_ QX_GUARDED_BY(mutex_);
  std::unique_ptr<StreamRecorder> next_ QX_GUARDED_BY(mutex_);  // begins at the next key frame
  // The last stop, until a packet comes.
  std::unique_ptr<RecordCheckpoint> stopped_at_ QX_GUARDED_BY(mutex_);
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FILE_RECORDING_H
