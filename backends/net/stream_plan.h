// Which of a recording's streams a session carries, how, and in which
// container, decided from the recorder's session description before any
// stream arrives (a muxer cannot take a new stream once it has written its
// header, and a download must not change container half-way).
//
// Video and sound are carried; other streams (metadata) are dropped. Every
// stream keeps its codec: MPEG-TS when it carries all of them, as local
// recordings are written; otherwise Matroska, which also carries MJPEG,
// G.711 and other PCM sound (downloads under the caller's file name;
// playbacks as the live stream the media engine reads). Only a playback's
// sound that neither carries would be encoded again as AAC.
#ifndef QXPLAYSDK_BACKENDS_NET_STREAM_PLAN_H
#define QXPLAYSDK_BACKENDS_NET_STREAM_PLAN_H

#include <gst/sdp/sdp.h>

#include <cstdint>
#include <vector>

namespace qx::net {

enum class Container { kMpegTs, kMatroska };
enum class Carriage { kDrop, kCopy, kToAac };

struct StreamPlan {
  Container container = Container::kMpegTs;
  // By the index of the stream (media) in the session description.
  std::vector<Carriage> streams;
  std::vector<bool> video;  // the stream is video (else sound), same index
};

// `keep_codecs`: downloads; false: a live stream for the engine.
StreamPlan PlanStreams(const GstSDPMessage& sdp, bool keep_codecs, int32_t handle);

// The GStreamer element that writes the container.
const char* MuxerFactory(Container container);

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_STREAM_PLAN_H
