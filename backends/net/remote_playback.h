// A remote playback: a recording received at real time and pushed, as a
// live stream (MPEG-TS, or Matroska for MJPEG and G.711), into a port of the
// media engine, which decodes it and draws it into the caller's window (or
// decodes without drawing) and plays its sound exactly as it plays a local
// live stream.
//
// The engine port is the library's own: its number, kEnginePortBase plus the
// playback handle, lies far above the ports 0..99 that the player library
// serves, and the port is never entered into the player library's table.
#ifndef QXPLAYSDK_BACKENDS_NET_REMOTE_PLAYBACK_H
#define QXPLAYSDK_BACKENDS_NET_REMOTE_PLAYBACK_H

#include <cstdint>
#include <memory>

#include "backends/net/net_mutex.h"
#include "backends/net/rtsp_receiver.h"

namespace qx::media {
class MediaPort;
}

namespace qx::net {

inline constexpr int32_t kEnginePortBase = 1 << 20;

class RemotePlayback {
 public:
  // Null when the engine cannot open a port or the recorder does not set
  // the session up.
  static std::unique_ptr<RemotePlayback> Start(const ReceiverOptions& options, void* window);
  ~RemotePlayback();
  RemotePlayback(const RemotePlayback&) = delete;
  RemotePlayback& operator=(const RemotePlayback&) = delete;

  // Pictures the engine has presented since the start.
  uint32_t PresentedFrames() const;
  // Back to normal speed, unpaused (control command 1).
  bool Resume();
  // Ends the session and the engine port; after it returns nothing more is
  // drawn. Any number of times.
  void Stop();

 private:
  RemotePlayback() = default;
  bool Push(const uint8_t* data, size_t length);

  std::shared_ptr<qx::media::MediaPort> port_;
  std::unique_ptr<RtspReceiver> receiver_;

  Mutex stop_mutex_;  // one Stop at a time
  Mutex mutex_;
  Condition wake_;
  bool stopping_ QX_GUARDED_BY(mutex_) = false;
  bool stopped_ QX_GUARDED_BY(mutex_) = false;
};

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_REMOTE_PLAYBACK_H
