// Recording of a pushed stream at the pace it is pushed: the bytes are
// demuxed on the remuxer's own thread, independently of any playback, and
// their packets are copied into files one after the other.
//
// Switching or finishing a file first waits until every byte pushed so far
// has been demuxed, so a file holds exactly the blocks pushed while it was
// current (less the pictures before its first key frame).
//
// The 3GP converter remuxes a 3GPP stream, an MP4/3GP byte stream whose
// index (moov) comes before its media data, as streamed 3GP files are
// written (it cannot be read otherwise without seeking back), into .3gp
// files. The player records its live streams into MPEG-TS files this way.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_STREAM_REMUXER_H
#define QXPLAYSDK_BACKENDS_MEDIA_STREAM_REMUXER_H

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "backends/media/mutex.h"
#include "backends/media/stream_buffer.h"
#include "backends/media/stream_recorder.h"

namespace qx::media {

class StreamRemuxer {
 public:
  // Bytes waiting to be demuxed; a block that does not fit is refused.
  static constexpr size_t kBufferSize = 8 * 1024 * 1024;

  // Creates the first file and starts the thread; null when the file cannot
  // be created.
  static std::unique_ptr<StreamRemuxer> Start(const std::string& path, RecordContainer container);
  ~StreamRemuxer();
  StreamRemuxer(const StreamRemuxer&) = delete;
  StreamRemuxer& operator=(const StreamRemuxer&) = delete;

  bool Input(const uint8_t* data, size_t length) { return buffer_->Push(data, length); }
  bool Fits(size_t length) const { return buffer_->Fits(length); }
  // Finishes the current file once every block pushed so far is in it, and
  // goes on in a new one. False when the new file cannot be created (the
  // current one is finished all the same and the blocks that follow are
  // dropped until a switch succeeds).
  bool SwitchFile(const std::string& path);
  // Finishes the current file the same way and goes on without one (the
  // stream is still followed, so that a later file starts cleanly). False
  // when no file was being written.
  bool FinishFile();
  // Demuxes what was pushed so far, finishes the file and ends the thread.
  // True when the last file was finished properly.
  bool Stop();

 private:
  StreamRemuxer() = default;
  void Run();

  RecordContainer container_ = RecordContainer::k3gp;
  std::shared_ptr<StreamBuffer> buffer_;
  // Taken by the remuxer's thread writing packets and by the caller's
  // thread switching or finishing files.
  Mutex recorder_mutex_;
  std::unique_ptr<StreamRecorder> recorder_ QX_GUARDED_BY(recorder_mutex_);
  bool last_finish_ok_ QX_GUARDED_BY(recorder_mutex_) = true;
  bool stopped_ = false;  // the caller's thread only
  std::thread thread_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_REMUXER_H
