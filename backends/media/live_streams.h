// The live streams open on the engine's ports, by port number, for the
// whole process. The 3GP converter, a library of its own, finds the stream
// of the port it converts here: a conversion that starts in the middle of a
// streamed 3GP reads it through the head that port kept (see
// Mp4StreamHead).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_LIVE_STREAMS_H
#define QXPLAYSDK_BACKENDS_MEDIA_LIVE_STREAMS_H

#include <cstdint>
#include <memory>

namespace qx::media {

class MediaPort;

// The stream now open on `port`; a later one of the same number replaces it.
void PublishLiveStream(int32_t port, const std::shared_ptr<MediaPort>& media);
// Forgets `media` when it is still the stream published for `port`.
void WithdrawLiveStream(int32_t port, const MediaPort* media);
// The stream published for `port`, null when none is open.
std::shared_ptr<MediaPort> FindLiveStream(int32_t port);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_LIVE_STREAMS_H
