// The 3GP converter's operations on the engine. Success is 0, failure -1.
//
// conv_start on a port whose streamed 3GP is already being pushed to the
// engine (a 3GPP play port of the same number) reads it through the head
// that port kept, from the first key frame pushed after the start.
// conv_start on a port that converts already goes on in the new file, as
// conv_switch_file does: the current file takes the pictures up to the next
// key frame and the new one begins there; a new file that cannot be created
// fails the call and changes nothing. conv_stop fails when any file of the
// recording could not be written whole. A block that does not fit into
// the converter's buffer (8 MiB waiting to be written) is refused.
#include <memory>
#include <string>

#include "backends/gp3_converter.h"
#include "backends/media/live_streams.h"
#include "backends/media/media_port.h"
#include "backends/media/port_registry.h"
#include "backends/media/stream_remuxer.h"

namespace {

using qx::media::Guarded;
using qx::media::StreamRemuxer;

constexpr int32_t kSuccess = 0;
constexpr int32_t kFailure = -1;

qx::media::PortRegistry<StreamRemuxer>& Converters() {
  static qx::media::PortRegistry<StreamRemuxer> converters;
  return converters;
}

}  // namespace

extern "C" {

int32_t QX_BACKEND_CALL conv_start(int32_t port, const char* file_name) {
  return Guarded<int32_t>(kFailure, [&]() -> int32_t {
    if (file_name == nullptr) return kFailure;
    if (std::shared_ptr<StreamRemuxer> running = Converters().Find(port)) {
      return running->SwitchFile(file_name) ? kSuccess : kFailure;
    }
    // Started in the middle of the port's streamed 3GP: read it through
    // the head the port kept.
    const std::shared_ptr<qx::media::MediaPort> stream = qx::media::FindLiveStream(port);
    std::shared_ptr<StreamRemuxer> converter =
        StreamRemuxer::Start(port, file_name, qx::media::RecordContainer::k3gp,
                             stream ? stream->LeadInForJoining() : qx::media::StreamLeadIn{});
    if (!converter || !Converters().Add(port, converter)) return kFailure;
    return kSuccess;
  });
}

int32_t QX_BACKEND_CALL conv_input_data(int32_t port, const void* data, uint32_t length) {
  return Guarded<int32_t>(kFailure, [&]() -> int32_t {
    std::shared_ptr<StreamRemuxer> converter = Converters().Find(port);
    if (!converter) return kFailure;
    return converter->Input(static_cast<const uint8_t*>(data), length) ? kSuccess : kFailure;
  });
}

int32_t QX_BACKEND_CALL conv_switch_file(int32_t port, const char* new_file_name) {
  return Guarded<int32_t>(kFailure, [&]() -> int32_t {
    std::shared_ptr<StreamRemuxer> converter = Converters().Find(port);
    if (!converter || new_file_name == nullptr) return kFailure;
    return converter->SwitchFile(new_file_name) ? kSuccess : kFailure;
  });
}

int32_t QX_BACKEND_CALL conv_stop(int32_t port) {
  return Guarded<int32_t>(kFailure, [&]() -> int32_t {
    std::shared_ptr<StreamRemuxer> converter = Converters().Remove(port);
    if (!converter) return kFailure;
    // A file that could not be written whole is a failure, not an empty
    // success.
    return converter->Stop() ? kSuccess : kFailure;
  });
}

}  // extern "C"
