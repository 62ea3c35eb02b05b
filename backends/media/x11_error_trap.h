// Keeps Xlib errors about callers' windows from ending the process.
//
// Xlib's default error handler ends the process, and SDL's X11 driver
// chains to whatever handler was there before it. A caller destroying its
// window while a port draws into it makes the render thread's next request
// about that window fail, so the render thread installs this trap:
//  - what: one process-wide error handler (XSetErrorHandler). Errors on the
//    display connections the render thread uses (SDL's and its own), or
//    raised on the render thread (only it uses them), are noted and go no
//    further; errors on any other connection (the host's)
//    go to the handler that was installed before, as if the trap were not
//    there.
//  - when: from the moment the render thread starts (after SDL's video is
//    up) until it ends (after SDL's video went down).
//  - restoring: the handler found at installation is put back, unless the
//    host has installed a handler of its own meanwhile, which is left as it
//    is.
// The render thread asks TakeFailedWindows() after drawing and stops
// drawing into every window named there.
//
// The X server going away (killed, connection lost) ends the process twice
// over: Xlib's default I/O error handler exits, and when a handler returns,
// the connection's exit handler does. So the trap also installs one
// process-wide I/O error handler, on the same terms as the error handler
// (the trapped connections' losses are noted and it returns; any other
// connection's go to the handler found at installation; put back the same
// way), and gives each trapped connection an exit handler of its own
// (XSetIOErrorExitHandler, per connection, libX11 1.8) that only notes the
// loss. DisplayLost() then tells the render thread to draw no more; it then
// leaves SDL's video up for good (SDL keeps one more connection that no
// handler of the trap can be given in advance, and closing it would end the
// process), so no window is drawn into again in this process.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_X11_ERROR_TRAP_H
#define QXPLAYSDK_BACKENDS_MEDIA_X11_ERROR_TRAP_H

#include <cstdint>
#include <vector>

namespace qx::media {

// Render thread only. Installs the handler; no connection is trapped yet.
void InstallXErrorTrap();
// Traps the errors of one more connection (a Display*; null is ignored).
void TrapXErrorsOf(void* display);
void RemoveXErrorTrap();
// Resource ids (window ids) named by the errors noted since the last call.
std::vector<uint64_t> TakeFailedWindows();
// Whether a trapped connection has lost its server since the trap was
// installed.
bool DisplayLost();

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_X11_ERROR_TRAP_H
