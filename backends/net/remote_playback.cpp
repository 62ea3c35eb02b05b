#include "backends/net/remote_playback.h"

#include <chrono>

#include "backends/media/media_port.h"
#include "core/log.h"

namespace qx::net {
namespace {

// The engine's buffer for the pushed stream: a few seconds of HD video, so
// that a burst from the recorder does not have to wait.
constexpr size_t kStreamBufferBytes = 8 << 20;
// How long a push waits before offering a refused block again (the engine's
// buffer is full until it has decoded some of it).
constexpr std::chrono::milliseconds kRetryInterval{5};

}  // namespace

std::unique_ptr<RemotePlayback> RemotePlayback::Start(const ReceiverOptions& options,
                                                      void* window) {
  std::unique_ptr<RemotePlayback> playback(new RemotePlayback);
  const int32_t engine_port = kEnginePortBase + options.handle;
  playback->port_ = qx::media::MediaPort::OpenStream(engine_port, nullptr, 0, kStreamBufferBytes);
  if (!playback->port_) {
    qx::log::Error("net", options.handle, "the media engine cannot open a stream port");
    return nullptr;
  }
  if (!playback->port_->Play(window)) {
    qx::log::Error("net", options.handle, "the media engine cannot play into window {}", window);
    playback->port_->Close();
    return nullptr;
  }
  // The recording's sound plays on the default output, beside (mixed with)
  // the sound of whichever local port has it: the player library's one
  // sound port at a time is about local ports, and no export reaches a
  // remote slot's sound. A machine without sound still plays the pictures.
  if (!playback->port_->SetSound(true))
    qx::log::Warning("net", options.handle, "no sound device: the recording plays without sound");
  RemotePlayback* raw = playback.get();
  // When the session ends, the recording's last pictures, which wait for
  // bytes that never come, are shown all the same.
  qx::media::MediaPort* port = playback->port_.get();
  playback->receiver_ = RtspReceiver::Start(
      options, [raw](const uint8_t* data, size_t length) { return raw->Push(data, length); },
      [port](ReceiverEnd) { port->EndStream(); });
  if (!playback->receiver_) {
    playback->port_->Close();
    return nullptr;
  }
  return playback;
}

RemotePlayback::~RemotePlayback() { Stop(); }

bool RemotePlayback::Push(const uint8_t* data, size_t length) {
  MutexLock lock(mutex_);
  while (!stopping_) {
    switch (port_->InputData(data, length)) {
      case qx::media::PushResult::kTaken:
        return true;
      case qx::media::PushResult::kFull:
        break;  // the port is behind: offer it again shortly
      case qx::media::PushResult::kTooLarge:
      case qx::media::PushResult::kClosed:
        return false;
    }
    wake_.wait_for(lock.mutex(), kRetryInterval);
  }
  return false;
}

uint32_t RemotePlayback::PresentedFrames() const { return port_->PlayedFrames(); }

bool RemotePlayback::Resume() {
  MutexLock lock(mutex_);
  return !stopping_ && port_->Play(nullptr);
}

void RemotePlayback::Stop() {
  MutexLock stop_lock(stop_mutex_);
  {
    MutexLock lock(mutex_);
    if (stopped_) return;
    stopping_ = true;
    wake_.notify_all();
  }
  if (receiver_) receiver_->Stop(false);
  if (port_) {
    port_->Stop();
    port_->Close();
  }
  MutexLock lock(mutex_);
  stopped_ = true;
}

}  // namespace qx::net
