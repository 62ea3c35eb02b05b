// A download: one recording, video and sound, received as fast as the
// recorder sends it and written without re-encoding into an MPEG-TS file
// (the container of local recordings), or into Matroska under the same name
// when MPEG-TS cannot carry a stream (G.711 sound). Every block goes to the
// file as it arrives, so the file is readable up to its last packet even if
// the process dies.
//
// Position: 0..99 while it runs, the share of the asked span (by time) or of
// the length the recorder announced (by name) that is on disk; 100 once the
// whole recording is written and the file finished; -1 once it failed (the
// recorder went away or refused, the disk refused, or the span held nothing).
// A download stopped by the caller keeps the position it had.
#ifndef QXPLAYSDK_BACKENDS_NET_DOWNLOAD_H
#define QXPLAYSDK_BACKENDS_NET_DOWNLOAD_H

#include <cstdint>
#include <memory>
#include <string>

#include "backends/net/net_mutex.h"
#include "backends/net/rtsp_receiver.h"

namespace qx::net {

class Download : public std::enable_shared_from_this<Download> {
 public:
  // Null when the target cannot be created or written, is already being
  // downloaded into, or the recorder does not set the session up. Nothing is
  // left behind or truncated then. An existing target is truncated when the
  // first bytes arrive; a target made here is removed again if none do.
  static std::shared_ptr<Download> Start(const ReceiverOptions& options, const std::string& target);
  ~Download();
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  int32_t Position() const;
  // Ends the download, finishing the file with what arrived. Any number of
  // times, also after the download ended by itself.
  void Stop();

 private:
  Download(const ReceiverOptions& options, std::string target);
  bool Write(const uint8_t* data, size_t length);
  void Ended(ReceiverEnd end);
  int32_t Progress() const;

  const ReceiverOptions options_;
  const std::string target_;  // as given, for opening
  std::string target_key_;    // the canonical path, for refusing a second download into it
  std::unique_ptr<RtspReceiver> receiver_;

  mutable Mutex mutex_;
  int fd_ QX_GUARDED_BY(mutex_) = -1;
  bool created_ = false;  // the target did not exist before: removed if nothing arrives
  bool write_failed_ QX_GUARDED_BY(mutex_) = false;
  bool stopped_ QX_GUARDED_BY(mutex_) = false;
  bool ended_ QX_GUARDED_BY(mutex_) = false;
  ReceiverEnd end_ QX_GUARDED_BY(mutex_) = ReceiverEnd::kRunning;
  int32_t stopped_position_ QX_GUARDED_BY(mutex_) = 0;
  uint64_t bytes_written_ QX_GUARDED_BY(mutex_) = 0;
};

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_DOWNLOAD_H
