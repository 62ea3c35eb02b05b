// Recording of a pushed stream at the pace it is pushed: the bytes are
// demuxed on the remuxer's own thread, independently of any playback, and
// their packets are copied into files one after the other.
//
// A switch cuts as a splitting muxer does: the current file goes on until
// the next video key frame, and the new file begins with that key frame, so
// the files put end to end hold every picture pushed. Stopping ends the
// input and drains the demuxer, so the last file holds every byte pushed
// before the stop, its last pictures included.
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

#include "backends/media/closing_file.h"
#include "backends/media/mutex.h"
#include "backends/media/parameter_sets.h"
#include "backends/media/stream_buffer.h"
#include "backends/media/stream_lead_in.h"
#include "backends/media/stream_recorder.h"

namespace qx::media {

// What a stopped MPEG-TS recording leaves for a start that follows at once:
// where its file stood, and the stream's bytes from the key frame before
// last on (see RecordCheckpoint).
struct RecordResumption {
  RecordCheckpoint checkpoint;
  std::vector<uint8_t> bytes;
  int64_t base = 0;  // where the bytes begin in the stream
  // The stream cannot be read from a key frame on its own (a streamed MP4):
  // the bytes must be read through its head (see Mp4StreamHead).
  bool needs_head = false;
  // The kept bytes may begin at a key frame without the stream's sets.
  ParameterSetMemory parameter_sets;
  // The container, as FFmpeg names it (MPEG-TS/PS, raw H.264/H.265): the
  // kept bytes are read without probing them again. Empty: probed.
  std::string format;
};

class StreamRemuxer {
 public:
  // Bytes waiting to be demuxed; a block that does not fit is refused.
  static constexpr size_t kBufferSize = 8 * 1024 * 1024;

  // Creates the first file and starts the thread; null when the file cannot
  // be created. `lead_in` is read before the pushed blocks (a streamed MP4
  // joined in its media data, see Mp4StreamHead); the packets it stands in
  // for are left out.
  static std::unique_ptr<StreamRemuxer> Start(int32_t port, const std::string& path,
                                              RecordContainer container, StreamLeadIn lead_in = {});
  // Carries the stopped recording's file on from `resumption`, reading its
  // kept bytes again (after `lead_in`, for a stream that needs its head),
  // until the next key frame, where `path` begins. Null when the old or the
  // new file cannot be opened.
  static std::unique_ptr<StreamRemuxer> Resume(int32_t port, RecordResumption resumption,
                                               const std::string& path, StreamLeadIn lead_in = {});
  ~StreamRemuxer();
  StreamRemuxer(const StreamRemuxer&) = delete;
  StreamRemuxer& operator=(const StreamRemuxer&) = delete;

  bool Input(const uint8_t* data, size_t length);
  bool Fits(size_t length) const { return buffer_->Fits(length); }
  // Creates the new file and hands over to it at the next video key frame
  // (the current file is finished there). False, with nothing changed, when
  // the new file cannot be created.
  bool SwitchFile(const std::string& path);
  // Ends the input, writes everything pushed so far, finishes the files and
  // ends the thread. True when every file of the recording was written
  // whole (no write error, trailers written, a key frame in each).
  bool Stop();
  // After a Stop that succeeded on an MPEG-TS file: what a start that
  // follows at once needs to carry the file on (null when it cannot).
  std::unique_ptr<RecordResumption> TakeResumption();

 private:
  StreamRemuxer() = default;
  void Run();
  void StartThread();
  // A video key frame at byte `position` was read: the kept bytes now start
  // at the key frame before it.
  void KeyFrameAt(int64_t position);

  // Bytes kept for a resumption at most; a longer group of pictures is not
  // carried on after a stop.
  static constexpr size_t kMaxKeptBytes = 32 * 1024 * 1024;

  // A file that is not whole fails the recording.
  void FinishCurrent() QX_REQUIRES(recorder_mutex_);

  RecordContainer container_ = RecordContainer::k3gp;
  StreamLeadIn lead_in_;      // handed to the thread's input
  std::string known_format_;  // likewise; empty: probed
  // The thread's own: the sets every key frame written is completed with.
  ParameterSetMemory parameter_sets_;
  std::shared_ptr<StreamBuffer> buffer_;
  // Taken by the remuxer's thread writing packets and by the caller's
  // thread switching or finishing files.
  Mutex recorder_mutex_;
  std::unique_ptr<StreamRecorder> recorder_ QX_GUARDED_BY(recorder_mutex_);
  // Begins at the next key frame.
  std::unique_ptr<StreamRecorder> next_ QX_GUARDED_BY(recorder_mutex_);
  // The file left at the last switch, taking the sound still to come.
  ClosingFile closing_ QX_GUARDED_BY(recorder_mutex_);
  bool all_ok_ QX_GUARDED_BY(recorder_mutex_) = true;
  int32_t port_ = -1;
  Mutex kept_mutex_;
  std::vector<uint8_t> kept_ QX_GUARDED_BY(kept_mutex_);
  int64_t kept_base_ QX_GUARDED_BY(kept_mutex_) = 0;  // stream position of kept_[0]
  int64_t last_key_ QX_GUARDED_BY(kept_mutex_) = -1;  // position of the last key frame
  // Nothing dropped since the key frame before last.
  bool kept_complete_ QX_GUARDED_BY(kept_mutex_) = true;
  // The stream can be read from any key frame on, without its head
  // (MPEG-TS/PS, raw H.264/H.265); any other is carried on through its head.
  bool joinable_ QX_GUARDED_BY(kept_mutex_) = false;
  std::string format_ QX_GUARDED_BY(kept_mutex_);

  Mutex stop_mutex_;
  std::unique_ptr<RecordResumption> resumption_ QX_GUARDED_BY(stop_mutex_);
  bool stopped_ QX_GUARDED_BY(stop_mutex_) = false;
  bool stop_result_ QX_GUARDED_BY(stop_mutex_) = false;
  std::thread thread_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_REMUXER_H
