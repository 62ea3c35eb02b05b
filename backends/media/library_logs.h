// FFmpeg's and SDL's own messages, routed through the project's logger
// instead of the host program's standard error: FFmpeg's under the
// component "ffmpeg", SDL's under "sdl", at the logger's matching level.
//
// Both libraries keep one message handler per process. The engine installs
// its own the first time a port, the render thread, the sound device or a
// snapshot needs the libraries, and leaves them installed; a host that uses
// FFmpeg or SDL itself and wants its own handler back installs it after the
// engine's first use.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_LIBRARY_LOGS_H
#define QXPLAYSDK_BACKENDS_MEDIA_LIBRARY_LOGS_H

namespace qx::media {

// Installs the two handlers once; later calls do nothing. Thread-safe.
void ForwardLibraryLogs();

// Logs an exception (memory exhausted) that ended a backend operation, which
// then answers its failure value. For the C layers, which do not link the
// logger themselves.
void LogEscapedException(const char* what) noexcept;

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_LIBRARY_LOGS_H
