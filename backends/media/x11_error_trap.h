// Keeps Xlib errors about callers' windows from ending the process.
//
// Xlib's default error handler ends the process, and SDL's X11 driver
// chains to whatever handler was there before it. A caller destroying its
// window while a port draws into it makes the render thread's next request
// about that window fail, so the render thread installs this trap:
//  - what: one process-wide error handler (XSetErrorHandler). Errors on the
//    display connections the render thread uses (SDL's and its own) are
//    noted and go no further; errors on any other connection (the host's)
//    go to the handler that was installed before, as if the trap were not
//    there.
//  - when: from the moment the render thread starts (after SDL's video is
//    up) until it ends (before SDL's video goes down).
//  - restoring: the handler found at installation is put back, unless the
//    host has installed a handler of its own meanwhile, which is left as it
//    is.
// The render thread asks TakeFailedWindows() after drawing and stops
// drawing into every window named there.
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

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_X11_ERROR_TRAP_H
