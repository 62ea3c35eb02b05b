// Rendering into caller windows: one thread for the whole process owns SDL's
// video subsystem and every window and renderer, so that no two threads ever
// talk to the display at once. Ports hand it their latest picture; it draws
// each one stretched over the whole window.
//
// A window handle is the native handle of the caller's window (an X11 window
// id on Linux). The window stays the caller's: detaching lets go of it
// without destroying it.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_RENDER_SERVICE_H
#define QXPLAYSDK_BACKENDS_MEDIA_RENDER_SERVICE_H

#include <cstdint>

#include "backends/media/ffmpeg.h"
#include "backends/media/picture.h"

namespace qx::media {

// A display target's identity, unique in the process.
using RenderTargetId = uint64_t;
RenderTargetId NewRenderTargetId();

// Binds `window` to `target`, replacing an earlier window of the target.
// Blocks until the render thread has taken the window; false when it cannot
// (no display, not a window).
bool AttachWindow(RenderTargetId target, void* window);
// Lets go of the target's window; blocks until the render thread has.
void DetachWindow(RenderTargetId target);
// Queues a 4:2:0 picture for the target's window; an earlier picture not
// drawn yet is replaced. Does nothing for a target without a window.
void ShowPicture(RenderTargetId target, FramePtr yuv420, const ColourSettings& colour);
// Waits until every picture queued so far has been drawn.
void WaitUntilDrawn();
// Lets go of every window and of the display connection and ends the render
// thread (the next AttachWindow starts it again): for a display that is
// about to go away.
void ReleaseDisplay();

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_RENDER_SERVICE_H
