// The player library's operations on the engine. Success is 1, failure 0;
// QX_PLAYER_INVALID_ARGUMENT for a stream buffer above kMaxStreamBufferBytes
// (256 MiB) or an initial block larger than the buffer at open, and for a
// block larger than the whole buffer on input (0 there means the buffer is
// full now: offer the block again).
//
// Colour values range 0..128, default 64 (see ColourSettings); the region
// must be 0. Volume is 0..65535, default 65535 (full). Sound is on for at
// most one port at a time: player_play_sound moves it to its port,
// player_stop_sound turns it off. Frame numbers count from 0. Recordings are
// MPEG-TS files (mode 0). The decode stream selectable is 1, the video.
// The voice capture delivers 8-bit G.711 mu-law (bits 8) or 16-bit PCM
// (bits 16) blocks of the given size from the default input device.
#include <memory>
#include <string>

#include "backends/media/audio_capture.h"
#include "backends/media/media_port.h"
#include "backends/media/mutex.h"
#include "backends/media/port_registry.h"
#include "backends/player.h"

namespace {

using qx::media::Guarded;
using qx::media::MediaPort;

qx::media::PortRegistry<MediaPort>& Ports() {
  static qx::media::PortRegistry<MediaPort> ports;
  return ports;
}

// The port whose sound is on, -1 for none.
struct SoundOwner {
  qx::media::Mutex mutex;
  int32_t port QX_GUARDED_BY(mutex) = -1;
};
SoundOwner& Sound() {
  static SoundOwner owner;
  return owner;
}

struct VoiceCapture {
  qx::media::Mutex mutex;
  std::unique_ptr<qx::media::AudioCapture> capture QX_GUARDED_BY(mutex);
};
VoiceCapture& Capture() {
  static VoiceCapture capture;
  return capture;
}

int32_t Verdict(bool ok) { return ok ? 1 : 0; }

// Runs `body` with the port, or answers 0 when the port is not open.
template <typename Body>
int32_t WithPort(int32_t port, Body&& body) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    return media ? Verdict(body(*media)) : 0;
  });
}

int32_t Close(int32_t port, bool file) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    if (!media || media->is_file() != file) return 0;
    Ports().Remove(port);
    {
      qx::media::MutexLock guard(&Sound().mutex);
      if (Sound().port == port) Sound().port = -1;
    }
    media->Close();
    return 1;
  });
}

}  // namespace

extern "C" {

int32_t QX_BACKEND_CALL player_open_file(int32_t port, const char* file_name) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    if (file_name == nullptr || Ports().Contains(port)) return 0;
    std::shared_ptr<MediaPort> media = MediaPort::OpenFile(port, file_name);
    if (!Ports().AddOpened(port, media)) return 0;
    return 1;
  });
}

int32_t QX_BACKEND_CALL player_close_file(int32_t port) { return Close(port, true); }

int32_t QX_BACKEND_CALL player_open_stream(int32_t port, const void* initial_block,
                                           uint32_t initial_length, uint32_t buffer_size) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    if (Ports().Contains(port)) return 0;
    if (buffer_size > qx::media::kMaxStreamBufferBytes ||
        (initial_block != nullptr && initial_length > buffer_size)) {
      return QX_PLAYER_INVALID_ARGUMENT;
    }
    std::shared_ptr<MediaPort> media = MediaPort::OpenStream(
        port, static_cast<const uint8_t*>(initial_block), initial_length, buffer_size);
    if (!Ports().AddOpened(port, media)) return 0;
    return 1;
  });
}

int32_t QX_BACKEND_CALL player_input_data(int32_t port, const void* data, uint32_t length) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    if (!media) return 0;
    switch (media->InputData(static_cast<const uint8_t*>(data), length)) {
      case qx::media::PushResult::kTaken:
        return 1;
      case qx::media::PushResult::kTooLarge:
        return QX_PLAYER_INVALID_ARGUMENT;
      default:
        return 0;
    }
  });
}

int32_t QX_BACKEND_CALL player_close_stream(int32_t port) { return Close(port, false); }

int32_t QX_BACKEND_CALL player_play(int32_t port, void* window) {
  return WithPort(port, [&](MediaPort& media) { return media.Play(window); });
}

int32_t QX_BACKEND_CALL player_stop(int32_t port) {
  return WithPort(port, [](MediaPort& media) { return media.Stop(); });
}

int32_t QX_BACKEND_CALL player_pause(int32_t port, uint32_t pause) {
  return WithPort(port, [&](MediaPort& media) { return media.Pause(pause != 0); });
}

int32_t QX_BACKEND_CALL player_faster(int32_t port) {
  return WithPort(port, [](MediaPort& media) { return media.Faster(); });
}

int32_t QX_BACKEND_CALL player_slower(int32_t port) {
  return WithPort(port, [](MediaPort& media) { return media.Slower(); });
}

int32_t QX_BACKEND_CALL player_step_forward(int32_t port) {
  return WithPort(port, [](MediaPort& media) { return media.StepForward(); });
}

int32_t QX_BACKEND_CALL player_step_back(int32_t port) {
  return WithPort(port, [](MediaPort& media) { return media.StepBack(); });
}

int32_t QX_BACKEND_CALL player_set_position(int32_t port, float position) {
  return WithPort(port, [&](MediaPort& media) { return media.SetPosition(position); });
}

float QX_BACKEND_CALL player_get_position(int32_t port) {
  return Guarded<float>(0.0F, [&] {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    return media ? media->Position() : 0.0F;
  });
}

uint32_t QX_BACKEND_CALL player_get_total_frames(int32_t port) {
  return Guarded<uint32_t>(0, [&] {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    return media ? media->TotalFrames() : 0U;
  });
}

uint32_t QX_BACKEND_CALL player_get_played_frames(int32_t port) {
  return Guarded<uint32_t>(0, [&] {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    return media ? media->PlayedFrames() : 0U;
  });
}

int32_t QX_BACKEND_CALL player_set_current_frame(int32_t port, uint32_t frame) {
  return WithPort(port, [&](MediaPort& media) { return media.SetCurrentFrame(frame); });
}

int32_t QX_BACKEND_CALL player_capture_picture(int32_t port, const char* file_name) {
  return WithPort(port, [&](MediaPort& media) {
    return file_name != nullptr && media.CapturePicture(file_name);
  });
}

int32_t QX_BACKEND_CALL player_set_colour(int32_t port, int32_t region, int32_t brightness,
                                          int32_t contrast, int32_t saturation, int32_t hue) {
  return WithPort(port, [&](MediaPort& media) {
    return media.SetRegionColour(region, brightness, contrast, saturation, hue);
  });
}

int32_t QX_BACKEND_CALL player_get_colour(int32_t port, int32_t region, int32_t* brightness,
                                          int32_t* contrast, int32_t* saturation, int32_t* hue) {
  return WithPort(port, [&](MediaPort& media) {
    return media.GetRegionColour(region, brightness, contrast, saturation, hue);
  });
}

int32_t QX_BACKEND_CALL player_play_sound(int32_t port) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    if (!media) return 0;
    qx::media::MutexLock guard(&Sound().mutex);
    if (Sound().port != port) {
      if (std::shared_ptr<MediaPort> previous = Ports().Find(Sound().port))
        previous->SetSound(false);
      Sound().port = -1;
    }
    if (!media->SetSound(true)) return 0;
    Sound().port = port;
    return 1;
  });
}

int32_t QX_BACKEND_CALL player_stop_sound(void) {
  return Guarded<int32_t>(0, [] {
    qx::media::MutexLock guard(&Sound().mutex);
    if (std::shared_ptr<MediaPort> media = Ports().Find(Sound().port)) media->SetSound(false);
    Sound().port = -1;
    return 1;
  });
}

int32_t QX_BACKEND_CALL player_set_volume(int32_t port, uint16_t volume) {
  return WithPort(port, [&](MediaPort& media) {
    media.SetVolume(volume);
    return true;
  });
}

uint16_t QX_BACKEND_CALL player_get_volume(int32_t port) {
  return Guarded<uint16_t>(0, [&] {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    return media ? media->Volume() : static_cast<uint16_t>(0);
  });
}

int32_t QX_BACKEND_CALL player_set_draw_callback(int32_t port, PlayerDrawCallback callback,
                                                 uintptr_t user) {
  return WithPort(port, [&](MediaPort& media) {
    media.SetDrawCallback(callback, user);
    return true;
  });
}

int32_t QX_BACKEND_CALL player_set_file_end_callback(int32_t port, PlayerFileEndCallback callback,
                                                     uintptr_t user) {
  return WithPort(port, [&](MediaPort& media) {
    media.SetFileEndCallback(callback, user);
    return true;
  });
}

int32_t QX_BACKEND_CALL player_set_decode_callback(int32_t port, PlayerDecodeCallback callback,
                                                   uintptr_t user) {
  return WithPort(port, [&](MediaPort& media) {
    media.SetDecodeCallback(callback, user);
    return true;
  });
}

int32_t QX_BACKEND_CALL player_select_decode_stream(int32_t port, int32_t stream) {
  return WithPort(port, [&](MediaPort&) { return stream == 1; });
}

int32_t QX_BACKEND_CALL player_start_record(int32_t port, const char* file_name, int32_t mode) {
  return WithPort(port, [&](MediaPort& media) {
    return file_name != nullptr && mode == 0 && media.StartRecord(file_name);
  });
}

int32_t QX_BACKEND_CALL player_stop_record(int32_t port) {
  return WithPort(port, [](MediaPort& media) { return media.StopRecord(); });
}

int32_t QX_BACKEND_CALL player_open_audio_capture(PlayerCaptureCallback callback,
                                                  int32_t bits_per_sample, int32_t sample_rate,
                                                  int32_t block_size, int32_t /*reserved*/,
                                                  uintptr_t user) {
  return Guarded<int32_t>(0, [&]() -> int32_t {
    if (callback == nullptr) return 0;
    std::unique_ptr<qx::media::AudioCapture> previous;
    {
      qx::media::MutexLock guard(&Capture().mutex);
      previous = std::move(Capture().capture);
    }
    if (previous) previous->Stop();
    auto capture = qx::media::AudioCapture::Start(
        qx::media::CaptureFormat{bits_per_sample, sample_rate, block_size},
        [callback, user](const uint8_t* block, size_t length) {
          callback(block, static_cast<uint32_t>(length), user);
        });
    if (!capture) return 0;
    qx::media::MutexLock guard(&Capture().mutex);
    previous = std::move(Capture().capture);
    Capture().capture = std::move(capture);
    return 1;
  });
}

int32_t QX_BACKEND_CALL player_input_audio(int32_t port, const void* data, uint32_t length) {
  return WithPort(port, [&](MediaPort& media) {
    return media.InputAudio(static_cast<const uint8_t*>(data), length);
  });
}

int32_t QX_BACKEND_CALL player_close_audio_capture(void) {
  return Guarded<int32_t>(0, [] {
    std::unique_ptr<qx::media::AudioCapture> capture;
    {
      qx::media::MutexLock guard(&Capture().mutex);
      capture = std::move(Capture().capture);
    }
    if (capture) capture->Stop();
    return 1;
  });
}

}  // extern "C"
