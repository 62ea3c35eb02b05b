// The 3GPP play library's operations on the engine. Success is 0, failure -1;
// QX_GPP_INVALID_ARGUMENT for a stream buffer above kMaxStreamBufferBytes
// (256 MiB) at open and for a block larger than the whole buffer on input.
//
// A 3GPP stream is an MP4/3GP byte stream pushed block by block, its index
// (moov) before its media data. The initial block of gpp_open_stream comes
// without its length, so it cannot be used; the stream's bytes are all taken
// through gpp_input_data. Colour values as in the player library (0..128,
// default 64; region 0).
#include <memory>

#include "backends/gpp_player.h"
#include "backends/media/media_port.h"
#include "backends/media/port_registry.h"

namespace {

using qx::media::Guarded;
using qx::media::MediaPort;

constexpr int32_t kSuccess = 0;
constexpr int32_t kFailure = -1;

qx::media::PortRegistry<MediaPort>& Ports() {
  static qx::media::PortRegistry<MediaPort> ports;
  return ports;
}

template <typename Body>
int32_t WithPort(int32_t port, Body&& body) {
  return Guarded<int32_t>(kFailure, [&]() -> int32_t {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    return media && body(*media) ? kSuccess : kFailure;
  });
}

}  // namespace

extern "C" {

int32_t QX_BACKEND_CALL gpp_open_stream(int32_t port, const void* /*initial_block*/,
                                        uint32_t buffer_size) {
  return Guarded<int32_t>(kFailure, [&]() -> int32_t {
    if (Ports().Contains(port)) return kFailure;
    if (buffer_size > qx::media::kMaxStreamBufferBytes) return QX_GPP_INVALID_ARGUMENT;
    std::shared_ptr<MediaPort> media = MediaPort::OpenStream(port, nullptr, 0, buffer_size);
    if (!Ports().AddOpened(port, media)) return kFailure;
    return kSuccess;
  });
}

int32_t QX_BACKEND_CALL gpp_close_stream(int32_t port) {
  return Guarded<int32_t>(kFailure, [&]() -> int32_t {
    std::shared_ptr<MediaPort> media = Ports().Remove(port);
    if (!media) return kFailure;
    media->Close();
    return kSuccess;
  });
}

int32_t QX_BACKEND_CALL gpp_input_data(int32_t port, const void* data, uint32_t length) {
  return Guarded<int32_t>(kFailure, [&]() -> int32_t {
    std::shared_ptr<MediaPort> media = Ports().Find(port);
    if (!media) return kFailure;
    switch (media->InputData(static_cast<const uint8_t*>(data), length)) {
      case qx::media::PushResult::kTaken:
        return kSuccess;
      case qx::media::PushResult::kTooLarge:
        return QX_GPP_INVALID_ARGUMENT;
      default:
        return kFailure;
    }
  });
}

int32_t QX_BACKEND_CALL gpp_play(int32_t port, void* window) {
  return WithPort(port, [&](MediaPort& media) { return media.Play(window); });
}

int32_t QX_BACKEND_CALL gpp_stop(int32_t port) {
  return WithPort(port, [](MediaPort& media) { return media.Stop(); });
}

int32_t QX_BACKEND_CALL gpp_set_colour(int32_t port, int32_t region, int32_t brightness,
                                       int32_t contrast, int32_t saturation, int32_t hue) {
  return WithPort(port, [&](MediaPort& media) {
    return media.SetRegionColour(region, brightness, contrast, saturation, hue);
  });
}

int32_t QX_BACKEND_CALL gpp_get_colour(int32_t port, int32_t region, int32_t* brightness,
                                       int32_t* contrast, int32_t* saturation, int32_t* hue) {
  return WithPort(port, [&](MediaPort& media) {
    return media.GetRegionColour(region, brightness, contrast, saturation, hue);
  });
}

}  // extern "C"
